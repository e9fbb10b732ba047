#include "workbook/FileIo.h"

#include "base/AtomicFile.h"
#include "base/CException.h"
#include "base/RegularFile.h"

namespace fileio {

std::string ReadWholeFile(const std::string& path) {
    std::string bytes, error;
    if (!regularfile::ReadWhole(path, bytes, error, kMaxFileSize)) throw CFileException(error);
    return bytes;
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
    if (const atomicfile::Result replaced = atomicfile::Replace(path, bytes); !replaced)
        throw CFileException(replaced.Describe());
}

}  // namespace fileio
