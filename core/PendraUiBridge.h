#pragma once
#include <string>

#include "pendra/PendraUi.h"

class UiSeam;

// Routes the data library's error boxes and prompts through a framework seam.
class PendraUiBridge : public PendraUi {
public:
    explicit PendraUiBridge(UiSeam& seam) : seam_(seam) {}

    void ShowMessage(const std::string& text, const std::string& caption) override;
    std::optional<std::string> AskPassword(const std::string& prompt,
                                           const std::string& caption) override;
    std::optional<std::string> SelectMandateDirectory(const std::string& proposal) override;

private:
    UiSeam& seam_;
};

// The data library's error box `id`, its text naming `arg` and `status`,
// through `seam`: a command shows it through its context's seam.
void ShowLibraryError(UiSeam& seam, int id, const std::string& arg, int status);
