#include "app/TaxKeyOverview.h"

#include "app/CM_ListTax.h"
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "pendra/Mandate.h"

void TaxKeyOverview::Show() {
    if (app_.ListVisibleSelected()) {
        ShowForFocusedRow();
        return;
    }
    if (app_.m_pMandate->IsMandantOpen()) ShowForOpenMandate();
}

void TaxKeyOverview::ShowForFocusedRow() {
    const int row = app_.GetListView()->GetFocusedItem();
    if (row < 0) return;
    CMainFrame* frame = app_.GetMainFrame();
    frame->OpenMandate(app_.GetListView()->GetItemText(row, 0));
    frame->UpdateStatusbar();
    if (app_.m_pMandate->IsMandantOpen()) ShowForOpenMandate();
    frame->OnManClose();
}

void TaxKeyOverview::ShowForOpenMandate() {
    CM_ListTax dialog;
    dialog.DoModal();
}
