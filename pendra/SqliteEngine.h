#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pendra/MandateLockFile.h"
#include "pendra/SqliteSupport.h"
#include "pendra/StorageEngine.h"

class SqliteTable;

// The storage of a file mandate: one SQLite database (WAL journal,
// synchronous=NORMAL) and its lock file. One connection per open mandate is
// shared by all its tables; use one mandate from one thread at a time.
//
// Freshness: a walk keeps its statement stepping, and with it an SQLite read
// snapshot that every read of the connection shares. A read that finds no
// statement stepping begins a snapshot of its own, which SQLite makes current.
// A read that would join an open snapshot - a keyed read, the start of a walk
// or a re-seek while a walk of any file is open - first compares the lock
// file's change counter with the value it had before that snapshot began; when
// another connection committed since, every cursor is reset and re-seeks by
// key. The next step of a walk does not read the counter (three system calls,
// more than the step itself): it meets the commits of this process's other
// connections at once, through a counter in memory, and those of other
// processes at the next check, at the latest after kWalkStepsPerCheck steps.
// Writes reset every cursor first, so a write never has to upgrade a stale
// snapshot.
class SqliteEngine final : public StorageEngine {
public:
    static constexpr int kWalkStepsPerCheck = 1024;

    // `readOnly`: the database is only read, as it is: no lock file created,
    // no journal mode set, no -wal or -shm file made where none is (the file
    // alone is read then), no format converted. A format too old to read
    // answers kFormatTooOld with the engine kept for its meta alone.
    static std::unique_ptr<SqliteEngine> Open(const std::string& dir, int& status, bool readOnly = false);
    ~SqliteEngine() override;

    Kind GetKind() const override { return Kind::kFile; }
    const MandateMeta& Meta() const override { return meta_; }
    // A mandate still in an older format (legacyIds_) is read-only until converted.
    bool IsReadOnly() const override { return meta_.readOnlyFlag || !writable_ || legacyIds_; }
    std::unique_ptr<StorageTable> OpenTable(const TableLayout& layout, int& status) override;
    long GetSetting(int section, int key, long def) override;
    int SetSetting(int section, int key, long value) override;
    int ReadSettings(std::vector<MandateSetting>& settings) override;
    int AcquireExclusive() override;
    void ReleaseExclusive() override;
    void ReleaseCaches() override { ResetAllCursors(); }
    std::unique_ptr<StorageBatch> BeginBatch(int& status) override;
    int CheckIntegrity(std::string& detail) override;

    // For SqliteTable and SqliteBatch.
    sqlite3* Db() const { return connection_.Get(); }
    const std::string& LockPath() const { return lockPath_; }
    // Before a read that starts a statement; a table re-seeking resets its own cursor first.
    void BeforeRead();
    // Before the next step of a walk that is open.
    void BeforeWalkStep();
    // How often the change counter was read, for the tests of the above.
    std::uint64_t ChangeCounterReads() const { return lockFile_ ? lockFile_->GenerationReads() : 0; }
    int RunWrite(const std::function<int()>& body);
    void Register(SqliteTable* table) { tables_.push_back(table); }
    void Unregister(SqliteTable* table);
    void EnterBatch() { ++batchDepth_; }
    void LeaveBatch(bool committed);

private:
    SqliteEngine() = default;
    void ResetAllCursors();
    bool HoldsSnapshot() const;
    // Resets every cursor when anyone committed since the open snapshot began.
    void CheckForChanges();
    void PublishCommit();
    // Converts a database of an older format while this process holds the
    // mandate exclusively, may write it and has no table open.
    int UpgradeWhileExclusive();

    // Only a read-only engine may have none: nobody has opened the mandate
    // since it was made, and no commit can happen that it would have to see.
    std::unique_ptr<MandateLockFile> lockFile_;
    std::string lockPath_;
    bool metaOnly_ = false;  // a format too old to read: the meta, no table
    pendra::sqlite::Connection connection_;
    MandateMeta meta_;
    bool writable_ = false;
    bool legacyIds_ = false;  // tables are read through LegacyIdTable
    // Both read before the snapshot of the open statements began (or before
    // any statement was open): a commit after it has changed one of them.
    std::uint64_t seenGeneration_ = 0;
    std::uint64_t seenLocalCommits_ = 0;
    int stepsSinceCheck_ = 0;
    int batchDepth_ = 0;
    // The last verdict of CheckIntegrity and the data it was given on: a run
    // checks at its start and its backup again, and unchanged data need not
    // be read twice.
    struct Verdict {
        std::int64_t dataVersion, ownChanges;
        int status;
        std::string detail;
    };
    std::optional<Verdict> verdict_;
    std::vector<SqliteTable*> tables_;
};
