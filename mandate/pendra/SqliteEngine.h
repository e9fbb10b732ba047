#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mandate/pendra/MandateLockFile.h"
#include "mandate/pendra/SqliteSupport.h"
#include "mandate/pendra/StorageEngine.h"

class SqliteTable;

// The storage of a file mandate: one SQLite database (WAL journal,
// synchronous=NORMAL) and its lock file. One connection per open mandate is
// shared by all its tables; use one mandate from one thread at a time.
//
// Freshness: a walk keeps its statement stepping (and with it an SQLite read
// snapshot). Before every read the engine compares the lock file's change
// counter with the one its snapshot was taken at; when another connection
// committed since, every cursor is reset and re-seeks by key. Writes reset
// every cursor first, so a write never has to upgrade a stale snapshot.
class SqliteEngine final : public StorageEngine {
public:
    static std::unique_ptr<SqliteEngine> Open(const std::string& dir, int& status);
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

    // For SqliteTable and SqliteBatch.
    sqlite3* Db() const { return connection_.Get(); }
    const std::string& LockPath() const { return lockFile_->Path(); }
    void Refresh();
    int RunWrite(const std::function<int()>& body);
    void Register(SqliteTable* table) { tables_.push_back(table); }
    void Unregister(SqliteTable* table);
    void EnterBatch() { ++batchDepth_; }
    void LeaveBatch(bool committed);

private:
    SqliteEngine() = default;
    void ResetAllCursors();
    void PublishCommit();
    // Converts a database of an older format while this process holds the
    // mandate exclusively, may write it and has no table open.
    int UpgradeWhileExclusive();

    std::unique_ptr<MandateLockFile> lockFile_;
    pendra::sqlite::Connection connection_;
    MandateMeta meta_;
    bool writable_ = false;
    bool legacyIds_ = false;  // tables are read through LegacyIdTable
    std::uint64_t seenGeneration_ = 0;
    int batchDepth_ = 0;
    std::vector<SqliteTable*> tables_;
};
