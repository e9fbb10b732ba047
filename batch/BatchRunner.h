#pragma once
#include <ostream>
#include <string>
#include <vector>

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
// Run reads the line (BatchOptions) and the password file (PasswordFile),
// then hands the run (BatchRun, with ProcessPool for --jobs) the seam that
// answers its boxes and prompts (BatchSeam).
class BatchRunner {
public:
    enum ExitStatus : int { kDone = 0, kSomeMandatesFailed = 1, kUsageError = 2 };

    // `progress`: where a command's walk over a mandate's records is shown
    // as it goes, one line written over and over (a terminal); null: nowhere.
    int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            std::ostream* progress = nullptr);
};
