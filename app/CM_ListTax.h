#pragma once
#include <QDialog>
#include <memory>
#include <string>

class QTreeWidget;
class LogSink;
class Mandate;

// The tax key overview (dialog 1165): an open mandate's old keys on the left
// and, row for row, the new key the insertion would create for each, with its
// new rate and whether that id exists already. Selecting a row in one list
// selects its partner in the other. It reads the tax key file only: the
// derived keys are formatted from values, never written.
class CM_ListTax : public QDialog {
public:
    enum RowType { kOldKey = 0, kNewKeyAbsent = 1, kNewKeyPresent = 2 };

    // The overview of `mandate`, open; a failure it meets is counted in `log`.
    CM_ListTax(Mandate& mandate, LogSink& log, QWidget* parent = nullptr);
    ~CM_ListTax() override;

    // Fills the lists and runs the dialog; IDCANCEL at once, after the data
    // library's error box, when the tax key file cannot be opened.
    int DoModal();
    // Opens the tax key file and fills both lists; false when the file
    // cannot be opened (the error box has been shown).
    bool OnInitDialog();

    // One list row, columns separated by "\t" (the list's tab stops).
    std::string FormatText(const std::string& id, float rate, bool netto,
                           const std::string& konto, RowType type) const;

    QTreeWidget* LeftList() const { return left_; }
    QTreeWidget* RightList() const { return right_; }

    void OnSelchangeList();
    void OnSelchangeList2();

private:
    void BuildLayout();
    void AddRow(QTreeWidget* list, const std::string& text, int partner);
    void FitColumns();
    Mandate* mandate_;
    LogSink& log_;
    QTreeWidget* left_ = nullptr;
    QTreeWidget* right_ = nullptr;
    bool linking_ = false;  // a selection made by the other list's change
};
