#include "templates/FileCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/AtomicFile.h"
#include "base/RegularFile.h"

namespace {

using atomicfile::Result;

// Copies the whole of `in` into `out`; a read error is the source's.
Result CopyBytes(int in, int out, const std::string& source, const std::string& tempPath) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return atomicfile::Failed(Result::Side::kSource, errno, "read", source);
        if (got == 0) return {};
        if (Result written = atomicfile::WriteAll(out, {buffer, static_cast<std::size_t>(got)}, tempPath); !written)
            return written;
    }
}

FileCopyResult FromResult(const Result& result) {
    switch (result.side) {
    case Result::Side::kNone:
        return {};
    case Result::Side::kSource:
        return {FileCopyResult::Failure::kSource, result.error};
    case Result::Side::kTarget:
        return {FileCopyResult::Failure::kTarget, result.error};
    }
    return {};
}

}  // namespace

std::string FileCopyResult::Describe(const std::string& source, const std::string& target) const {
    switch (failure) {
    case Failure::kNone:
        return std::string();
    case Failure::kSource:
        return "cannot read " + source + ": " + std::strerror(error);
    case Failure::kTarget:
        return "cannot write " + target + ": " + std::strerror(error);
    }
    return std::string();
}

FileCopyResult MwstCopyFile(const std::string& source, const std::string& target) {
    // Only a regular file is copied: a FIFO or a device in its place would
    // block the copy or never end.
    std::string unused;
    const int in = regularfile::OpenForReading(source, unused);
    if (in < 0) return {FileCopyResult::Failure::kSource, errno ? errno : EINVAL};
    const Result copied = atomicfile::Replace(
        target, [&](int out, const std::string& tempPath) { return CopyBytes(in, out, source, tempPath); });
    ::close(in);
    return FromResult(copied);
}

FileCopyResult MwstCopyIntoNewFile(const std::string& source, const std::string& target) {
    std::string unused;
    const int in = regularfile::OpenForReading(source, unused);
    if (in < 0) return {FileCopyResult::Failure::kSource, errno ? errno : EINVAL};
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return {FileCopyResult::Failure::kTarget, error};
    }
    Result copied = CopyBytes(in, out, source, target);
    ::close(in);
    // Closing can report a deferred write error.
    if (::close(out) != 0 && copied) copied = atomicfile::Failed(Result::Side::kTarget, errno, "close", target);
    if (!copied) ::unlink(target.c_str());
    return FromResult(copied);
}
