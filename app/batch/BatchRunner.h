#pragma once
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

class CTheApp;
class BatchApp;
class BatchSeam;

// mwst-batch: runs one conversion command of the program, unattended, over the
// mandates given on the command line (or found below a search root):
//   mwst-batch COMMAND [--yes] [--on-locked abort|ignore] [--password-file FILE]
//              [--lang de|fr] (--search ROOT | DIR...)
//   mwst-batch --help
// The mandates are registered as the mandate list registers them, under their
// canonical paths (so the log names each by that path, and a mandate given
// twice runs once), every row is selected and the frame's own command runs in
// batch mode. The conversion log goes to `out` exactly as the log view holds
// it; every message box prints its text on `err` and is answered from the
// options, never by waiting for input.
//
// Exit status: 0 done; 1 some mandate failed (a failed write, a command that
// did not complete) or was skipped for an error (not registered, not opened,
// read-only, refused), or a confirmation was not given; 2 usage error.
// Needs a QApplication; creates and ends its own CTheApp.
class BatchRunner {
public:
    enum ExitStatus : int { kDone = 0, kSomeMandatesFailed = 1, kUsageError = 2 };

    int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

private:
    struct Options {
        std::string command;
        unsigned commandId = 0;  // 0: show-keys, which is no frame command
        bool help = false;
        bool yes = false;
        bool abortOnLocked = false;
        std::optional<std::string> passwordFile;
        std::optional<std::string> searchRoot;
        std::optional<std::string> culture;  // from --lang; else the product's culture
        std::vector<std::string> dirs;
    };

    bool ParseArguments(const std::vector<std::string>& args, std::ostream& err);
    bool ReadPasswordFile(std::ostream& err);
    int Register(CTheApp& app, std::ostream& err);
    bool RegisterOne(BatchApp& app, BatchSeam& seam, const std::string& path, std::ostream& err);
    void ShowKeys(CTheApp& app, std::ostream& out);
    int Report(CTheApp& app, std::ostream& err);

    Options options_;
    std::map<std::string, std::string> passwords_;  // canonical directory -> password
    std::set<std::string> checked_;                 // canonical directories put to registration
    std::set<std::string> opened_;                  // canonical directories the run opened
    std::set<std::string> readOnly_;                // of those, the read-only ones
    std::set<std::string> incomplete_;              // canonical directories show-keys could not list
    bool declined_ = false;
    bool running_ = false;  // the command runs (registration is over)
    int errorBoxes_ = 0;    // error boxes shown while the command ran
    int registerFailures_ = 0;
};
