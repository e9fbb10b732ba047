#pragma once
#include <string>

class LogSink;

// The mandates a search or a run over the list left out because they did
// not pass their checks or did not open: one log line each with the folder
// and the reason, and the counts by reason for the search's end line (a
// run's end line counts them in RunTally).
class LeftOutMandates {
public:
    // `refusal` is MandateSession::LastRefusal(); 0 (no mandate there) leaves nothing out.
    void Add(LogSink& log, const std::string& dir, int refusal);
    int Count() const { return locked_ + wrongVersion_ + password_ + notOpened_; }
    // " (1 gesperrt, 2 in falscher Version)", or "" when none was left out.
    std::string Reasons() const;

private:
    int locked_ = 0;
    int wrongVersion_ = 0;
    int password_ = 0;
    int notOpened_ = 0;
};
