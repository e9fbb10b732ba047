#include "batch/ProcessPool.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sstream>
#include <utility>

#include "base/Format.h"
#include "core/Strings.h"
#include "res/Resource.h"

namespace {

// Writes all of `text` to `fd`; false when the reader went away.
bool WriteAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ProcessPool::ProcessPool(int jobs, const std::vector<std::string>& dirs, StartWorker startWorker)
    : jobs_(jobs), dirs_(dirs), startWorker_(std::move(startWorker)) {}

bool ProcessPool::Run(std::ostream& out, std::ostream& err) {
    return InChildren(jobs_, dirs_.size()) ? RunInChildren(out, err) : RunInProcess(out, err);
}

// "INDEX OK ABORTED OUTLEN ERRLEN\n", then the mandate's log and its messages.
std::string ProcessPool::FrameText(const Frame& frame) {
    return std::to_string(frame.index) + " " + (frame.result.ok ? "1" : "0") + " " +
           (frame.result.aborted ? "1" : "0") + " " + std::to_string(frame.out.size()) + " " +
           std::to_string(frame.err.size()) + "\n" + frame.out + frame.err;
}

// Takes a complete frame off the front of `buffer`, if there is one.
std::optional<ProcessPool::Frame> ProcessPool::TakeFrame(std::string& buffer) {
    const std::size_t end = buffer.find('\n');
    if (end == std::string::npos) return std::nullopt;
    std::istringstream header(buffer.substr(0, end));
    Frame frame;
    int ok = 0, aborted = 0;
    std::size_t outSize = 0, errSize = 0;
    header >> frame.index >> ok >> aborted >> outSize >> errSize;
    if (buffer.size() < end + 1 + outSize + errSize) return std::nullopt;
    frame.result = {ok != 0, aborted != 0};
    frame.out = buffer.substr(end + 1, outSize);
    frame.err = buffer.substr(end + 1 + outSize, errSize);
    buffer.erase(0, end + 1 + outSize + errSize);
    return frame;
}

bool ProcessPool::RunInProcess(std::ostream& out, std::ostream& err) {
    const MandateJob job = startWorker_();
    std::size_t next = 0;
    for (; next < dirs_.size(); ++next) {
        const MandateResult result = job(next, out, err);
        if (!result.ok) ok_ = false;
        if (result.aborted) break;
    }
    NameNotOpened(next + 1, err);
    return ok_;
}

bool ProcessPool::RunInChildren(std::ostream& out, std::ostream& err) {
    // Whatever waits in a buffer is printed once, not by every child again.
    out.flush();
    err.flush();
    std::fflush(nullptr);
    children_.resize(std::min<std::size_t>(static_cast<std::size_t>(jobs_), dirs_.size()));
    for (Child& child : children_)
        if (!StartChild(child)) return RunInProcess(out, err);
    for (Child& child : children_) HandOut(child);
    while (TakeAnswers()) PrintAnswered(out, err);
    PrintAnswered(out, err);
    EndChildren();
    if (NameNotOpened(nextToSend_, err)) ok_ = false;
    return ok_;
}

bool ProcessPool::StartChild(Child& child) {
    int down[2], up[2];
    if (::pipe(down) != 0 || ::pipe(up) != 0) return false;
    child.pid = ::fork();
    if (child.pid == 0) {
        ::close(down[1]);
        ::close(up[0]);
        for (Child& other : children_)
            if (&other != &child && other.pid > 0) {
                ::close(other.toChild);
                ::close(other.fromChild);
            }
        ServeAsChild(down[0], up[1]);
        ::_exit(0);
    }
    ::close(down[0]);
    ::close(up[1]);
    child.toChild = down[1];
    child.fromChild = up[0];
    return true;
}

// The mandates the parent hands out, one index per line, each answered in a
// frame, until the input ends; the job (and what it holds) goes before the
// child exits.
void ProcessPool::ServeAsChild(int input, int output) {
    const MandateJob job = startWorker_();
    FILE* lines = ::fdopen(input, "r");
    char line[32];
    while (lines && std::fgets(line, sizeof line, lines)) {
        Frame frame;
        frame.index = std::stoul(line);
        std::ostringstream mandateOut, mandateErr;
        frame.result = job(frame.index, mandateOut, mandateErr);
        frame.out = mandateOut.str();
        frame.err = mandateErr.str();
        if (!WriteAll(output, FrameText(frame))) break;
    }
}

// The next mandate, unless the run was aborted or all are given out: then
// the child's input ends, and with it the child.
void ProcessPool::HandOut(Child& child) {
    child.working.reset();
    if (!aborted_ && nextToSend_ < dirs_.size() && WriteAll(child.toChild, std::to_string(nextToSend_) + "\n")) {
        child.working = nextToSend_++;
        return;
    }
    Close(child.toChild);
}

// Waits for the working children and takes what they wrote; false when none
// works any more.
bool ProcessPool::TakeAnswers() {
    std::vector<pollfd> fds;
    std::vector<Child*> polled;
    for (Child& child : children_)
        if (child.working) {
            fds.push_back({child.fromChild, POLLIN, 0});
            polled.push_back(&child);
        }
    if (fds.empty()) return false;
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return false;
    for (std::size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents) ReadFrom(*polled[i]);
    return true;
}

void ProcessPool::ReadFrom(Child& child) {
    char chunk[65536];
    const ssize_t n = ::read(child.fromChild, chunk, sizeof chunk);
    if (n <= 0) return Lost(child);
    child.buffer.append(chunk, static_cast<std::size_t>(n));
    while (std::optional<Frame> frame = TakeFrame(child.buffer)) {
        if (!frame->result.ok) ok_ = false;
        if (frame->result.aborted) aborted_ = true;
        answered_[frame->index] = std::move(*frame);
        HandOut(child);
    }
}

// The child ended without answering: its mandate did not complete.
void ProcessPool::Lost(Child& child) {
    const std::size_t lost = *child.working;
    answered_[lost] = {lost, {false, false}, {}, Format(LoadString(IDS_BATCH_NOT_COMPLETED), dirs_[lost]) + "\n"};
    ok_ = false;
    child.working.reset();
    Close(child.toChild);
}

// The answers that are next in the order of the mandates.
void ProcessPool::PrintAnswered(std::ostream& out, std::ostream& err) {
    for (auto ready = answered_.find(nextToPrint_); ready != answered_.end();
         ready = answered_.find(++nextToPrint_)) {
        out << ready->second.out << std::flush;
        err << ready->second.err << std::flush;
        answered_.erase(ready);
    }
}

void ProcessPool::EndChildren() {
    for (Child& child : children_) {
        Close(child.toChild);
        ::close(child.fromChild);
        int childStatus = 0;
        ::waitpid(child.pid, &childStatus, 0);
    }
}

// The mandates from `first` on, which an Abort left unopened.
bool ProcessPool::NameNotOpened(std::size_t first, std::ostream& err) const {
    for (std::size_t rest = first; rest < dirs_.size(); ++rest)
        err << Format(LoadString(IDS_BATCH_NOT_OPENED), dirs_[rest]) << "\n";
    return first < dirs_.size();
}
