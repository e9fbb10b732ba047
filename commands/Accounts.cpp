// "Konti anpassen" and "Konti zurückstellen": accounts that default to an old
// key get its new key, and back.
#include <optional>

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/PendraUiBridge.h"
#include "core/Strings.h"
#include "pendra/BFile.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "res/Resource.h"
#include "commands/CommandRun.h"
#include "rules/ConversionRules.h"
#include "commands/ConversionCommands.h"
#include "commands/KeyTexts.h"
#include "commands/TaxKeyFiles.h"

namespace {

constexpr int kMsgCannotOpen = 5000;

// Accounts only ever go to a key that exists at the new rate of their old
// key's rate: an old key whose new key is missing or differs stays, said
// when adapting. Resetting keeps quiet about new keys that are not there.
bool Switches(LogSink& log, const PlannedKey& old, int rev) {
    if (old.newKey == NewKey::kPresent) return true;
    if (rev == 0 || old.newKey != NewKey::kAbsent)
        log.Line(
            Format(LoadString(IDS_LOG_KEY_NOT_CONVERTED), old.oldId, NotConvertedReason(old)));
    return false;
}

}  // namespace

int UpdateAccounts(CommandContext& ctx, int rev) {
    Mandate& mandate = ctx.mandate;
    if (mandate.IsReadOnly()) return 0;
    TaxKeyFiles files(&mandate);
    if (!files.Open(ctx.seam)) return 0;
    BFile kontoFile(&mandate);
    if (const int status = kontoFile.Open(mandate.GetKontoName(), BFile::kModeUpdate, true);
        status != pendra::kOk) {
        ShowLibraryError(ctx.seam, kMsgCannotOpen, mandate.GetLastName(), status);
        return 0;
    }
    Konto konto(&mandate);
    konto.UseFile(&kontoFile);
    CommandRun run(ctx);
    if (!run.Begin()) return 0;

    KeyPlan plan(ctx.table);
    if (!run.ReadPlan(files, plan)) return 0;
    int switched = 0;
    for (const PlannedKey& old : plan.OldKeys()) {
        const std::string& oldId = old.oldId;
        const std::string& newId = old.newId;
        // A key whose automatic account does not exist leaves its accounts alone.
        if (const int read = konto.ReadKonto(files.Current(old).GetKonto()); read != pendra::kOk) {
            if (read == pendra::kKeyNotFound || read == pendra::kKeyTooLong) continue;
            return run.ReadFailed(mandate.GetKontoName(), read);
        }
        if (!Switches(ctx.log, old, rev)) continue;
        if (run.Stopped()) return 0;
        const int updated = rev == 0 ? UpdateKonten(ctx.log, konto, oldId, newId, &switched)
                                     : UpdateKonten(ctx.log, konto, newId, oldId, &switched);
        if (updated != 1) return run.Fail(std::string());
    }
    if (!run.Finish(std::nullopt)) return 0;
    return switched == 0 ? kNothingToDo : 1;
}

// Only the accounts holding `oldid` are visited, through the tax id index and
// in account-number order, which is the order and the set of accounts a walk
// over the whole file would change. Each is read under its single-record wait
// lock and released before the next one is read: by its update, or here.
// A failed update or read ends the walk with 0, after its log line.
int UpdateKonten(LogSink& log, Konto& konto, const std::string& oldid, const std::string& taxid, int* changed) {
    konto.SetLockFlag(BRecord::kWaitLock);
    int status = konto.ReadFirstByTaxId(oldid);
    while (status == pendra::kOk) {
        // The record was read again once locked: another program may have changed it meanwhile.
        if (konto.GetTaxId() != oldid) {
            konto.UnlockSingle();
            konto.SetLockFlag(BRecord::kWaitLock);
            status = konto.ReadNextByTaxId(oldid);
            continue;
        }
        const std::string number = konto.GetNumber();
        int written = konto.SetTaxId(taxid);
        // The next account is read under its wait lock together with this
        // update (one server round trip on SQL mandates); its answer is
        // looked at only after this account's log line.
        int next = pendra::kOk;
        if (written == pendra::kOk) written = konto.UpdateAndReadNextByTaxId(oldid, next);
        if (written != pendra::kOk) {
            log.Failure(Format(LoadString(IDS_LOG_ACCOUNT_FAILED), number, oldid, taxid, written));
            konto.UnlockSingle();
            return 0;
        }
        log.Line(Format(LoadString(IDS_LOG_ACCOUNT_REPLACED), number, oldid, taxid));
        if (changed) ++*changed;
        status = next;
    }
    konto.UnlockSingle();
    // An id longer than the field is on no account.
    if (pendra::WalkEnded(status) || status == pendra::kKeyTooLong) return 1;
    log.Failure(Format(LoadString(IDS_LOG_READ_FAILED), konto.File()->GetMandate()->GetKontoName(), status));
    return 0;
}
