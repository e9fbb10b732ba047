#pragma once
#include <string>

// The folders of an installed copy, seen from the folder of its programs
// (`programDir`, with or without a trailing '/'): the data folder holding the
// template sets ("mwst") and the folder of its private libraries
// (libholdwatch.so). Relative to the programs, so that a package unpacked
// under any root finds its own parts.
std::string MwstInstalledDataDir(const std::string& programDir);
std::string MwstInstalledLibraryDir(const std::string& programDir);

// The version of the programs, as --version shows it.
const char* MwstPackageVersion();
