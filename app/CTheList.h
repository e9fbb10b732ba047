#pragma once
#include <QObject>
#include <QPointer>
#include <string>
#include <vector>

#include "framework/CView.h"

class QTreeWidget;
struct MandateStatus;

// The mandate list (view 1): one row per registered mandate, column 0 the
// directory, column 1 the name, column 2 the conversion stage, rows in registration order, several rows
// selectable. Its selection decides whether a conversion runs as a batch.
// It tells its owner of changed counts and of a double click by signals.
class CTheList : public QObject, public CView {
    Q_OBJECT
public:
    CTheList();
    ~CTheList() override;

    QWidget* Widget() override;
    bool OnCmdMsg(unsigned id, CCmdUI* ui) override;

    void DisplayColumnHeadings(int stringId);
    void EraseList();
    void AddItem(int item, int subItem, const std::string& text);
    // Column 2 of row `item`: the mandate's stage, or why it could not be read.
    void ShowStatus(int item, const MandateStatus& status);
    // The row of the mandate in `dir` as the list shows it; -1 when none.
    int FindItem(const std::string& dir) const;

    int GetItemCount() const;
    std::string GetItemText(int item, int subItem) const;
    bool IsSelected(int item) const;
    void SetSelected(int item, bool selected);
    int GetSelectedCount() const;
    // The next selected row after `after` (-1: from the start); -1 when none.
    int GetNextSelectedItem(int after) const;
    // The row with the focus; -1 when none.
    int GetFocusedItem() const;
    void SetFocusedItem(int item);
    int ColumnWidth(int column) const;

    void OnMarkall();
    void OnUpdateMarkall(CCmdUI* ui);
    void OnMarknone();
    void OnUpdateMarknone(CCmdUI* ui);
    // A double click on row `item` (-1: on empty space): rowActivated.
    void OnDblclk(int item);

Q_SIGNALS:
    // Rows were added or removed, or the selection changed.
    void countsChanged();
    void rowActivated(int item);

private:
    void AddColumn(const std::string& header, int index);
    // Widens `column` for `text`, up to a limit.
    void FitColumn(int column, const std::string& text);

    QPointer<QTreeWidget> tree_;
};
