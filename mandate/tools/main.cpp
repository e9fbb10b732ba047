#include <iostream>
#include <string>
#include <vector>

#include "mandate/tools/MandantTool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return mandant::RunMandantTool(args, std::cin, std::cout, std::cerr);
}
