#pragma once
// A file's bytes read and written whole, for comparing files before and after.
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

// The file's bytes; empty when it cannot be read.
inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace testsupport
