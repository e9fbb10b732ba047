#pragma once
#include <string>

// Whole-file reads and crash-safe replacement of files. Failures throw
// CFileException naming the path and the system's reason.
namespace fileio {

constexpr size_t kMaxFileSize = 512u << 20;

std::string ReadWholeFile(const std::string& path);

// Replaces `path` with `bytes` atomically (base/AtomicFile.h). On any failure
// an existing file under `path` is left as it was.
void ReplaceFile(const std::string& path, const std::string& bytes);

}  // namespace fileio
