#include "app/LeftOutMandates.h"

#include "app/RunTally.h"

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
    return ReasonCounts({{locked_, IDS_SKIP_LOCKED},
                         {wrongVersion_, IDS_SKIP_VERSION},
                         {password_, IDS_SKIP_PASSWORD},
                         {notOpened_, IDS_SKIP_NOT_OPENED}});
}
