#pragma once
#include <cstddef>
#include <functional>

// Told how far a command's long walk over records is: `done` of `total`,
// on the thread the command runs on.
using ProgressSink = std::function<void(std::size_t done, std::size_t total)>;

// The reports of one walk of `total` records to `sink` (null: nobody
// listens, and nothing is reported): at most one per hundredth of the walk,
// the last at `total`. A record costs one compare while no report is due.
class ProgressSteps {
public:
    ProgressSteps(const ProgressSink* sink, std::size_t total);

    // One more record of the walk is done.
    void Step() {
        if (++done_ >= next_) Report();
    }
    // The walk is over: reports `total` unless that was said already.
    void Finish();

private:
    void Report();

    const ProgressSink* sink_;
    std::size_t total_;
    std::size_t stride_;
    std::size_t done_ = 0;
    std::size_t next_;
};
