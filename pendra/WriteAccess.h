#pragma once
#include <string>

// Why a file mandate cannot be written, for messages that name the cause
// instead of a status number.
namespace pendra {

struct WriteBlocker {
    std::string path;  // the folder or file concerned
    int error = 0;     // errno; 0 when nothing blocks
    explicit operator bool() const { return error != 0; }
};

// The first of the mandate folder `dir`, its database and its lock file that
// this process may not write, or the folder when its file system has no
// space left; nothing when all can be written.
WriteBlocker FindWriteBlocker(const std::string& dir);

}  // namespace pendra
