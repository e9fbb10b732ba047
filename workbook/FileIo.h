#pragma once
#include <string>

// Whole-file reads and crash-safe replacement of files. Failures throw
// CFileException naming the path and the system's reason.
namespace fileio {

// Twice what the parts of a workbook may unpack to (ooxml::ReadLimits): a
// larger file is refused before it is in memory.
constexpr size_t kMaxFileSize = 32u << 20;

std::string ReadWholeFile(const std::string& path);

// Replaces `path` with `bytes` atomically (base/AtomicFile.h). On any failure
// an existing file under `path` is left as it was.
void ReplaceFile(const std::string& path, const std::string& bytes);

}  // namespace fileio
