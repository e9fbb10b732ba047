#include "pendra/WriteAccess.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "pendra/MandateFiles.h"
#include "pendra/MandateLockFile.h"

namespace pendra {

WriteBlocker FindWriteBlocker(const std::string& dir) {
    for (const std::string& path : {dir, dir + "/" + MandateFiles::kDatabaseFileName,
                                    dir + "/" + MandateLockFile::kFileName}) {
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) return {path, errno};
    }
    struct statvfs fs {};
    if (::statvfs(dir.c_str(), &fs) == 0 && fs.f_bavail == 0) return {dir, ENOSPC};
    return {};
}

}  // namespace pendra
