#pragma once
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

struct MandateOutcome;

// Where the user's Stopp ended a run: after `done` of `count` mandates, the
// mandate in `next` not reached.
struct RunStop {
    int done = 0;
    int count = 0;
    std::string next;
};

// " (1 gesperrt, 2 in falscher Version)" from (count, text id) pairs, the
// counts of 0 left out; "" when every count is 0.
std::string ReasonCounts(std::initializer_list<std::pair<int, int>> counts);

// The counts of a run over the list's mandates, for the line at its end:
// converted, unchanged, skipped by reason, failed; a dry run says it checked
// and changed nothing.
struct RunTally {
    bool dryRun = false;
    int converted = 0;
    int unchanged = 0;     // every command found its work done already
    int locked = 0;        // held by another program (Ignore, or held at the test)
    int wrongVersion = 0;
    int notOpened = 0;     // any other reason the mandate did not open
    int readOnly = 0;
    int refused = 0;       // the command refused (the mandate was not ready for it)
    int failed = 0;

    // `refusal` is the text id that told why the mandate did not open
    // (MandateSession::LastRefusal), 0 when it opened.
    void Add(const MandateOutcome& outcome, int refusal);
    int Skipped() const { return locked + wrongVersion + notOpened + readOnly + refused; }
    int Reached() const { return converted + unchanged + Skipped() + failed; }
    // The mandates a dry run opened and ran its commands on: not those it could not open.
    int Checked() const { return converted + unchanged + readOnly + refused + failed; }
    // "3 konvertiert, 1 unverändert, 2 übersprungen (1 gesperrt, 1 in falscher Version), 0 fehlgeschlagen",
    // in a dry run "6 geprüft, nichts geändert".
    std::string Counts() const;
    // The run's last log line and the status bar's text at its end.
    std::string EndLogLine(const std::optional<RunStop>& stop) const;
    std::string EndStatusText(const std::optional<RunStop>& stop) const;

private:
    std::string SkipReasons() const;
};
