// "Alte Steuerschlüssel entfernen": deletes the old keys that no booking uses
// once the 2024 form is active, after the user confirmed warning 20031.
#include <optional>
#include <vector>

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "forms/MwstFormulaUpdater.h"
#include "mandate/pendra/BFile.h"
#include "mandate/pendra/Buch.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraStatus.h"
#include "res/Resource.h"
#include "taxkeys/CommandRun.h"
#include "taxkeys/ConversionRules.h"
#include "taxkeys/ConversionCommands.h"
#include "taxkeys/TaxKeyFiles.h"

namespace {
constexpr unsigned kFirstForm2024 = 2024;
}  // namespace

int OnRemoveTax(CommandContext& ctx) {
    Mandate& mandate = ctx.mandate;
    if (mandate.IsReadOnly()) return 0;
    if (ActiveFormVersion(ctx) < kFirstForm2024) {
        ctx.log.Line(LoadString(IDS_FORM2024_FIRST));
        return 0;
    }
    TaxKeyFiles files(&mandate);
    if (!files.Open()) return 0;
    CommandRun run(ctx);
    if (!run.Begin(true)) return 0;

    KeyPlan plan(ctx.table);
    if (!run.ReadPlan(files, plan)) return 0;
    std::vector<std::string> oldIds;
    for (const PlannedKey& old : plan.OldKeys()) oldIds.push_back(old.oldId);
    std::vector<TaxKeyFiles::BookingUse> uses;
    if (const int status = files.ReadBookingUses(oldIds, uses); status != pendra::kOk)
        return run.ReadFailed(mandate.GetBuchName(), status);
    std::vector<std::string> deleted, formulaKeys;
    Tax& writer = files.Writer();
    for (std::size_t i = 0; i < plan.OldKeys().size(); ++i) {
        const PlannedKey& old = plan.OldKeys()[i];
        const std::string& oldId = old.oldId;
        const int read = writer.Read(oldId);
        if (read != pendra::kOk && read != pendra::kKeyNotFound)
            return run.ReadFailed(mandate.GetTaxName(), read);
        bool used = false;
        if (read == pendra::kOk) {
            if (uses[i].status != pendra::kOk) return run.ReadFailed(mandate.GetBuchName(), uses[i].status);
            used = uses[i].used;
        }
        if (read != pendra::kOk || used) {
            ctx.log.Line(Format(LoadString(IDS_LOG_KEY_KEPT), oldId));
            continue;
        }
        if (const int removed = writer.Delete(); removed != pendra::kOk)
            return run.Fail(Format(LoadString(IDS_LOG_DELETE_FAILED), oldId, removed));
        ctx.changeFlag = 1;
        deleted.push_back(oldId);
        ctx.log.Line(Format(LoadString(IDS_LOG_KEY_REMOVED), oldId));
        bool formula = false;
        if (const int account = files.ReadFormulaAccount(files.Current(old), formula); account != pendra::kOk)
            return run.ReadFailed(mandate.GetKontoName(), account);
        if (formula) {
            formulaKeys.push_back(oldId);
            ctx.log.Line(Format(LoadString(IDS_LOG_REMOVED_FROM_FORMULAS), oldId));
        }
    }
    // The 2024 form sums the new keys of the old keys still in use: exactly
    // the keys removed here leave the formulas, also those whose account is
    // not a formula account (the log names the formula keys only).
    std::optional<FormPass> pass;
    if (!deleted.empty()) pass = FormPass{FormPass::Kind::kRemoveKeys, deleted, {}, {}, {}, deleted};
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
