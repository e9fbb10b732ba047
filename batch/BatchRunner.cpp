#include "batch/BatchRunner.h"

#include "batch/BatchOptions.h"
#include "batch/BatchRun.h"
#include "batch/BatchSeam.h"
#include "batch/PasswordFile.h"
#include "cli/CommandLine.h"

static_assert(BatchRunner::kUsageError == mwstcli::kExitUsage && BatchRunner::kDone == mwstcli::kExitOk);

int BatchRunner::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     std::ostream* progress) {
    BatchOptions options;
    if (!options.Parse(args, err)) return kUsageError;
    if (options.help) {
        BatchOptions::PrintUsage(out);
        return kDone;
    }
    if (options.version) {
        out << mwstcli::VersionLine(BatchOptions::kProgram);
        return kDone;
    }
    PasswordFile passwords;
    if (options.passwordFile && !passwords.Read(*options.passwordFile, err)) return kUsageError;

    BatchSeam seam(options, passwords, err);
    return BatchRun(options, seam, progress).Run(out, err);
}
