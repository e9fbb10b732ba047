#pragma once
#include "core/UiSeam.h"

class QWidget;

// The seam as the user sees it: Qt message boxes, input dialogs and folder
// dialogs, owned by the main window when one is set.
class QtUiSeam : public UiSeam {
public:
    void SetOwner(QWidget* owner) { owner_ = owner; }

    int MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> InputText(const InputRequest& request) override;
    std::optional<std::string> BrowseForFolder(const std::string& preselected) override;
    std::optional<std::string> ChooseMandate(const std::string& proposal) override;
    std::optional<std::size_t> ChooseItem(const ChoiceRequest& request) override;

private:
    QWidget* owner_ = nullptr;
};

// "\r\n" as Qt shows line ends.
std::string DisplayText(const std::string& text);
