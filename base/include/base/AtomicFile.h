#pragma once
#include <functional>
#include <string>
#include <string_view>

// The one way files are replaced: the new content goes into a temporary file
// beside the target (TempFileName.h), is flushed to disk and then renamed over
// the target. A reader, a crash or a full disk sees the old file or the whole
// new one, never half of it. A replaced file keeps its permissions; a target
// that is a symbolic link stays one and the file it points to is replaced.
namespace atomicfile {

// How a replacement ended. A failure names the file it concerns and the
// system's errno; `kSource` is for failures of the caller's own reading.
struct Result {
    enum class Side { kNone, kSource, kTarget };
    Side side = Side::kNone;
    int error = 0;
    std::string what;  // "write", "flush", "replace", "read" ...
    std::string path;

    explicit operator bool() const { return side == Side::kNone; }
    // "cannot write /m/MWSTFORM.VTS: No space left on device" (English, for logs and tools).
    std::string Describe() const;
};

Result Failed(Result::Side side, int error, std::string what, std::string path);

// Writes all of `bytes` to `fd`; the failure names `path`.
Result WriteAll(int fd, std::string_view bytes, const std::string& path);

// Replaces `path` with what `fill` writes into the descriptor it is given.
Result Replace(const std::string& path, const std::function<Result(int fd, const std::string& tempPath)>& fill);

// Replaces `path` with `bytes`.
Result Replace(const std::string& path, std::string_view bytes);

// Makes the entries of the folder `dir` durable: a file created, renamed or
// removed in it survives a power cut once this succeeded. A replacement is
// durable after the sync of its target's folder; files replaced together in
// one folder need one sync after the last of them.
Result SyncFolder(const std::string& dir);

}  // namespace atomicfile
