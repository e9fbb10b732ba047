#pragma once
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// What one mandate gave: whether it was converted as asked, and whether the
// user's Abort in the exclusive-access box ends the run there.
struct MandateResult {
    bool ok = true;
    bool aborted = false;
};

// The work on the `index`th mandate of a run, in the process that calls it:
// the mandate's log on `out`, its messages on `err`.
using MandateJob = std::function<MandateResult(std::size_t index, std::ostream& out, std::ostream& err)>;
// Gives a process the job it works with, once; what the job holds lives as long as the job.
using StartWorker = std::function<MandateJob()>;

// The mandates of a run, worked on in their order in this process, or with
// --jobs N (N > 1) N at a time in child processes: each child works on the
// mandates the parent hands it, one at a time, and the parent prints each
// mandate's log and messages together, in the order of the mandates. An
// Abort ends the run: the mandates not begun are named as not opened.
class ProcessPool {
public:
    ProcessPool(int jobs, const std::vector<std::string>& dirs, StartWorker startWorker);
    // Once per pool. Whether every mandate's result was ok.
    bool Run(std::ostream& out, std::ostream& err);
    // Whether a pool of `jobs` over `mandates` works in child processes.
    static bool InChildren(int jobs, std::size_t mandates) { return jobs > 1 && mandates > 1; }

private:
    // A child's answer for one mandate.
    struct Frame {
        std::size_t index = 0;
        MandateResult result;
        std::string out;
        std::string err;
    };
    struct Child {
        pid_t pid = -1;
        int toChild = -1;
        int fromChild = -1;
        std::optional<std::size_t> working;  // the mandate it was given
        std::string buffer;                  // what it wrote that is no whole frame yet
    };

    static std::string FrameText(const Frame& frame);
    static std::optional<Frame> TakeFrame(std::string& buffer);

    bool RunInProcess(std::ostream& out, std::ostream& err);
    bool RunInChildren(std::ostream& out, std::ostream& err);
    // False when its pipes could not be made.
    bool StartChild(Child& child);
    void ServeAsChild(int input, int output);
    void HandOut(Child& child);
    bool TakeAnswers();
    void ReadFrom(Child& child);
    void Lost(Child& child);
    void PrintAnswered(std::ostream& out, std::ostream& err);
    void EndChildren();
    // Whether there were any.
    bool NameNotOpened(std::size_t first, std::ostream& err) const;

    const int jobs_;
    const std::vector<std::string>& dirs_;
    const StartWorker startWorker_;
    std::vector<Child> children_;
    std::map<std::size_t, Frame> answered_;  // by mandate, until printed
    std::size_t nextToSend_ = 0;
    std::size_t nextToPrint_ = 0;
    bool ok_ = true;
    bool aborted_ = false;
};
