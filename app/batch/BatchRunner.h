#pragma once
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/batch/StatusReport.h"
#include "commands/ConversionCommands.h"

class MandateSession;
class BatchSeam;
struct MandateResult;

// mwst-batch: runs the program's conversion commands, unattended and without
// a window, over the mandates given on the command line (or found below a
// search root):
//   mwst-batch COMMAND[,COMMAND...] [--dry-run] [--yes] [--on-locked abort|ignore]
//              [--password-file FILE] [--lang de|fr] [--jobs N]
//              (--search ROOT | DIR...)
//   mwst-batch status [--format text|csv|json] [--password-file FILE] [--jobs N]
//              (--search ROOT | DIR...)
//   mwst-batch backups DIR
//   mwst-batch restore DIR [--backup ID] [--on-locked ...] [--password-file FILE]
//   mwst-batch --help | --version
// Options stand anywhere (Qt's parser, cli/): `--opt value` or `--opt=value`,
// and `--` ends them. Arguments are bytes and pass through unchanged.
// Each mandate is taken under its canonical path (so the log names it by
// that path, and a mandate given twice runs once), tested as the mandate list
// tests it (data version, password from the password file), opened once and
// given every command in order, the first that does not complete ending its
// work. The conversion log goes to `out` as the commands write it; every
// message box prints its text on `err` and is answered from the options,
// never by waiting for input. With --jobs N, N mandates are converted at a
// time in child processes, each mandate's log and messages kept together and
// printed in the order of the mandates. Each mandate gets a backup before the
// first change of the run; --dry-run changes nothing and takes none. `backups`
// lists a mandate's backups, `restore` puts one back (backup).
// `status` prints where each mandate stands (StatusReport.h), reading only:
// no exclusive access, no backup, no change.
//
// Exit status: 0 done (status: every mandate read); 1 some mandate failed (a failed write, a command that
// did not complete) or was skipped for an error (not registered, not opened,
// read-only, refused), or a confirmation was not given; 2 usage error.
class BatchRunner {
public:
    enum ExitStatus : int { kDone = 0, kSomeMandatesFailed = 1, kUsageError = 2 };

    int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

private:
    enum class Mode { kCommands, kStatus, kBackups, kRestore };

    struct Options {
        Mode mode = Mode::kCommands;
        StatusFormat statusFormat = StatusFormat::kText;
        bool dryRun = false;
        std::optional<std::string> backupId;  // restore: the backup to put back (else the newest)
        std::vector<std::string> commandNames;
        std::vector<Command> commands;  // without show-keys
        bool showKeys = false;
        bool help = false;
        bool version = false;
        bool yes = false;
        bool abortOnLocked = false;
        int jobs = 1;
        std::optional<std::string> passwordFile;
        std::optional<std::string> searchRoot;
        std::optional<std::string> culture;  // from --lang; else the product's culture
        std::vector<std::string> dirs;
    };

    bool ParseArguments(const std::vector<std::string>& args, std::ostream& err);
    bool ParseCommands(const std::string& list, std::ostream& err);
    bool ReadPasswordFile(std::ostream& err);
    // The mandates to work on, canonical and each once, in the order met.
    std::vector<std::string> Mandates(std::ostream& err, int& status);
    bool Confirmed(BatchSeam& seam);
    // One mandate from registration to the end of its commands.
    MandateResult Convert(MandateSession& session, BatchSeam& seam, const std::string& dir, std::ostream& out,
                          std::ostream& err);
    // The `index`th mandate of the run, converted or its status read.
    MandateResult Work(MandateSession& session, BatchSeam& seam, const std::vector<std::string>& dirs,
                       std::size_t index, std::ostream& out, std::ostream& err);
    MandateResult PrintStatus(BatchSeam& seam, const std::string& dir, std::size_t index, std::ostream& out,
                              std::ostream& err);
    // `backups DIR` and `restore DIR`.
    int ListMandateBackups(std::ostream& out, std::ostream& err);
    int RestoreMandate(BatchSeam& seam, std::ostream& out, std::ostream& err);
    int RunInProcess(const std::vector<std::string>& dirs, std::ostream& out, std::ostream& err);
    int RunInChildren(const std::vector<std::string>& dirs, std::ostream& out, std::ostream& err);

    Options options_;
    std::map<std::string, std::string> passwords_;  // canonical directory -> password
};
