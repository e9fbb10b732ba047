#pragma once
#include <QPointer>
#include <string>
#include <vector>

#include "app/framework/CView.h"

class QTreeWidget;

// The mandate list (view 1): one row per registered mandate, column 0 the
// directory, column 1 the name, rows in registration order, several rows
// selectable. Its selection decides whether a conversion runs as a batch.
class CTheList : public CView {
public:
    CTheList();
    ~CTheList() override;

    QWidget* Widget() override;
    bool OnCmdMsg(unsigned id, CCmdUI* ui) override;

    void DisplayColumnHeadings(int stringId);
    void EraseList();
    void AddItem(int item, int subItem, const std::string& text);

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
    void OnDblclk(int item);

private:
    void AddColumn(const std::string& header, int index);
    // Widens the directory column for `path`, up to a limit.
    void FitPathColumn(const std::string& path);

    QPointer<QTreeWidget> tree_;
};
