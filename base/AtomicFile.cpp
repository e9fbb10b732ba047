#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "base/TempFileName.h"

namespace atomicfile {
namespace {

// The temporary file beside the target, removed unless it was renamed.
class TempFile {
public:
    explicit TempFile(const std::string& target) {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = tempname::For(target, std::to_string(random() % 1000000000u));
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0 || errno != EEXIST) break;
        }
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!renamed_) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Created() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    int Descriptor() const { return fd_; }
    // Closing can report a deferred write error, so its result counts.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    bool RenameOver(const std::string& target) {
        renamed_ = ::rename(path_.c_str(), target.c_str()) == 0;
        return renamed_;
    }

private:
    std::string path_;
    int fd_ = -1;
    bool renamed_ = false;
};

// A symbolic link stays a link: the file it points to is what gets replaced
// (beside that file, so the rename stays on its file system). Only a regular
// file is ever replaced: a FIFO, a device or a folder, also behind a link,
// is refused.
Result ThroughLinks(const std::string& path, std::string& target) {
    target = path;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return {};
    if (S_ISLNK(st.st_mode)) {
        std::error_code error;
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
        if (error) return Failed(Result::Side::kTarget, error.value(), "follow the link", path);
        target = resolved.string();
        if (::stat(target.c_str(), &st) != 0) return {};
    }
    if (!S_ISREG(st.st_mode)) return Failed(Result::Side::kTarget, EINVAL, "replace what is no regular file,", path);
    return {};
}

// The permissions of the file replaced; a new file keeps 0666 less the umask.
void KeepPermissions(int fd, const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
}

}  // namespace

std::string Result::Describe() const {
    if (side == Side::kNone) return std::string();
    return "cannot " + what + " " + path + ": " + std::strerror(error);
}

Result Failed(Result::Side side, int error, std::string what, std::string path) {
    return Result{side, error ? error : EIO, std::move(what), std::move(path)};
}

Result WriteAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return Failed(Result::Side::kTarget, errno, "write", path);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

Result Replace(const std::string& linkOrPath, const std::function<Result(int fd, const std::string& tempPath)>& fill) {
    std::string path;
    if (Result followed = ThroughLinks(linkOrPath, path); !followed) return followed;
    TempFile temp(path);
    if (!temp.Created()) return Failed(Result::Side::kTarget, errno, "create a temporary file for", path);
    KeepPermissions(temp.Descriptor(), path);
    if (Result filled = fill(temp.Descriptor(), temp.Path()); !filled) return filled;
    if (::fsync(temp.Descriptor()) != 0) return Failed(Result::Side::kTarget, errno, "flush", temp.Path());
    if (!temp.Close()) return Failed(Result::Side::kTarget, errno, "close", temp.Path());
    if (!temp.RenameOver(path)) return Failed(Result::Side::kTarget, errno, "replace", path);
    return {};
}

Result Replace(const std::string& path, std::string_view bytes) {
    return Replace(path, [bytes](int fd, const std::string& tempPath) { return WriteAll(fd, bytes, tempPath); });
}

Result SyncFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Failed(Result::Side::kTarget, errno, "open the folder", dir);
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (rc != 0) return Failed(Result::Side::kTarget, error, "flush the folder", dir);
    return {};
}

}  // namespace atomicfile
