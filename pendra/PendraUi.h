#pragma once
#include <optional>
#include <string>

// The data library's window to the user: its error box, its password prompt and
// its mandate chooser. The program installs an implementation that routes to the
// framework's message seam; tests install a scripted one. Without one, messages
// go to standard error and prompts are answered "cancel".
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

    static void Install(PendraUi* ui);  // not owned; nullptr restores the default
    static PendraUi& Current();
};
