// "Alte Steuerschlüssel entfernen": deletes the old keys that no booking uses
// once the 2024 form is active, after the user confirmed warning 20031.
#include <optional>
#include <vector>

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "forms/MwstFormulaUpdater.h"
#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "res/Resource.h"
#include "commands/CommandRun.h"
#include "rules/ConversionRules.h"
#include "commands/ConversionCommands.h"
#include "commands/KeyRemoval.h"
#include "commands/TaxKeyFiles.h"

namespace {
constexpr unsigned kFirstForm2024 = 2024;
}  // namespace

int OnRemoveTax(CommandContext& ctx) {
    Mandate& mandate = ctx.mandate;
    if (ActiveFormVersion(ctx) < kFirstForm2024) {
        ctx.log.Line(LoadString(IDS_FORM2024_FIRST));
        return 0;
    }
    TaxKeyFiles files(&mandate);
    if (!files.Open(ctx.seam)) return 0;
    CommandRun run(ctx);
    if (!run.Begin(true)) return 0;

    KeyPlan plan(ctx.table);
    KeyRemoval removal(ctx, run, files);
    if (!removal.ReadPlanAndUses(plan, &PlannedKey::oldId)) return 0;
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
        if (read != pendra::kOk) return run.ReadFailed(mandate.GetTaxName(), read);
        bool used = false, named = false;
        if (!removal.Used(i, used)) return 0;
        if (used) {
            ++booked;
            continue;
        }
        if (!removal.OnAccount(old.oldId, named)) return 0;
        if (!named && !removal.Remove(old, old.oldId)) return 0;
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
    if (!run.Finish(pass)) return 0;
    return deleted.empty() ? kNothingToDo : 1;
}

// One indexed existence query instead of a walk over every booking: the same
// answer, exact and case-sensitive, as the tax id index compares bytes. A
// booking file that cannot be read keeps the key: only a read that found no
// booking lets it go.
int CanDeleteTaxId(CommandContext& ctx, const std::string& strTaxId) {
    Mandate* mandate = &ctx.mandate;
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
    if (status != pendra::kOk) ctx.log.Failure(Format(LoadString(IDS_LOG_READ_FAILED), mandate->GetBuchName(), status));
    return used ? 0 : 1;
}
