#include "app/LeftOutMandates.h"

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "mandate/MandateSession.h"
#include "res/Resource.h"

void LeftOutMandates::Add(LogSink& log, const std::string& dir, int refusal) {
    std::string reason;
    switch (refusal) {
        case 0: return;
        case IDS_NOT_EXCLUSIVE:
        case IDS_HELD_EXCLUSIVELY:
            ++locked_;
            reason = LoadString(IDS_LEFT_OUT_LOCKED);
            break;
        case IDS_WRONG_VERSION:
            ++wrongVersion_;
            reason = Format(LoadString(IDS_LEFT_OUT_VERSION), MandateSession::kRequiredVersionText);
            break;
        case IDS_NO_PASSWORD:
            ++password_;
            reason = LoadString(IDS_LEFT_OUT_PASSWORD);
            break;
        default:
            ++notOpened_;
            reason = LoadString(IDS_LEFT_OUT_NOT_OPENED);
            break;
    }
    log.Line(Format(LoadString(IDS_LOG_LEFT_OUT), dir, reason));
}

std::string LeftOutMandates::Reasons() const {
    std::string reasons;
    const auto add = [&reasons](int count, int id) {
        if (count == 0) return;
        reasons += (reasons.empty() ? " (" : ", ") + Format(LoadString(id), count);
    };
    add(locked_, IDS_SKIP_LOCKED);
    add(wrongVersion_, IDS_SKIP_VERSION);
    add(password_, IDS_SKIP_PASSWORD);
    add(notOpened_, IDS_SKIP_NOT_OPENED);
    return reasons.empty() ? reasons : reasons + ")";
}
