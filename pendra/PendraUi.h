#pragma once
#include <optional>
#include <string>

// The data library's window to the user: its error box, its password prompt and
// its mandate chooser. Whoever asks the library to show or ask something passes
// the one to use: the program's routes to the framework's message seam, tests
// pass a scripted one, and Silent() writes messages to standard error and
// answers every prompt "cancel".
class PendraUi {
public:
    virtual ~PendraUi() = default;
    // Shows a message of the library (error box): text and caption, OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // Masked password prompt; nullopt when the user cancels.
    virtual std::optional<std::string> AskPassword(const std::string& prompt,
                                                   const std::string& caption) = 0;
    // Lets the user pick a mandate directory, starting at `proposal`; the
    // implementation accepts only directories for which `Mandate::PathContainsMandate`
    // holds. nullopt when cancelled.
    virtual std::optional<std::string> SelectMandateDirectory(const std::string& proposal) = 0;

    static PendraUi& Silent();
};
