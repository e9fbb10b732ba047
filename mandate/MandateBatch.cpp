// The batch run over the selected rows of the mandate list.
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "mandate/pendra/Mandate.h"

bool CMainFrame::RunBatch(const std::function<void(const std::string& dir)>& work,
                          BatchClose close) {
    CTheApp& app = TheApp();
    if (!app.ListVisibleSelected()) return false;
    CTheList* list = app.GetListView();
    app.SwitchView(0);
    m_abortFlag = 0;
    for (int row = list->GetNextSelectedItem(-1); row >= 0; row = list->GetNextSelectedItem(row)) {
        const std::string dir = list->GetItemText(row, 0);
        OpenMandate(dir);
        if (m_abortFlag) break;
        UpdateStatusbar();
        Mandate* mandate = Mandate::GetGlobalMandate();
        if (!mandate || !mandate->IsMandantOpen()) continue;
        work(dir);
        if (close == BatchClose::AfterEach) CloseMandate();
    }
    OnManClose();
    app.SwitchView(1);
    return true;
}
