// "Konti anpassen" and "Konti zurückstellen": accounts that default to an old
// key get its new key, and back.
#include <optional>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/framework/Format.h"
#include "app/framework/Strings.h"
#include "mandate/pendra/BFile.h"
#include "mandate/pendra/Konto.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraMessages.h"
#include "mandate/pendra/PendraStatus.h"
#include "res/Resource.h"
#include "taxkeys/CommandRun.h"
#include "taxkeys/ConversionRules.h"
#include "taxkeys/KeyCommands.h"
#include "taxkeys/TaxKeyFiles.h"

namespace {

constexpr int kMsgCannotOpen = 5000;

// The account commands log begin and end whatever the run gives, and close
// each mandate of a batch after its run.
void RunAccountCommand(CMainFrame& frame, int beginId, int endId, int rev) {
    CTheApp& app = TheApp();
    auto runOn = [&](const std::string& dir) {
        LogLine(Format(LoadString(beginId), dir));
        app.UpdateAccounts(rev);
        LogLine(Format(LoadString(endId), dir));
    };
    if (frame.RunBatch(runOn, CMainFrame::BatchClose::AfterEach)) return;
    app.SwitchView(0);
    runOn(Mandate::GetGlobalMandate()->GetPath());
}

}  // namespace

void CMainFrame::OnUpdateAccounts() { RunAccountCommand(*this, IDS_BEGIN_ADAPT, IDS_END_ADAPT, 0); }

void CMainFrame::OnUndoUpdateAccounts() { RunAccountCommand(*this, IDS_BEGIN_RESET, IDS_END_RESET, 1); }

int CTheApp::UpdateAccounts(int rev) {
    if (m_pMandate->IsReadOnly()) return 0;
    TaxKeyFiles files(m_pMandate);
    if (!files.Open()) return 0;
    BFile kontoFile(m_pMandate);
    if (const int status = kontoFile.Open(m_pMandate->GetKontoName(), BFile::kModeUpdate, true);
        status != pendra::kOk) {
        ShowError(ZylGetResourceHandle(), kMsgCannotOpen, m_pMandate->GetLastName(), status);
        return 0;
    }
    Konto konto(m_pMandate);
    konto.UseFile(&kontoFile);
    CommandRun run(*m_pMandate);
    if (!run.Begin()) return 0;

    KeyPlan plan;
    if (!run.ReadPlan(files, plan)) return 0;
    for (const PlannedKey& old : plan.OldKeys()) {
        const std::string& oldId = old.oldId;
        const std::string& newId = old.newId;
        // A key whose automatic account does not exist leaves its accounts alone.
        if (const int read = konto.ReadKonto(files.Current(old).GetKonto()); read != pendra::kOk) {
            if (read == pendra::kKeyNotFound || read == pendra::kKeyTooLong) continue;
            return run.ReadFailed(m_pMandate->GetKontoName(), read);
        }
        const int changed = rev == 0 ? UpdateKonten(konto, oldId, newId) : UpdateKonten(konto, newId, oldId);
        if (changed != 1) return run.Fail(std::string());
    }
    return run.Finish(std::nullopt) ? 1 : 0;
}

// Only the accounts holding `oldid` are visited, through the tax id index and
// in account-number order, which is the order and the set of accounts a walk
// over the whole file would change. Each is read under its single-record wait
// lock and released before the next one is read: by its update, or here.
// A failed update or read ends the walk with 0, after its log line.
int UpdateKonten(Konto& konto, const std::string& oldid, const std::string& taxid) {
    konto.SetLockFlag(BRecord::kWaitLock);
    int status = konto.ReadFirstByTaxId(oldid);
    for (; status == pendra::kOk; status = konto.ReadNextByTaxId(oldid)) {
        // The record was read again once locked: another program may have changed it meanwhile.
        if (konto.GetTaxId() != oldid) {
            konto.UnlockSingle();
            konto.SetLockFlag(BRecord::kWaitLock);
            continue;
        }
        const std::string number = konto.GetNumber();
        int written = konto.SetTaxId(taxid);
        if (written == pendra::kOk) written = konto.Update();
        if (written != pendra::kOk) {
            LogFailure(Format(LoadString(IDS_LOG_ACCOUNT_FAILED), number, oldid, taxid, written));
            konto.UnlockSingle();
            return 0;
        }
        LogLine(Format(LoadString(IDS_LOG_ACCOUNT_REPLACED), number, oldid, taxid));
        konto.SetLockFlag(BRecord::kWaitLock);
    }
    konto.UnlockSingle();
    // An id longer than the field is on no account.
    if (pendra::WalkEnded(status) || status == pendra::kKeyTooLong) return 1;
    LogFailure(Format(LoadString(IDS_LOG_READ_FAILED), konto.File()->GetMandate()->GetKontoName(), status));
    return 0;
}
