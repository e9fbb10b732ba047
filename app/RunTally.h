#pragma once
#include <string>

struct MandateOutcome;

// The counts of a run over the list's mandates, for the line at its end:
// converted, skipped by reason, failed.
struct RunTally {
    int converted = 0;
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
    int Reached() const { return converted + Skipped() + failed; }
    // "3 konvertiert, 2 übersprungen (1 gesperrt, 1 in falscher Version), 0 fehlgeschlagen"
    std::string Counts() const;
};
