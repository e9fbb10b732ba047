#pragma once
#include <optional>

// The command line of mwst-konvertierung: no options of its own but --help
// and --version, besides the options Qt takes for window programs.
// Before the application object exists (no display is needed for either):
// --help or --version anywhere prints the text and gives the exit status 0.
std::optional<int> HandleHelpAndVersion(int argc, char** argv);
// After it, with the arguments Qt has left: anything else is a usage error,
// message on standard error and exit status 2.
std::optional<int> RejectUnknownArguments(int argc, char** argv);
