// "Konti anpassen" and "Konti zurückstellen": accounts that default to an old
// key get its new key, and back.
#include <optional>

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/PendraUiBridge.h"
#include "core/Progress.h"
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
// key's rate. Adapting names each account it leaves on an old key with the
// reason; resetting keeps quiet about new keys that are not there and names
// a key in the way.
bool Switches(LogSink& log, const PlannedKey& old, int rev) {
    if (old.newKey == NewKey::kPresent) return true;
    if (rev != 0 && old.newKey != NewKey::kAbsent)
        log.Line(
            Format(LoadString(IDS_LOG_KEY_NOT_CONVERTED), old.oldId, NotConvertedReason(old)));
    return false;
}

// Why the accounts of `old` stay on it, with the step that would help.
std::string StaysBecause(const PlannedKey& old) {
    const std::string why = NotConvertedReason(old);
    return old.newKey == NewKey::kAbsent ? Format(LoadString(IDS_REASON_INSERT_FIRST), why) : why;
}

// Logs every account that defaults to `old`'s id, each a step of `steps`: kOk, or the status of the
// read that failed.
int NameAccountsLeft(LogSink& log, Konto& konto, const PlannedKey& old, int& left, ProgressSteps& steps) {
    int status = konto.ReadFirstByTaxId(old.oldId);
    for (; status == pendra::kOk; status = konto.ReadNextByTaxId(old.oldId)) {
        log.Line(Format(LoadString(IDS_LOG_ACCOUNT_STAYS), konto.GetNumber(), old.oldId, StaysBecause(old)));
        ++left;
        steps.Step();
    }
    return pendra::WalkEnded(status) || status == pendra::kKeyTooLong ? pendra::kOk : status;
}

// The accounts the walks of UpdateAccounts visit (the `left` accounts
// adapting names included), counted only for somebody who follows the
// progress: kOk, or the status of the count that failed.
int CountWalked(Konto& konto, const KeyPlan& plan, int rev, std::size_t& total) {
    total = 0;
    for (const PlannedKey& old : plan.OldKeys()) {
        if (old.leftAlone || (rev != 0 && old.newKey != NewKey::kPresent)) continue;
        std::size_t count = 0;
        const int status = konto.CountByTaxId(rev == 0 ? old.oldId : old.newId, count);
        if (status != pendra::kOk && status != pendra::kKeyTooLong) return status;
        total += count;
    }
    return pendra::kOk;
}

}  // namespace

Outcome UpdateAccounts(CommandContext& ctx, int rev) {
    Mandate& mandate = ctx.mandate;
    TaxKeyFiles files(&mandate);
    CommandRun run(ctx);
    if (!run.OpenFiles(files)) return Outcome::kFailed;
    BFile kontoFile(&mandate);
    if (const int status = kontoFile.Open(mandate.GetKontoName(), BFile::kModeUpdate, true);
        status != pendra::kOk) {
        ShowLibraryError(ctx.seam, kMsgCannotOpen, mandate.GetLastName(), status);
        run.Fail(std::string());
        return Outcome::kFailed;
    }
    Konto konto(&mandate);
    konto.UseFile(&kontoFile);
    if (!run.Begin()) return Outcome::kFailed;

    KeyPlan plan(ctx.table, OrDefault(ctx.change));
    if (!run.ReadPlan(files, plan)) return Outcome::kFailed;
    std::size_t walked = 0;
    if (ctx.progress) {
        if (const int count = CountWalked(konto, plan, rev, walked); count != pendra::kOk) {
            run.ReadFailed(mandate.GetKontoName(), count);
            return Outcome::kFailed;
        }
    }
    ProgressSteps steps(ctx.progress, walked);
    // Accounts follow their key, whether or not the key's automatic account
    // exists; keys the rules leave alone keep their accounts.
    int left = 0;
    for (const PlannedKey& old : plan.OldKeys()) {
        if (old.leftAlone) continue;
        const std::string& oldId = old.oldId;
        const std::string& newId = old.newId;
        if (!Switches(ctx.log, old, rev)) {
            if (rev != 0) continue;
            if (const int read = NameAccountsLeft(ctx.log, konto, old, left, steps); read != pendra::kOk) {
                run.ReadFailed(mandate.GetKontoName(), read);
                return Outcome::kFailed;
            }
            continue;
        }
        if (run.Stopped()) return Outcome::kFailed;
        const int updated = rev == 0 ? UpdateKonten(ctx.log, konto, oldId, newId, steps)
                                     : UpdateKonten(ctx.log, konto, newId, oldId, steps);
        if (updated != 1) {
            run.Fail(std::string());
            return Outcome::kFailed;
        }
    }
    steps.Finish();
    if (!run.Finish(std::nullopt)) return Outcome::kFailed;
    // Accounts left on an old key the rules convert: the step's target is
    // missed (counted by the run of the command), though what it switched
    // stays switched.
    if (left > 0) ctx.log.Line(Format(LoadString(IDS_LOG_ACCOUNTS_LEFT), left));
    return Outcome::kDone;
}

// Only the accounts holding `oldid` are visited, through the tax id index and
// in account-number order, which is the order and the set of accounts a walk
// over the whole file would change. Each is read under its single-record wait
// lock and released before the next one is read: by its update, or here.
// A failed update or read ends the walk with 0, after its log line.
int UpdateKonten(LogSink& log, Konto& konto, const std::string& oldid, const std::string& taxid,
                 ProgressSteps& steps) {
    konto.SetLockFlag(BRecord::kWaitLock);
    int status = konto.ReadFirstByTaxId(oldid);
    while (status == pendra::kOk) {
        steps.Step();
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
        status = next;
    }
    konto.UnlockSingle();
    // An id longer than the field is on no account.
    if (pendra::WalkEnded(status) || status == pendra::kKeyTooLong) return 1;
    log.Failure(Format(LoadString(IDS_LOG_READ_FAILED), konto.File()->GetMandate()->GetKontoName(), status));
    return 0;
}
