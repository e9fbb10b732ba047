// "Alte Steuerschlüssel entfernen": deletes the old keys that no booking uses
// once the 2024 form is active, after the user confirmed warning 20031.
#include <optional>
#include <vector>

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "forms/MwstFormulaUpdater.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "res/Resource.h"
#include "commands/CommandRun.h"
#include "rules/ConversionRules.h"
#include "rules/FormEra.h"
#include "commands/ConversionCommands.h"
#include "commands/KeyRemoval.h"
#include "commands/TaxKeyFiles.h"

Outcome OnRemoveTax(CommandContext& ctx) {
    Mandate& mandate = ctx.mandate;
    const RateChange& change = OrDefault(ctx.change);
    if (!NewFormStepDone(FormEraOf(ActiveFormVersion(ctx), change), change)) {
        ctx.log.Line(Format(LoadString(IDS_CHANGE_FORM_FIRST), ChangeText(change, CurrentLanguage() == Language::French)));
        return Outcome::kRefused;
    }
    TaxKeyFiles files(&mandate);
    CommandRun run(ctx);
    if (!run.OpenFiles(files) || !run.Begin(true)) return Outcome::kFailed;

    KeyPlan plan(ctx.table, change);
    KeyRemoval removal(ctx, run, files);
    if (!removal.ReadPlanAndUses(plan, &PlannedKey::oldId)) return Outcome::kFailed;
    // A key stays while anything names it: a booking (the normal state until
    // the last bookings at the old rates are closed, counted in one line) or
    // an account's default (named). Keys the rules leave alone are not old
    // keys of the conversion and are never removed.
    int booked = 0;
    for (std::size_t i = 0; i < plan.OldKeys().size(); ++i) {
        const PlannedKey& old = plan.OldKeys()[i];
        if (old.leftAlone) continue;
        const int read = files.Writer().Read(old.oldId);
        if (read == pendra::kKeyNotFound || read == pendra::kKeyTooLong) continue;
        if (read != pendra::kOk) {
            run.ReadFailed(mandate.GetTaxName(), read);
            return Outcome::kFailed;
        }
        bool used = false, named = false;
        if (!removal.Used(i, used)) return Outcome::kFailed;
        if (used) {
            ++booked;
            continue;
        }
        if (!removal.OnAccount(old.oldId, named)) return Outcome::kFailed;
        if (!named && !removal.Remove(old, old.oldId)) return Outcome::kFailed;
    }
    if (booked > 0) ctx.log.Line(Format(LoadString(IDS_LOG_OLD_KEYS_BOOKED), booked));
    const std::vector<std::string>& deleted = removal.Deleted();
    // The 2024 form sums the new keys of the old keys still in use: exactly
    // the keys removed here leave the formulas, also those whose account is
    // not a formula account (the log names the formula keys only, once the
    // pass has saved the workbook).
    std::optional<FormPass> pass;
    if (!deleted.empty())
        pass = FormPass{FormPass::Kind::kRemoveKeys, deleted, {}, {}, {}, deleted,
                        removal.FormulaKeys()};
    return run.Finish(pass) ? Outcome::kDone : Outcome::kFailed;
}
