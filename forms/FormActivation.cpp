// "MWST-Formular 2024 aktivieren" and "MWST-Formular 2018 aktivieren": the
// open mandate, or every mandate selected in the list, gets the year's form.
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheView.h"
#include "app/framework/AfxMessageBox.h"
#include "app/framework/Format.h"
#include "app/framework/Strings.h"
#include "forms/FormPassJournal.h"
#include "mandate/pendra/Mandate.h"
#include "res/Resource.h"

namespace {

constexpr int kYear2024 = 2024;
constexpr int kYear2018 = 2018;
// Both directions replace a form workbook whenever the versions differ.
constexpr int kInvert = 1;

}  // namespace

void CMainFrame::OnForm2024() { ActivateForm(kYear2024, IDS_END_FORM2024); }

void CMainFrame::OnForm2018() { ActivateForm(kYear2018, IDS_END_FORM2018); }

void CMainFrame::ActivateForm(int year, int endLineId) {
    if (AfxMessageBox(IDS_CONFIRM_FORMS, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    CTheApp& app = TheApp();
    const auto activate = [this, &app, year, endLineId](const std::string& dir) {
        // A formula pass still pending belongs to the workbook it was meant for.
        formpass::FinishPending(*Mandate::GetGlobalMandate());
        UpdateForms(year, app.GetLogView(), kInvert);
        app.GetLogView()->AppendLine(Format(LoadString(endLineId), dir));
    };
    if (RunBatch(activate, BatchClose::AfterEach)) return;
    Mandate* mandate = Mandate::GetGlobalMandate();
    if (!mandate || !mandate->IsMandantOpen()) return;
    app.SwitchView(0);
    activate(mandate->GetPath());
}
