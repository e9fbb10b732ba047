// "MWST-Formular 2024 aktivieren" and "MWST-Formular 2018 aktivieren": the
// open mandate, or every mandate selected in the list, gets the year's form.
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheView.h"
#include "app/framework/AfxMessageBox.h"
#include "app/framework/Format.h"
#include "app/framework/Strings.h"
#include "forms/FormPassJournal.h"
#include "mandate/pendra/BFile.h"
#include "mandate/pendra/Konto.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/Tax.h"
#include "res/Resource.h"

namespace {

constexpr int kYear2024 = 2024;
constexpr int kYear2018 = 2018;
// Both directions replace a form workbook whenever the versions differ.
constexpr int kInvert = 1;

// The status that ends a walk over every record of the file `name`: kEndOfFile
// (or kKeyNotFound for an empty file) when all could be read.
template <class Record>
int WalkAll(Mandate& mandate, const std::string& name) {
    BFile file(&mandate);
    if (const int status = file.Open(name, BFile::kModeReadOnly); status != pendra::kOk) return status;
    Record record(&mandate);
    record.UseFile(&file);
    int status = record.ReadFirst();
    while (status == pendra::kOk) status = record.ReadNext();
    return status;
}

// The transfer reads the key and account files: a mandate whose files cannot
// be read keeps its workbooks, and the log says why.
bool RecordsReadable(Mandate& mandate, CTheApp& app) {
    const std::pair<std::string, int> walks[] = {{mandate.GetTaxName(), WalkAll<Tax>(mandate, mandate.GetTaxName())},
                                                 {mandate.GetKontoName(), WalkAll<Konto>(mandate, mandate.GetKontoName())}};
    for (const auto& [name, status] : walks) {
        if (pendra::WalkEnded(status)) continue;
        ++app.m_failures;
        app.GetLogView()->AppendLine(Format(LoadString(IDS_LOG_READ_FAILED), name, status));
        app.GetLogView()->AppendLine(Format(LoadString(IDS_LOG_NOT_COMPLETED), mandate.GetPath()));
        return false;
    }
    return true;
}

}  // namespace

void CMainFrame::OnForm2024() { ActivateForm(kYear2024, IDS_END_FORM2024); }

void CMainFrame::OnForm2018() { ActivateForm(kYear2018, IDS_END_FORM2018); }

void CMainFrame::ActivateForm(int year, int endLineId) {
    if (AfxMessageBox(IDS_CONFIRM_FORMS, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    CTheApp& app = TheApp();
    const auto activate = [this, &app, year, endLineId](const std::string& dir) {
        Mandate& mandate = *Mandate::GetGlobalMandate();
        if (RecordsReadable(mandate, app)) {
            // A formula pass still pending belongs to the workbook it was meant for.
            formpass::FinishPending(mandate);
            UpdateForms(year, app.GetLogView(), kInvert);
        }
        app.GetLogView()->AppendLine(Format(LoadString(endLineId), dir));
    };
    if (RunBatch(activate, BatchClose::AfterEach)) return;
    Mandate* mandate = Mandate::GetGlobalMandate();
    if (!mandate || !mandate->IsMandantOpen()) return;
    app.SwitchView(0);
    activate(mandate->GetPath());
}
