#include "forms/vcf/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "base/CException.h"
#include "base/RegularFile.h"
#include "forms/vcf/TempFileName.h"

namespace fileio {
namespace {

std::string Reason() { return std::strerror(errno); }

// The temporary file, named as ours (TempFileName.h); removed unless Keep()
// was called after the rename.
class TempFile {
public:
    explicit TempFile(const std::string& target) {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = tempname::For(target, std::to_string(random() % 1000000000u));
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0 || errno != EEXIST) break;
        }
        if (fd_ < 0) throw CFileException("cannot create a temporary file for " + target + ": " + Reason());
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!kept_) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }
    int Descriptor() const { return fd_; }
    // Closing can report a deferred write error, so its result counts.
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool kept_ = false;
};

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw CFileException("cannot write " + path + ": " + Reason());
        done += static_cast<size_t>(n);
    }
}

// A replaced file keeps its permissions; a new one gets 0666 less the umask.
void KeepPermissions(int fd, const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
    std::string bytes, error;
    if (!regularfile::ReadWhole(path, bytes, error, kMaxFileSize)) throw CFileException(error);
    return bytes;
}

namespace {

// A symbolic link stays a link: the file it points to is what gets replaced
// (next to that file, so the rename stays on its file system).
std::string ThroughLinks(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::error_code error;
    std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
    if (error) throw CFileException("cannot follow the link " + path + ": " + error.message());
    return target.string();
}

}  // namespace

void ReplaceFile(const std::string& linkOrPath, const std::string& bytes) {
    const std::string path = ThroughLinks(linkOrPath);
    TempFile temp(path);
    KeepPermissions(temp.Descriptor(), path);
    WriteAll(temp.Descriptor(), bytes, temp.Path());
    if (::fsync(temp.Descriptor()) != 0) throw CFileException("cannot flush " + temp.Path() + ": " + Reason());
    if (!temp.Close()) throw CFileException("cannot close " + temp.Path() + ": " + Reason());
    if (::rename(temp.Path().c_str(), path.c_str()) != 0)
        throw CFileException("cannot replace " + path + ": " + Reason());
    temp.Keep();
}

}  // namespace fileio
