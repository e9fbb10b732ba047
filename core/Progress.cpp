#include "core/Progress.h"

#include <algorithm>
#include <limits>

namespace {
constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kReportsPerWalk = 100;
}  // namespace

ProgressSteps::ProgressSteps(const ProgressSink* sink, std::size_t total)
    : sink_(sink && *sink ? sink : nullptr),
      total_(total),
      stride_(std::max<std::size_t>(1, (total + kReportsPerWalk - 1) / kReportsPerWalk)),
      next_(sink_ && total > 0 ? stride_ : kNever) {}

void ProgressSteps::Report() {
    // The count was taken before the walk: records that joined meanwhile
    // do not carry the report past its end.
    const std::size_t done = std::min(done_, total_);
    (*sink_)(done, total_);
    next_ = done >= total_ ? kNever : std::min(done_ + stride_, total_);
}

void ProgressSteps::Finish() {
    if (!sink_ || total_ == 0 || next_ == kNever) return;
    done_ = total_;
    Report();
}
