// mwst-batch: the program's conversion commands for scripted runs (see
// BatchRunner.h). No window and no display: it links no Qt Widgets.
#include <unistd.h>

#include <iostream>

#include "base/LocalTimeZone.h"
#include "batch/BatchRunner.h"

int main(int argc, char* argv[]) {
    MwstReadLocalTimeZoneOnce();
    const std::vector<std::string> args(argv + 1, argv + argc);
    BatchRunner runner;
    // The progress inside a mandate only for a terminal: pipes and files get the messages alone.
    return runner.Run(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) ? &std::cerr : nullptr);
}
