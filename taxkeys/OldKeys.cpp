// "Alte Steuerschlüssel entfernen": deletes the old keys that no booking uses
// once the 2024 form is active, after the user confirmed warning 20031.
#include <optional>
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
#include "taxkeys/CommandRun.h"
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
    CommandRun run(*m_pMandate);
    if (!run.Begin()) return 0;

    KeyPlan plan;
    if (!run.ReadPlan(files, plan)) return 0;
    std::vector<std::string> deleted, formulaKeys;
    Tax& writer = files.Writer();
    for (const PlannedKey& old : plan.OldKeys()) {
        const std::string& oldId = old.oldId;
        const int read = writer.Read(oldId);
        if (read != pendra::kOk && read != pendra::kKeyNotFound)
            return run.ReadFailed(m_pMandate->GetTaxName(), read);
        bool used = false;
        if (read == pendra::kOk) {
            if (const int use = files.ReadBookingUse(oldId, used); use != pendra::kOk)
                return run.ReadFailed(m_pMandate->GetBuchName(), use);
        }
        if (read != pendra::kOk || used) {
            LogLine(Format(LoadString(IDS_LOG_KEY_KEPT), oldId));
            continue;
        }
        if (const int removed = writer.Delete(); removed != pendra::kOk)
            return run.Fail(Format(LoadString(IDS_LOG_DELETE_FAILED), oldId, removed));
        m_changeFlag = 1;
        deleted.push_back(oldId);
        LogLine(Format(LoadString(IDS_LOG_KEY_REMOVED), oldId));
        bool formula = false;
        if (const int account = files.ReadFormulaAccount(files.Current(old), formula); account != pendra::kOk)
            return run.ReadFailed(m_pMandate->GetKontoName(), account);
        if (formula) {
            formulaKeys.push_back(oldId);
            LogLine(Format(LoadString(IDS_LOG_REMOVED_FROM_FORMULAS), oldId));
        }
    }
    // The 2024 form sums the new keys of the old keys still in use: exactly
    // the keys removed here leave the formulas, also those whose account is
    // not a formula account (the log names the formula keys only).
    std::optional<FormPass> pass;
    if (!deleted.empty()) pass = FormPass{FormPass::Kind::kRemoveKeys, deleted, {}, {}, {}, deleted};
    return run.Finish(pass) ? 1 : 0;
}

// One indexed existence query instead of a walk over every booking: the same
// answer, exact and case-sensitive, as the tax id index compares bytes. A
// booking file that cannot be read keeps the key: only a read that found no
// booking lets it go.
int CanDeleteTaxId(const std::string& strTaxId) {
    Mandate* mandate = Mandate::GetGlobalMandate();
    BFile buchFile(mandate);
    int status = buchFile.Open(mandate->GetBuchName(), BFile::kModeReadOnly, true);
    bool used = true;
    if (status == pendra::kOk) {
        Buch buch(mandate);
        buch.UseFile(&buchFile);
        status = buch.ExistsWithTaxId(strTaxId);
        used = status != pendra::kKeyNotFound && status != pendra::kKeyTooLong;
        if (!used) status = pendra::kOk;
    }
    if (status != pendra::kOk) LogFailure(Format(LoadString(IDS_LOG_READ_FAILED), mandate->GetBuchName(), status));
    return used ? 0 : 1;
}
