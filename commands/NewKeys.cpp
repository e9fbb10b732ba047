// "Neue Steuerschlüssel einfügen" and "Neue Steuerschlüssel entfernen": a new
// key at the 2024 rate beside every old key, and its removal.
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "formula/KeyPair.h"
#include "forms/MwstFormulaUpdater.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "res/Resource.h"
#include "commands/CommandRun.h"
#include "rules/ConversionRules.h"
#include "commands/ConversionCommands.h"
#include "commands/KeyTexts.h"
#include "commands/KeyRemoval.h"
#include "commands/TaxKeyFiles.h"

namespace {

constexpr unsigned kLastFormBeforeInsert = 2018;
constexpr unsigned kLastFormBeforeRemove = 2024;
constexpr unsigned kFirstForm2024 = 2024;

// The old key in `key` turned into its new key: new rate of the class, the new
// gross factor when the old one is that class's, the new id. Everything else
// (entry flag, automatic account, text) stays the old key's.
int MakeNewKey(Tax& key, float newRate, const std::string& newId) {
    const std::string quoteText = RateText(key.GetQuote());
    for (stsatz cls : {STSATZ_25, STSATZ_37, STSATZ_77})
        if (quoteText == OldQuoteText(cls)) key.SetQuote(NewQuote(cls));
    std::memcpy(key.GetBuffer() + Tax::kRateOffset, &newRate, sizeof newRate);
    return key.SetId(newId);
}

// A derived id may name a key that is not the old key's new key: one at an
// old rate (X81 at 7.7 %, or a table entry pointing at an old key), at
// another new rate or with the other method. The removal keeps it, saying why.
std::string KeptLine(const PlannedKey& old) {
    stsatz satz;
    float rate;
    if (SetSatz(RateText(old.inTheWay.rate), satz, rate))
        return Format(LoadString(IDS_LOG_OLD_RATE_KEPT), old.newId);
    return Format(LoadString(IDS_LOG_NEW_KEY_KEPT), old.newId, NotConvertedReason(old));
}

// Every old key the insertion converts has its new key already.
bool AllNewKeysPresent(const KeyPlan& plan) {
    return std::all_of(plan.OldKeys().begin(), plan.OldKeys().end(),
                       [](const PlannedKey& old) { return old.leftAlone || old.newKey == NewKey::kPresent; });
}

// Read only: whether the insertion has nothing left to insert. A read that
// fails is logged and counted.
bool NewKeysInPlace(CommandContext& ctx, TaxKeyFiles& files) {
    if (!files.Open(ctx.seam)) return false;
    CommandRun run(ctx);
    KeyPlan plan(ctx.table);
    return run.ReadPlan(files, plan) && AllNewKeysPresent(plan);
}

}  // namespace

int OnExtendTax(CommandContext& ctx) {
    Mandate& mandate = ctx.mandate;
    TaxKeyFiles files(&mandate);
    // Once the 2024 form is active no key is added any more; a mandate that
    // has them all is done, so that a re-run of the whole conversion goes on.
    if (ActiveFormVersion(ctx) > kLastFormBeforeInsert) {
        if (NewKeysInPlace(ctx, files)) return kNothingToDo;
        ctx.log.Line(Format(LoadString(IDS_LOG_FORM_REASON), LoadString(IDS_REASON_INSERT_NEEDS_2018)));
        return 0;
    }
    if (!files.Open(ctx.seam)) return 0;
    CommandRun run(ctx);
    if (!run.Begin(true)) return 0;

    KeyPlan plan(ctx.table);
    if (!run.ReadPlan(files, plan)) return 0;
    std::vector<std::string> inserted, formulaOld, formulaNew, pairs;
    Tax& writer = files.Writer();
    int notConverted = 0;
    for (const PlannedKey& old : plan.OldKeys()) {
        if (old.leftAlone) continue;
        if (!old.Converts()) {
            ctx.log.Line(
                Format(LoadString(IDS_LOG_KEY_NOT_CONVERTED), old.oldId, NotConvertedReason(old)));
            ++notConverted;
            continue;
        }
        if (std::find(inserted.begin(), inserted.end(), old.newId) != inserted.end()) continue;
        pairs.push_back(keypair::Make(old.oldId, old.newId));
        if (!plan.Take(old.newId)) continue;
        inserted.push_back(old.newId);

        KeyPlan::Load(old, writer);
        int written = MakeNewKey(writer, old.newRate, old.newId);
        if (written == pendra::kOk) written = writer.Insert();
        if (written != pendra::kOk)
            return run.Fail(Format(LoadString(IDS_LOG_INSERT_FAILED), old.newId, written));
        ctx.changeFlag = 1;
        ctx.log.Line(Format(LoadString(IDS_LOG_KEY_INSERTED), old.newId));
        bool formula = false;
        if (const int read = files.ReadFormulaAccount(writer, formula); read != pendra::kOk)
            return run.ReadFailed(mandate.GetKontoName(), read);
        if (formula) {
            formulaOld.push_back(old.oldId);
            formulaNew.push_back(old.newId);
        }
    }
    // The log names the keys the formulas got once the pass has saved the workbook.
    std::optional<FormPass> pass;
    if (!formulaOld.empty() || !pairs.empty())
        pass = FormPass{FormPass::Kind::kExtend, formulaOld, formulaNew, pairs, inserted, {},
                        formulaNew};
    if (!run.Finish(pass)) return 0;
    if (AllNewKeysPresent(plan)) return kNothingToDo;
    // An old key without its new key (another key in the way): the step is not done.
    if (notConverted > 0) ctx.log.Failure(Format(LoadString(IDS_LOG_KEYS_NOT_CONVERTED), notConverted));
    return 1;
}

int OnReverseExtendTax(CommandContext& ctx) {
    Mandate& mandate = ctx.mandate;
    const unsigned version = ActiveFormVersion(ctx);
    if (version > kLastFormBeforeRemove) return 0;
    TaxKeyFiles files(&mandate);
    if (!files.Open(ctx.seam)) return 0;
    CommandRun run(ctx);
    if (!run.Begin(true)) return 0;

    KeyPlan plan(ctx.table);
    KeyRemoval removal(ctx, run, files);
    if (!removal.ReadPlanAndUses(plan, &PlannedKey::newId)) return 0;
    for (std::size_t i = 0; i < plan.OldKeys().size(); ++i) {
        const PlannedKey& old = plan.OldKeys()[i];
        if (old.leftAlone) continue;
        if (const int read = files.Writer().Read(old.newId); read != pendra::kOk) {
            if (read == pendra::kKeyNotFound || read == pendra::kKeyTooLong) continue;
            return run.ReadFailed(mandate.GetTaxName(), read);
        }
        if (old.newKey != NewKey::kPresent) {
            ctx.log.Line(KeptLine(old));
            continue;
        }
        // A new key an account still defaults to stays with it, as a booked one does.
        bool used = true, named = false;
        if (!removal.Used(i, used)) return 0;
        if (used) continue;
        if (!removal.OnAccount(old.newId, named)) return 0;
        if (!named && !removal.Remove(old, old.newId)) return 0;
    }
    const std::vector<std::string>& deleted = removal.Deleted();
    // On the 2018 form the removal undoes the extend pass, which the insertion
    // runs for keys of any account: so does the undo, once any key went. The
    // 2024 form sums its own keys, from which exactly the removed keys go.
    std::optional<FormPass> pass;
    const std::vector<std::string>& formulaKeys = removal.FormulaKeys();
    if (version >= kFirstForm2024 && !deleted.empty())
        pass = FormPass{FormPass::Kind::kRemoveKeys, deleted, {}, {}, {}, deleted, formulaKeys};
    else if (version < kFirstForm2024 && !deleted.empty())
        pass = FormPass{FormPass::Kind::kUndoExtend, formulaKeys, {}, {}, {}, deleted, formulaKeys};
    if (!run.Finish(pass)) return 0;
    return deleted.empty() ? kNothingToDo : 1;
}
