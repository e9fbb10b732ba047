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

std::string RunTally::Counts() const {
    std::string reasons;
    const auto add = [&reasons](int count, int id) {
        if (count == 0) return;
        reasons += (reasons.empty() ? " (" : ", ") + Format(LoadString(id), count);
    };
    add(locked, IDS_SKIP_LOCKED);
    add(wrongVersion, IDS_SKIP_VERSION);
    add(notOpened, IDS_SKIP_NOT_OPENED);
    add(readOnly, IDS_SKIP_READ_ONLY);
    add(refused, IDS_SKIP_REFUSED);
    if (!reasons.empty()) reasons += ")";
    return Format(LoadString(IDS_RUN_COUNTS), converted, Skipped(), reasons, failed);
}
