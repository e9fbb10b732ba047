#include "pendra/MandateLockFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "pendra/PendraStatus.h"

namespace {

constexpr off_t kMandateLockOffset = MandateLockFile::kPageSize;
constexpr off_t kCounterOffset = 0;
constexpr off_t kHolderOffset = 512;
constexpr std::size_t kHolderSize = 512;
constexpr std::uint64_t kRecordLockBase = std::uint64_t{1} << 32;
constexpr std::uint64_t kRecordLockSpan = std::uint64_t{1} << 60;

bool SetOfdLock(int fd, short type, off_t offset, bool wait, off_t length = 1) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = length;
    for (;;) {
        if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return true;
        if (errno != EINTR) return false;
    }
}

std::string UserName() {
    std::vector<char> buffer(4096);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return std::to_string(geteuid());
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "local";
    return name;
}

// This process as holdwatch names the sessions of an SQL mandate: user,
// host, program [pid], since (no words, the same in either language).
std::string ThisProcessAsHolder() {
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    char since[32] = {};
    if (localtime_r(&now, &local)) std::strftime(since, sizeof since, "%Y-%m-%d %H:%M:%S", &local);
    std::string text = UserName() + ", " + HostName() + ", " + program_invocation_short_name + " [" +
                       std::to_string(getpid()) + "], " + since;
    text.resize(std::min(text.size(), kHolderSize - 1));
    return text;
}

}  // namespace

int MandateLockFile::Create(const std::string& dir) {
    int fd = ::open((dir + "/" + kFileName).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return pendra::kIoError;
    int status = ftruncate(fd, kPageSize) == 0 ? pendra::kOk : pendra::kIoError;
    ::close(fd);
    return status;
}

std::unique_ptr<MandateLockFile> MandateLockFile::Open(const std::string& dir, int& status) {
    std::string path = dir + "/" + kFileName;
    bool writable = true;
    // Never through a link: the padding and the counter would land wherever it leads.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != ELOOP) {
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0 && errno == ELOOP) {
        status = pendra::kLinkOutside;
        return nullptr;
    }
    struct stat info {};
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) {
        status = pendra::kIoError;
        return nullptr;
    }
    if (writable && info.st_size < static_cast<off_t>(kPageSize)) {
        writable = ftruncate(fd, kPageSize) == 0;
    }
    status = pendra::kOk;
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return std::unique_ptr<MandateLockFile>(new MandateLockFile(path, fd, dirFd, writable));
}

std::unique_ptr<MandateLockFile> MandateLockFile::OpenExisting(const std::string& dir, int& status) {
    std::string path = dir + "/" + kFileName;
    status = pendra::kOk;
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP) status = pendra::kLinkOutside;
    struct stat info {};
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return nullptr;
    }
    if (fd < 0) return nullptr;
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return std::unique_ptr<MandateLockFile>(new MandateLockFile(path, fd, dirFd, false));
}

MandateLockFile::MandateLockFile(std::string path, int fd, int dirFd, bool writable)
    : path_(std::move(path)), fd_(fd), dirFd_(dirFd), writable_(writable) {}

MandateLockFile::~MandateLockFile() {
    if (exclusive_) WriteHolder(false);
    ::close(fd_);  // drops the mandate lock of this description
    if (dirFd_ >= 0) ::close(dirFd_);  // and the directory lock
}

bool MandateLockFile::SetMandateLock(short type) {
    return SetOfdLock(fd_, type, kMandateLockOffset, false);
}

bool MandateLockFile::SetDirectoryLock(int operation) {
    if (dirFd_ < 0) return true;
    for (;;) {
        if (::flock(dirFd_, operation | LOCK_NB) == 0) return true;
        if (errno == EINTR) continue;
        // A file system without flock on folders keeps only the byte lock.
        return errno != EWOULDBLOCK;
    }
}

bool MandateLockFile::TryLockShared() {
    if (!SetMandateLock(F_RDLCK)) return false;
    if (SetDirectoryLock(LOCK_SH)) return true;
    // Someone holds the mandate through another lock file (ours was deleted or replaced).
    SetMandateLock(F_UNLCK);
    return false;
}

bool MandateLockFile::TryLockExclusive() {
    if (!writable_ || !SetMandateLock(F_WRLCK)) return false;
    if (SetDirectoryLock(LOCK_EX)) {
        exclusive_ = true;
        WriteHolder(true);
        return true;
    }
    // flock converts by dropping the old lock first: take the shared one back.
    SetMandateLock(F_RDLCK);
    SetDirectoryLock(LOCK_SH);
    return false;
}

void MandateLockFile::ReturnToShared() {
    if (exclusive_) WriteHolder(false);
    exclusive_ = false;
    SetMandateLock(F_RDLCK);
    SetDirectoryLock(LOCK_SH);
}

void MandateLockFile::WriteHolder(bool self) {
    std::string text = self ? ThisProcessAsHolder() : std::string();
    text.resize(kHolderSize, '\0');
    SetOfdLock(fd_, F_WRLCK, kHolderOffset, true, kHolderSize);
    // A holder that cannot be written names nobody; the lock itself stands.
    [[maybe_unused]] const ssize_t written = ::pwrite(fd_, text.data(), text.size(), kHolderOffset);
    SetOfdLock(fd_, F_UNLCK, kHolderOffset, false, kHolderSize);
}

std::string MandateLockFile::ExclusiveHolder(const std::string& dir) {
    int status = 0;
    const std::unique_ptr<MandateLockFile> file = OpenExisting(dir, status);
    if (!file) return {};
    // Only a write lock on the mandate byte is an exclusive hold.
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kMandateLockOffset;
    probe.l_len = 1;
    if (fcntl(file->fd_, F_OFD_GETLK, &probe) != 0 || probe.l_type != F_WRLCK) return {};
    std::string text(kHolderSize, '\0');
    SetOfdLock(file->fd_, F_RDLCK, kHolderOffset, true, kHolderSize);
    const ssize_t got = ::pread(file->fd_, text.data(), text.size(), kHolderOffset);
    SetOfdLock(file->fd_, F_UNLCK, kHolderOffset, false, kHolderSize);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    text.resize(std::strlen(text.c_str()));
    // Only printable text: the file is anyone's to write.
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
}

std::uint64_t MandateLockFile::Generation() const {
    // Under a read lock, so that a concurrent increment is never seen half
    // written. A truncated file reads short: 0, which differs from what was
    // seen before, so cursors are reset once too often, never once too few.
    ++generationReads_;
    std::uint64_t value = 0;
    SetOfdLock(fd_, F_RDLCK, kCounterOffset, true, sizeof value);
    if (::pread(fd_, &value, sizeof value, kCounterOffset) != static_cast<ssize_t>(sizeof value)) value = 0;
    SetOfdLock(fd_, F_UNLCK, kCounterOffset, false, sizeof value);
    return value;
}

std::uint64_t MandateLockFile::PublishChange() {
    if (!writable_) return Generation();
    std::uint64_t value = 0;
    SetOfdLock(fd_, F_WRLCK, kCounterOffset, true, sizeof value);
    if (::pread(fd_, &value, sizeof value, kCounterOffset) != static_cast<ssize_t>(sizeof value)) value = 0;
    const std::uint64_t next = value + 1;
    // On a failed write the file keeps `value`; readers compare for a change, and the next commit
    // writes again.
    if (::pwrite(fd_, &next, sizeof next, kCounterOffset) == static_cast<ssize_t>(sizeof next)) value = next;
    SetOfdLock(fd_, F_UNLCK, kCounterOffset, false, sizeof value);
    return value;
}

RecordLockSet::~RecordLockSet() {
    if (fd_ >= 0) ::close(fd_);  // releases every record lock of this set
}

std::uint64_t RecordLockSet::OffsetOf(const std::string& table, const std::string& key) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    auto mix = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    for (unsigned char c : table) mix(c);
    mix(0);
    for (unsigned char c : key) mix(c);
    return kRecordLockBase + hash % kRecordLockSpan;
}

int RecordLockSet::Descriptor() {
    if (fd_ < 0) {
        fd_ = ::open(lockPath_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ < 0 && errno != ELOOP) fd_ = ::open(lockPath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    return fd_;
}

int RecordLockSet::Lock(std::uint64_t offset, bool wait) {
    auto it = held_.find(offset);
    if (it != held_.end()) {
        ++it->second;
        return pendra::kOk;
    }
    int fd = Descriptor();
    if (fd < 0) return pendra::kIoError;
    // A read-only descriptor can take only read locks; those still exclude
    // every writer's write lock, which is what a record lock is for.
    short type = (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR ? F_WRLCK : F_RDLCK;
    if (!SetOfdLock(fd, type, static_cast<off_t>(offset), wait)) {
        return errno == EAGAIN || errno == EACCES ? pendra::kRecordLocked : pendra::kIoError;
    }
    held_[offset] = 1;
    return pendra::kOk;
}

void RecordLockSet::Unlock(std::uint64_t offset) {
    auto it = held_.find(offset);
    if (it == held_.end()) return;
    if (--it->second > 0) return;
    held_.erase(it);
    SetOfdLock(fd_, F_UNLCK, static_cast<off_t>(offset), false);
}
