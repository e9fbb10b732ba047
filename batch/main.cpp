// mwst-batch: the program's conversion commands for scripted runs (see
// BatchRunner.h). No window and no display: it links no Qt Widgets.
#include <iostream>

#include "batch/BatchRunner.h"

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    BatchRunner runner;
    return runner.Run(args, std::cout, std::cerr);
}
