#include "base/InstallLayout.h"

// Set by the build from the install directories (cmake/MwstInstallDirs.cmake).
#ifndef MWST_DATADIR_FROM_BINDIR
#error "MWST_DATADIR_FROM_BINDIR must be defined by the build"
#endif

namespace {

std::string Join(const std::string& dir, const char* relative) {
    if (dir.empty()) return relative;
    return dir.back() == '/' ? dir + relative : dir + '/' + relative;
}

}  // namespace

std::string MwstInstalledDataDir(const std::string& programDir) { return Join(programDir, MWST_DATADIR_FROM_BINDIR); }

std::string MwstInstalledLibraryDir(const std::string& programDir) {
    return Join(programDir, MWST_PKGLIBDIR_FROM_BINDIR);
}

const char* MwstPackageVersion() { return MWST_PACKAGE_VERSION; }
