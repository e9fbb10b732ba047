#pragma once
// Runs the real mwst-batch program, as a script would.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/FileModes.h"
#include "tests/support/RunProgram.h"

namespace batchtest {

struct BatchResult {
    int exitCode = -1;
    std::string out, err;
};

struct RunOptions {
    std::string cwd;             // empty: the test's own
    bool obeyFileModes = false;  // even as root (exit 126 when that is refused)
    int errTo = -1;              // a descriptor (a terminal) for standard error instead of `err`
};

// Runs mwst-batch without a display and with a standard input that never ends:
// a run that waited for input would hit the time limit instead of finishing.
inline BatchResult RunBatch(const std::vector<std::string>& args, const RunOptions& options = {}) {
    testsupport::ProgramRun run;
    run.endlessInput = true;
    run.inChild = [&options] {
        unsetenv("QT_QPA_PLATFORM");
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
        if (options.errTo >= 0 && dup2(options.errTo, STDERR_FILENO) < 0) _exit(127);
        return !options.obeyFileModes || testsupport::ObeyFileModesFromNowOn();
    };
    const testsupport::ProgramResult ran =
        testsupport::RunProgramAt(std::string(MWST_TEST_BIN_DIR) + "/mwst-batch", args, run);
    return BatchResult{ran.exitCode, ran.out, ran.err};
}

// A password file as mwst-batch accepts it: readable and writable by its owner only.
inline bool WritePasswordFile(const std::string& path, const std::string& lines) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << lines;
    return chmod(path.c_str(), 0600) == 0;
}

}  // namespace batchtest
