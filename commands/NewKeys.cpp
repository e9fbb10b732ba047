// "Neue Steuerschlüssel einfügen" and "Neue Steuerschlüssel entfernen": a new
// key at the change's new rate beside every old key, and its removal.
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
#include "rules/FormEra.h"
#include "commands/ConversionCommands.h"
#include "commands/KeyTexts.h"
#include "commands/KeyRemoval.h"
#include "commands/TaxKeyFiles.h"

namespace {

// The old key in `key` turned into its new key: new rate of the class, the new
// gross factor when the old one is that class's, the new id. Everything else
// (entry flag, automatic account, text) stays the old key's.
int MakeNewKey(Tax& key, float newRate, const std::string& newId, const RateChange& change) {
    const std::string quoteText = RateText(key.GetQuote());
    for (std::size_t i = 0; i < change.classes.size(); ++i) {
        const auto cls = static_cast<stsatz>(i);
        if (quoteText == OldQuoteText(cls, change)) key.SetQuote(NewQuote(cls, change));
    }
    std::memcpy(key.GetBuffer() + Tax::kRateOffset, &newRate, sizeof newRate);
    return key.SetId(newId);
}

// A derived id may name a key that is not the old key's new key: one at an
// old rate (X81 at 7.7 %, or a table entry pointing at an old key), at
// another new rate or with the other method. The removal keeps it, saying why.
std::string KeptLine(const PlannedKey& old, const RateChange& change) {
    stsatz satz;
    float rate;
    if (SetSatz(RateText(old.inTheWay.rate), satz, rate, change))
        return Format(LoadString(IDS_LOG_OLD_RATE_KEPT), old.newId);
    return Format(LoadString(IDS_LOG_NEW_KEY_KEPT), old.newId, NotConvertedReason(old));
}

}  // namespace

Outcome OnExtendTax(CommandContext& ctx) {
    Mandate& mandate = ctx.mandate;
    TaxKeyFiles files(&mandate);
    // Once the change's form is active no key is added any more (a mandate
    // that has them all never gets here: its step is done).
    const RateChange& change = OrDefault(ctx.change);
    if (SumsNewKeys(FormEraOf(ActiveFormVersion(ctx), change))) {
        ctx.log.Line(Format(LoadString(IDS_LOG_FORM_REASON), LoadString(IDS_REASON_INSERT_NEEDS_2018)));
        return Outcome::kRefused;
    }
    CommandRun run(ctx);
    if (!run.OpenFiles(files) || !run.Begin(true)) return Outcome::kFailed;

    KeyPlan plan(ctx.table, change);
    if (!run.ReadPlan(files, plan)) return Outcome::kFailed;
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
        int written = MakeNewKey(writer, old.newRate, old.newId, change);
        if (written == pendra::kOk) written = writer.Insert();
        if (written != pendra::kOk) {
            run.Fail(Format(LoadString(IDS_LOG_INSERT_FAILED), old.newId, written));
            return Outcome::kFailed;
        }
        ctx.changeFlag = 1;
        ctx.log.Line(Format(LoadString(IDS_LOG_KEY_INSERTED), old.newId));
        bool formula = false;
        if (const int read = files.ReadFormulaAccount(writer, formula); read != pendra::kOk) {
            run.ReadFailed(mandate.GetKontoName(), read);
            return Outcome::kFailed;
        }
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
    if (!run.Finish(pass)) return Outcome::kFailed;
    // An old key without its new key (another key in the way): the step's
    // target is missed, which the run of the command counts.
    if (notConverted > 0) ctx.log.Line(Format(LoadString(IDS_LOG_KEYS_NOT_CONVERTED), notConverted));
    return Outcome::kDone;
}

Outcome OnReverseExtendTax(CommandContext& ctx) {
    Mandate& mandate = ctx.mandate;
    const RateChange& change = OrDefault(ctx.change);
    const FormEra era = FormEraOf(ActiveFormVersion(ctx), change);
    if (era == FormEra::kNewer) return Outcome::kRefused;
    TaxKeyFiles files(&mandate);
    CommandRun run(ctx);
    if (!run.OpenFiles(files) || !run.Begin(true)) return Outcome::kFailed;

    KeyPlan plan(ctx.table, change);
    KeyRemoval removal(ctx, run, files);
    if (!removal.ReadPlanAndUses(plan, &PlannedKey::newId)) return Outcome::kFailed;
    for (std::size_t i = 0; i < plan.OldKeys().size(); ++i) {
        const PlannedKey& old = plan.OldKeys()[i];
        if (old.leftAlone) continue;
        if (const int read = files.Writer().Read(old.newId); read != pendra::kOk) {
            if (read == pendra::kKeyNotFound || read == pendra::kKeyTooLong) continue;
            run.ReadFailed(mandate.GetTaxName(), read);
            return Outcome::kFailed;
        }
        if (old.newKey != NewKey::kPresent) {
            ctx.log.Line(KeptLine(old, change));
            continue;
        }
        // A new key an account still defaults to stays with it, as a booked one does.
        bool used = true, named = false;
        if (!removal.Used(i, used)) return Outcome::kFailed;
        if (used) continue;
        if (!removal.OnAccount(old.newId, named)) return Outcome::kFailed;
        if (!named && !removal.Remove(old, old.newId)) return Outcome::kFailed;
    }
    const std::vector<std::string>& deleted = removal.Deleted();
    // On the 2018 form the removal undoes the extend pass, which the insertion
    // runs for keys of any account: so does the undo, once any key went. The
    // 2024 form sums its own keys, from which exactly the removed keys go.
    std::optional<FormPass> pass;
    const std::vector<std::string>& formulaKeys = removal.FormulaKeys();
    if (SumsNewKeys(era) && !deleted.empty())
        pass = FormPass{FormPass::Kind::kRemoveKeys, deleted, {}, {}, {}, deleted, formulaKeys};
    else if (!deleted.empty())
        pass = FormPass{FormPass::Kind::kUndoExtend, formulaKeys, {}, {}, {}, deleted, formulaKeys};
    return run.Finish(pass) ? Outcome::kDone : Outcome::kFailed;
}
