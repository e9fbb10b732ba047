#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

// The lock file beside a mandate database ("pendra.lock"). It carries
//  - the mandate lock: an open-file-description (OFD) byte lock, shared while
//    the mandate is open, exclusive while held by MIniSetHelper. OFD locks
//    belong to one open() of the file, so two handles in one process conflict
//    just like two processes, and the kernel drops them when a process dies;
//  - the change counter: a 64-bit word at the start, bumped after every
//    committed write, so open walks notice changes made by other connections.
//    It is read and written with pread/pwrite under a byte lock, never
//    mapped: a mapping of a file that someone truncates ends the process
//    with SIGBUS, a short read is only a changed counter;
//  - the holder: who holds the mandate exclusively ("user, host, program
//    [pid], since"), written by the holder when it takes the exclusive lock
//    and wiped when it lets go, so a refused open can name it. It is only
//    believed while an exclusive byte lock stands, so a holder that died
//    without wiping it names nobody.
// The lock file can be deleted or replaced behind our back, and a newcomer
// would then lock a new file of its own. So the mandate lock also takes a
// flock(2) lock of the same mode on the mandate directory, which no deletion
// of a file can take away; the byte lock stays the one that converts
// atomically between shared and exclusive.
// Record locks are byte locks far behind the first page (RecordLockSet).
class MandateLockFile {
public:
    static constexpr const char* kFileName = "pendra.lock";
    static constexpr std::size_t kPageSize = 4096;

    // Opens (creating when missing) the lock file of `dir`; nullptr with
    // `status` when it can be neither opened nor created, kLinkOutside when
    // it is a symbolic link (never followed, wherever it leads).
    static std::unique_ptr<MandateLockFile> Open(const std::string& dir, int& status);
    // Opens the lock file of `dir` to read only: never created nor padded, so
    // a reader leaves the folder as it found it. nullptr when there is none,
    // with `status` kLinkOutside when it is a symbolic link.
    static std::unique_ptr<MandateLockFile> OpenExisting(const std::string& dir, int& status);
    // Creates the lock file of a new mandate.
    static int Create(const std::string& dir);
    // Who holds the mandate of `dir` exclusively, as the holder wrote it;
    // empty when nobody does or the holder did not say.
    static std::string ExclusiveHolder(const std::string& dir);
    ~MandateLockFile();
    MandateLockFile(const MandateLockFile&) = delete;
    MandateLockFile& operator=(const MandateLockFile&) = delete;

    bool TryLockShared();
    // Converts the shared lock in place; false (shared lock kept) when anyone
    // else holds the mandate.
    bool TryLockExclusive();
    void ReturnToShared();

    // Three system calls (lock, pread, unlock): callers ask when a snapshot
    // may have gone stale, not on every record.
    std::uint64_t Generation() const;
    // Bumps the counter; the value it now holds.
    std::uint64_t PublishChange();
    // How often Generation read the file.
    std::uint64_t GenerationReads() const { return generationReads_; }

    const std::string& Path() const { return path_; }
    bool Writable() const { return writable_; }

private:
    MandateLockFile(std::string path, int fd, int dirFd, bool writable);
    bool SetMandateLock(short type);
    // False only when another description holds a conflicting directory lock.
    bool SetDirectoryLock(int operation);
    // Writes this process as the holder, or wipes the holder.
    void WriteHolder(bool self);

    std::string path_;
    int fd_;
    int dirFd_;  // the mandate directory, for the flock guard; -1 when it cannot be opened
    bool writable_;
    bool exclusive_ = false;
    mutable std::uint64_t generationReads_ = 0;
};

// The record locks of one table handle, on its own open file description of
// the lock file (so that they conflict with every other handle). A record's
// byte is derived from table name and key by a 64-bit hash.
class RecordLockSet {
public:
    explicit RecordLockSet(std::string lockPath) : lockPath_(std::move(lockPath)) {}
    ~RecordLockSet();
    RecordLockSet(const RecordLockSet&) = delete;
    RecordLockSet& operator=(const RecordLockSet&) = delete;

    static std::uint64_t OffsetOf(const std::string& table, const std::string& key);

    // Counted per offset: a lock taken twice through this set needs two Unlocks.
    int Lock(std::uint64_t offset, bool wait);
    void Unlock(std::uint64_t offset);
    bool Holds(std::uint64_t offset) const { return held_.count(offset) != 0; }

private:
    int Descriptor();

    std::string lockPath_;
    int fd_ = -1;
    std::map<std::uint64_t, int> held_;
};
