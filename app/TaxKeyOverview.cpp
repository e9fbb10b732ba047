#include "app/TaxKeyOverview.h"

#include "app/CM_ListTax.h"
#include "app/CTheList.h"
#include "app/WindowHost.h"
#include "mandate/MandateSession.h"

void TaxKeyOverview::Show() {
    if (window_.ListVisibleSelected()) {
        ShowForFocusedRow();
        return;
    }
    if (session_.IsOpen()) ShowForOpenMandate();
}

void TaxKeyOverview::ShowForFocusedRow() {
    const int row = list_.GetFocusedItem();
    if (row < 0) return;
    OpenAndShow(row);
    window_.OnManClose();
}

void TaxKeyOverview::ShowForActivatedRow(int item) {
    if (window_.RunGoing()) return;
    if (item >= 0 && item < list_.GetItemCount()) OpenAndShow(item);
    // A double click on empty space still closes the mandate that was open.
    window_.OnManClose();
}

void TaxKeyOverview::OpenAndShow(int row) {
    window_.OpenMandate(list_.GetItemText(row, 0));
    window_.UpdateStatusbar();
    if (session_.IsOpen()) ShowForOpenMandate();
}

void TaxKeyOverview::ShowForOpenMandate() {
    CM_ListTax dialog(session_.Current(), log_);
    dialog.DoModal();
}
