// "Alte Steuerschlüssel entfernen": deletes the old keys that no booking uses
// once the 2024 form is active, after the user confirmed warning 20031.
#include <vector>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/framework/AfxMessageBox.h"
#include "app/framework/Format.h"
#include "app/framework/Strings.h"
#include "forms/MwstFormulaUpdater.h"
#include "mandate/pendra/BFile.h"
#include "mandate/pendra/Buch.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraStatus.h"
#include "res/Resource.h"
#include "taxkeys/ConversionRules.h"
#include "taxkeys/KeyCommands.h"
#include "taxkeys/TaxKeyFiles.h"

namespace {
constexpr unsigned kFirstForm2024 = 2024;
}  // namespace

void CMainFrame::OnRemoveKeys() {
    if (AfxMessageBox(IDS_CONFIRM_REMOVE_OLD, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    CTheApp& app = TheApp();
    auto runOn = [&app](const std::string& dir) {
        if (app.OnRemoveTax()) LogLine(Format(LoadString(IDS_END_REMOVE_OLD), dir));
    };
    if (RunBatch(runOn)) return;
    app.m_changeFlag = 0;
    app.SwitchView(0);
    runOn(Mandate::GetGlobalMandate()->GetPath());
}

int CTheApp::OnRemoveTax() {
    if (m_pMandate->IsReadOnly()) return 0;
    if (ActiveFormVersion() < kFirstForm2024) {
        LogLine(LoadString(IDS_FORM2024_FIRST));
        return 0;
    }
    TaxKeyFiles files(m_pMandate);
    if (!files.Open()) return 0;

    std::vector<std::string> deleted;
    Tax& key = files.Walk();
    Tax& writer = files.Writer();
    for (int status = key.ReadFirst(); status == pendra::kOk; status = key.ReadNext()) {
        stsatz satz;
        float newRate;
        if (!SetSatz(RateText(key.GetPercent()), satz, newRate)) continue;
        const std::string oldId = key.GetId();
        if (writer.Read(oldId) != pendra::kOk || CanDeleteTaxId(oldId) == 0) {
            LogLine(Format(LoadString(IDS_LOG_KEY_KEPT), oldId));
            continue;
        }
        if (const int removed = writer.Delete(); removed != pendra::kOk) {
            LogFailure(Format(LoadString(IDS_LOG_DELETE_FAILED), oldId, removed));
            continue;
        }
        m_changeFlag = 1;
        LogLine(Format(LoadString(IDS_LOG_KEY_REMOVED), oldId));
        if (files.HasFormulaAccount(key)) {
            deleted.push_back(oldId);
            LogLine(Format(LoadString(IDS_LOG_REMOVED_FROM_FORMULAS), oldId));
        }
    }
    if (!deleted.empty()) MwstDeleteTaxid(deleted);
    return 1;
}

// One indexed existence query instead of a walk over every booking: the same
// answer, exact and case-sensitive, as the tax id index compares bytes.
int CanDeleteTaxId(const std::string& strTaxId) {
    Mandate* mandate = Mandate::GetGlobalMandate();
    BFile buchFile(mandate);
    // Without readable bookings none can be found, as a walk whose first read fails.
    if (buchFile.Open(mandate->GetBuchName(), BFile::kModeReadOnly, true) != pendra::kOk) return 1;
    Buch buch(mandate);
    buch.UseFile(&buchFile);
    return buch.ExistsWithTaxId(strTaxId) == pendra::kOk ? 0 : 1;
}
