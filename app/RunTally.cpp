#include "app/RunTally.h"

#include "base/Format.h"
#include "core/Strings.h"
#include "mandate/BatchWalk.h"
#include "res/Resource.h"

void RunTally::Add(const MandateOutcome& outcome, int refusal) {
    switch (outcome.kind) {
    case MandateOutcome::Kind::kDone:
        ++converted;
        return;
    case MandateOutcome::Kind::kUnchanged:
        ++unchanged;
        return;
    case MandateOutcome::Kind::kFailed:
        ++failed;
        return;
    case MandateOutcome::Kind::kSkipped:
        break;
    }
    if (outcome.reasonId == IDS_BATCH_READ_ONLY) {
        ++readOnly;
    } else if (outcome.reasonId != IDS_BATCH_NOT_OPENED) {
        ++refused;
    } else if (refusal == IDS_NOT_EXCLUSIVE || refusal == IDS_HELD_EXCLUSIVELY) {
        ++locked;
    } else if (refusal == IDS_WRONG_VERSION) {
        ++wrongVersion;
    } else {
        ++notOpened;
    }
}

std::string ReasonCounts(std::initializer_list<std::pair<int, int>> counts) {
    std::string reasons;
    for (const auto& [count, id] : counts)
        if (count != 0) reasons += (reasons.empty() ? " (" : ", ") + Format(LoadString(id), count);
    return reasons.empty() ? reasons : reasons + ")";
}

std::string RunTally::SkipReasons() const {
    return ReasonCounts({{locked, IDS_SKIP_LOCKED},
                         {wrongVersion, IDS_SKIP_VERSION},
                         {notOpened, IDS_SKIP_NOT_OPENED},
                         {readOnly, IDS_SKIP_READ_ONLY},
                         {refused, IDS_SKIP_REFUSED}});
}

std::string RunTally::Counts() const {
    if (!dryRun)
        return Format(LoadString(IDS_RUN_COUNTS), converted, unchanged, Skipped(), SkipReasons(), failed);
    // Whatever a dry run did was rolled back: only the mandates it could not check are worth a word.
    std::string counts = Format(LoadString(IDS_RUN_DRY_COUNTS), Checked());
    if (Skipped() + failed > 0) counts += Format(LoadString(IDS_RUN_DRY_PROBLEMS), Skipped(), SkipReasons(), failed);
    return counts;
}

std::string RunTally::EndLogLine(const std::optional<RunStop>& stop) const {
    if (stop) return Format(LoadString(IDS_RUN_STOPPED), stop->done, stop->count, Counts(), stop->next);
    if (dryRun) return Format(LoadString(IDS_RUN_DRY_SUMMARY_LOG), Counts());
    return Format(LoadString(IDS_RUN_SUMMARY_LOG), Reached(), Counts());
}

std::string RunTally::EndStatusText(const std::optional<RunStop>& stop) const {
    if (stop) return Format(LoadString(IDS_RUN_STOPPED_STATUS), stop->done, stop->count, Counts());
    if (dryRun) return Format(LoadString(IDS_RUN_DRY_SUMMARY_STATUS), Counts());
    return Format(LoadString(IDS_RUN_SUMMARY_STATUS), Counts());
}
