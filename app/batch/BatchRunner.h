#pragma once
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

class CTheApp;

// mwst-batch: runs one conversion command of the program, unattended, over the
// mandates given on the command line (or found below a search root):
//   mwst-batch COMMAND [--yes] [--on-locked abort|ignore] [--password-file FILE]
//              [--lang de|fr] (--search ROOT | DIR...)
// The mandates are registered as the mandate list registers them, every row is
// selected and the frame's own command runs in batch mode. The conversion log
// goes to `out` exactly as the log view holds it; every message box prints its
// text on `err` and is answered from the options, never by waiting for input.
// Needs a QApplication; creates and ends its own CTheApp.
class BatchRunner {
public:
    enum ExitStatus : int { kDone = 0, kSomeMandatesFailed = 1, kUsageError = 2 };

    int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

private:
    struct Options {
        std::string command;
        unsigned commandId = 0;  // 0: show-keys, which is no frame command
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
    void ShowKeys(CTheApp& app, std::ostream& out);
    int Report(CTheApp& app, std::ostream& err);

    Options options_;
    std::map<std::string, std::string> passwords_;  // canonical directory -> password
    std::set<std::string> opened_;                  // canonical directories the run opened
    bool declined_ = false;
    int registerFailures_ = 0;
};
