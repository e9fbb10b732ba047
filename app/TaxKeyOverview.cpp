// "&Steuerschlüssel anzeigen": the overview for the focused list row or for the
// open mandate.
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "pendra/Mandate.h"
#include "app/CM_ListTax.h"

void CTheApp::OnShowkeys() {
    if (ListVisibleSelected()) {
        const int row = GetListView()->GetFocusedItem();
        if (row < 0) return;
        CMainFrame* frame = GetMainFrame();
        frame->OpenMandate(GetListView()->GetItemText(row, 0));
        frame->UpdateStatusbar();
        if (m_pMandate->IsMandantOpen()) OnEditTax();
        frame->OnManClose();
        return;
    }
    if (m_pMandate->IsMandantOpen()) OnEditTax();
}

void CTheApp::OnEditTax() {
    CM_ListTax dialog;
    dialog.DoModal();
}
