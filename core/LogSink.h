#pragma once
#include <functional>
#include <string>
#include <utility>

// Where the conversion commands write their log: the log view of the window,
// standard output of mwst-batch, a string in a test. Lines arrive whole, with
// the "\r\n" the log texts carry. A line that reports a failure is counted,
// so that a front end can tell a run with failures from a clean one.
class LogSink {
public:
    virtual ~LogSink() = default;

    virtual void Line(const std::string& line) = 0;
    void Failure(const std::string& line) {
        CountFailure();
        Line(line);
    }
    // A failure told elsewhere (in a box): counted, not logged.
    void CountFailure() { ++failures_; }
    int Failures() const { return failures_; }
    void ResetFailures() { failures_ = 0; }

private:
    int failures_ = 0;
};

// Keeps the lines in one string; an optional listener sees each line too.
class StringLogSink : public LogSink {
public:
    void Line(const std::string& line) override {
        text_ += line;
        if (listener) listener(line);
    }
    const std::string& Text() const { return text_; }
    void Clear() { text_.clear(); }

    std::function<void(const std::string&)> listener;

private:
    std::string text_;
};

// Hands each line on as it comes and keeps nothing.
class ForwardingLogSink : public LogSink {
public:
    explicit ForwardingLogSink(std::function<void(const std::string&)> forward) : forward_(std::move(forward)) {}
    void Line(const std::string& line) override { forward_(line); }

private:
    std::function<void(const std::string&)> forward_;
};

// Hands each line on to `target` with every mention of the folder `from`
// written as `to`: the commands' work in a scratch or staging folder is
// logged under the mandate's own names. Failures are counted here; the owner
// hands them on (CountFailure) when the work is over.
class RenamingLogSink : public LogSink {
public:
    RenamingLogSink(LogSink& target, std::string from, std::string to)
        : target_(target), from_(std::move(from)), to_(std::move(to)) {}
    void Line(const std::string& line) override {
        std::string shown = line;
        for (std::size_t at = shown.find(from_); at != std::string::npos; at = shown.find(from_, at + to_.size()))
            shown.replace(at, from_.size(), to_);
        target_.Line(shown);
    }

private:
    LogSink& target_;
    std::string from_;
    std::string to_;
};
