#include "commands/KeyRemoval.h"

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "res/Resource.h"
#include "commands/CommandRun.h"
#include "rules/KeyPlan.h"

bool KeyRemoval::ReadPlanAndUses(KeyPlan& plan, std::string PlannedKey::*id) {
    if (!run_.ReadPlan(files_, plan)) return false;
    std::vector<std::string> ids;
    for (const PlannedKey& old : plan.OldKeys()) ids.push_back(old.*id);
    if (const int status = files_.ReadBookingUses(ids, uses_); status != pendra::kOk)
        return run_.ReadFailed(ctx_.mandate.GetBuchName(), status);
    return true;
}

bool KeyRemoval::Used(std::size_t index, bool& used) {
    const TaxKeyFiles::BookingUse& use = uses_.at(index);
    if (use.status != pendra::kOk) return run_.ReadFailed(ctx_.mandate.GetBuchName(), use.status);
    used = use.used;
    return true;
}

bool KeyRemoval::OnAccount(const std::string& id, bool& named) {
    std::string number;
    if (const int read = files_.ReadAccountOn(id, number); read != pendra::kOk)
        return run_.ReadFailed(ctx_.mandate.GetKontoName(), read);
    named = !number.empty();
    if (named) ctx_.log.Line(Format(LoadString(IDS_LOG_KEY_ON_ACCOUNT), id, number));
    return true;
}

bool KeyRemoval::Remove(const PlannedKey& planned, const std::string& id) {
    if (const int removed = files_.Writer().Delete(); removed != pendra::kOk)
        return run_.Fail(Format(LoadString(IDS_LOG_DELETE_FAILED), id, removed));
    ctx_.changeFlag = 1;
    deleted_.push_back(id);
    ctx_.log.Line(Format(LoadString(IDS_LOG_KEY_REMOVED), id));
    bool formula = false;
    if (const int read = files_.ReadFormulaAccount(files_.Current(planned), formula); read != pendra::kOk)
        return run_.ReadFailed(ctx_.mandate.GetKontoName(), read);
    if (formula) formulaKeys_.push_back(id);
    return true;
}
