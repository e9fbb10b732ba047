#include "forms/vcf/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "base/CException.h"
#include "forms/vcf/TempFileName.h"

namespace fileio {
namespace {

std::string Reason() { return std::strerror(errno); }

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

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
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw CFileException("cannot open " + path + ": " + Reason());
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) throw CFileException("cannot inspect " + path + ": " + Reason());
    if (!S_ISREG(st.st_mode)) throw CFileException(path + " is not a regular file");
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw CFileException("cannot read " + path + ": " + Reason());
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
        if (bytes.size() > kMaxFileSize) throw CFileException(path + " is larger than 512 MiB");
    }
    return bytes;
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
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
