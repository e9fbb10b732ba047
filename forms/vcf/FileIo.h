#pragma once
#include <string>

// Whole-file reads and crash-safe replacement of files. Failures throw
// CFileException naming the path and the system's reason.
namespace fileio {

constexpr size_t kMaxFileSize = 512u << 20;

std::string ReadWholeFile(const std::string& path);

// Writes `bytes` to a temporary file next to `path`, flushes it to disk, then
// renames it over `path`. On any failure the temporary file is removed and an
// existing file under `path` is left as it was.
void ReplaceFile(const std::string& path, const std::string& bytes);

}  // namespace fileio
