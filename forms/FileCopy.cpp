#include "forms/FileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "forms/vcf/TempFileName.h"

namespace {

// A file descriptor closed on every way out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    bool Close() {
        if (fd_ < 0) return true;
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};

FileCopyResult Failed(FileCopyResult::Failure side, int error) { return {side, error}; }

// The permissions a new file would get, or those of the target it replaces.
mode_t TargetMode(const std::string& target) {
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool WriteAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// Copies the whole of `in` into `out`; the failing side on error.
FileCopyResult CopyBytes(int in, int out) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Failed(FileCopyResult::Failure::kSource, errno);
        if (got == 0) return {};
        if (!WriteAll(out, buffer, got)) return Failed(FileCopyResult::Failure::kTarget, errno ? errno : EIO);
    }
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
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return Failed(FileCopyResult::Failure::kSource, errno);
    struct stat st;
    if (::fstat(in.Get(), &st) != 0) return Failed(FileCopyResult::Failure::kSource, errno);
    if (S_ISDIR(st.st_mode)) return Failed(FileCopyResult::Failure::kSource, EISDIR);

    std::string temp = tempname::For(target, "XXXXXX");
    Fd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (out.Get() < 0) return Failed(FileCopyResult::Failure::kTarget, errno);
    FileCopyResult result = CopyBytes(in.Get(), out.Get());
    if (result && ::fchmod(out.Get(), TargetMode(target)) != 0) result = Failed(FileCopyResult::Failure::kTarget, errno);
    if (result && ::fsync(out.Get()) != 0) result = Failed(FileCopyResult::Failure::kTarget, errno);
    if (!out.Close() && result) result = Failed(FileCopyResult::Failure::kTarget, errno);
    if (result && ::rename(temp.c_str(), target.c_str()) != 0) result = Failed(FileCopyResult::Failure::kTarget, errno);
    if (!result) ::unlink(temp.c_str());
    return result;
}
