#include "pendra/SqliteEngine.h"

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "pendra/LegacyIdTable.h"
#include "pendra/PendraStatus.h"
#include "pendra/SqliteSchema.h"
#include "pendra/SqliteTable.h"

using pendra::sqlite::Exec;
using pendra::sqlite::Statement;
using pendra::sqlite::StatusFrom;

namespace {

constexpr int kBusyTimeoutMs = 5000;

// Commits of every file mandate connection of this process, counted after the
// lock file's counter is bumped: a walk compares it at each step for nothing,
// so another connection of the same process is met at once. (Commits of other
// mandates count too; they cost one check of the lock file, no more.)
std::atomic<std::uint64_t> localCommits{0};

// The write transaction of a batch; its writes join it as savepoints.
class SqliteBatch final : public StorageBatch {
public:
    explicit SqliteBatch(SqliteEngine& engine)
        : engine_(engine), transaction_(engine.Db(), false) {
        if (transaction_.BeginStatus() == pendra::kOk) engine_.EnterBatch();
    }
    ~SqliteBatch() override {
        if (transaction_.BeginStatus() == pendra::kOk) engine_.LeaveBatch(committed_);
    }
    int BeginStatus() const { return transaction_.BeginStatus(); }
    int Commit() override {
        if (committed_) return pendra::kOk;
        int status = transaction_.Commit();
        committed_ = status == pendra::kOk;
        return status;
    }

private:
    SqliteEngine& engine_;
    pendra::sqlite::Transaction transaction_;
    bool committed_ = false;
};

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace


std::unique_ptr<SqliteEngine> SqliteEngine::Open(const std::string& dir, int& status, bool readOnly) {
    if (!IsDirectory(dir)) {
        status = pendra::kFileNotFound;
        return nullptr;
    }
    std::string dbPath = pendra::schema::DatabasePath(dir);
    status = pendra::schema::CheckHeader(dbPath);
    if (status == pendra::kOk && !pendra::schema::DatabasePathFits(dir)) status = pendra::kPathTooLong;
    // SQLite follows links to its journals, and even a reader may write the -shm file.
    if (status == pendra::kOk && pendra::schema::JournalLeadsOutside(dir)) status = pendra::kLinkOutside;
    if (status != pendra::kOk) return nullptr;

    std::unique_ptr<SqliteEngine> engine(new SqliteEngine());
    engine->lockPath_ = dir + "/" + MandateLockFile::kFileName;
    if (readOnly) {
        engine->lockFile_ = MandateLockFile::OpenExisting(dir, status);
        if (status != pendra::kOk) return nullptr;
    } else {
        engine->lockFile_ = MandateLockFile::Open(dir, status);
        if (!engine->lockFile_) return nullptr;
    }
    // A reader too takes the shared lock: a mandate another program holds
    // exclusively may be half way through a change.
    if (engine->lockFile_ && !engine->lockFile_->TryLockShared()) {
        status = pendra::kMandateHeldExclusively;
        return nullptr;
    }

    // WAL needs the -wal and -shm files beside the database.
    // The effective ids and capabilities decide, as for the open that follows.
    engine->writable_ = !readOnly && faccessat(AT_FDCWD, dbPath.c_str(), W_OK, AT_EACCESS) == 0 &&
                        faccessat(AT_FDCWD, dir.c_str(), W_OK, AT_EACCESS) == 0;
    int flags = (engine->writable_ ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) |
                SQLITE_OPEN_NOMUTEX;
    // A reader without a -wal file to take into account reads the file alone:
    // SQLite would otherwise make the -wal and -shm files of a WAL database.
    const bool fileAlone = readOnly && !pendra::sqlite::Exists(dbPath + "-wal");
    int rc = fileAlone ? engine->connection_.Open(pendra::sqlite::ImmutableUri(dbPath), flags | SQLITE_OPEN_URI)
                       : engine->connection_.Open(dbPath, flags);
    if (rc != SQLITE_OK) {
        status = StatusFrom(rc);
        return nullptr;
    }
    sqlite3* db = engine->Db();
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (engine->writable_) {
        Exec(db, "PRAGMA journal_mode=WAL");
        Exec(db, "PRAGMA synchronous=NORMAL");
    }
    auto readMeta = [&engine](sqlite3* opened) {
        return pendra::schema::ReadMeta(opened, engine->meta_);
    };
    status = engine->writable_ || fileAlone ? readMeta(db)
                                            : ReadEvenWithoutShm(engine->connection_, dbPath, flags, readMeta);
    if (readOnly && status == pendra::kFormatTooOld) {
        engine->metaOnly_ = true;
        return engine;
    }
    if (status != pendra::kOk) return nullptr;
    engine->seenLocalCommits_ = localCommits.load(std::memory_order_acquire);
    if (engine->lockFile_) engine->seenGeneration_ = engine->lockFile_->Generation();

    // An older format is converted now if nobody else has the mandate open (a
    // process of an older version would not understand it any more); else it
    // is read as it is, read-only, until an exclusive hold converts it.
    engine->legacyIds_ = engine->meta_.formatVersion < pendra::schema::kFormatVersion;
    if (engine->legacyIds_ && engine->writable_ && !engine->meta_.readOnlyFlag &&
        engine->lockFile_->Writable() && engine->lockFile_->TryLockExclusive()) {
        status = engine->UpgradeWhileExclusive();
        engine->lockFile_->ReturnToShared();
        if (status != pendra::kOk) return nullptr;
    }
    return engine;
}

int SqliteEngine::UpgradeWhileExclusive() {
    if (!legacyIds_ || meta_.readOnlyFlag || !writable_ || !tables_.empty()) return pendra::kOk;
    ResetAllCursors();
    const int status = pendra::schema::Upgrade(Db(), meta_);
    if (status != pendra::kOk) return status;
    legacyIds_ = false;
    PublishCommit();
    return pendra::kOk;
}

SqliteEngine::~SqliteEngine() {
    // Tables outliving the mandate are detached: their statements go before the connection.
    for (SqliteTable* table : tables_) table->Detach();
}

std::unique_ptr<StorageTable> SqliteEngine::OpenTable(const TableLayout& layout, int& status) {
    if (metaOnly_) {
        status = pendra::kFormatTooOld;
        return nullptr;
    }
    auto table = std::make_unique<SqliteTable>(*this, layout);
    status = table->PrepareStatus();
    if (status != pendra::kOk) return nullptr;
    if (legacyIds_) return std::make_unique<LegacyIdTable>(std::move(table));
    return table;
}

void SqliteEngine::Unregister(SqliteTable* table) {
    tables_.erase(std::remove(tables_.begin(), tables_.end(), table), tables_.end());
}

void SqliteEngine::ResetAllCursors() {
    for (SqliteTable* table : tables_) table->ResetCursor();
}

bool SqliteEngine::HoldsSnapshot() const {
    return std::any_of(tables_.begin(), tables_.end(),
                       [](const SqliteTable* table) { return table->HasCursor(); });
}

void SqliteEngine::CheckForChanges() {
    // The local count first: a commit counted there has bumped the file's counter already.
    const std::uint64_t local = localCommits.load(std::memory_order_acquire);
    const std::uint64_t generation = lockFile_ ? lockFile_->Generation() : seenGeneration_;
    if (generation != seenGeneration_) {
        ResetAllCursors();
        seenGeneration_ = generation;
    }
    seenLocalCommits_ = local;
    stepsSinceCheck_ = 0;
}

void SqliteEngine::BeforeRead() {
    // Inside a batch the connection holds the write lock: nobody else can
    // commit, so its snapshot is the newest. Without an open statement the
    // read begins a snapshot of its own, as current as SQLite knows;
    // seenGeneration_ is older than it, so at worst a later check resets once
    // too often.
    if (batchDepth_ == 0 && HoldsSnapshot()) CheckForChanges();
}

void SqliteEngine::BeforeWalkStep() {
    if (batchDepth_ > 0) return;
    const std::uint64_t local = localCommits.load(std::memory_order_acquire);
    if (local == seenLocalCommits_ && ++stepsSinceCheck_ < kWalkStepsPerCheck) return;
    if (HoldsSnapshot()) {
        CheckForChanges();
        return;
    }
    // Nothing open (a tax id walk steps with statements of its own): the step
    // begins a current snapshot.
    seenLocalCommits_ = local;
    stepsSinceCheck_ = 0;
}

void SqliteEngine::PublishCommit() {
    // No cursor is open here (writes reset them first), so no snapshot is
    // stale and the values now are the ones the next snapshot starts from.
    if (lockFile_) seenGeneration_ = lockFile_->PublishChange();
    seenLocalCommits_ = localCommits.fetch_add(1, std::memory_order_acq_rel) + 1;
    NoteCommit();
}

int SqliteEngine::RunWrite(const std::function<int()>& body) {
    if (IsReadOnly()) return pendra::kAccessDenied;
    ResetAllCursors();
    pendra::sqlite::Transaction transaction(Db(), batchDepth_ > 0);
    if (transaction.BeginStatus() != pendra::kOk) return transaction.BeginStatus();
    int status = body();
    if (status != pendra::kOk) return status;
    status = transaction.Commit();
    if (status == pendra::kOk && batchDepth_ == 0) PublishCommit();
    return status;
}

std::unique_ptr<StorageBatch> SqliteEngine::BeginBatch(int& status) {
    if (IsReadOnly()) {
        status = pendra::kAccessDenied;
        return nullptr;
    }
    if (batchDepth_ > 0) {
        status = pendra::kBadArgument;  // batches do not nest
        return nullptr;
    }
    ResetAllCursors();
    auto batch = std::make_unique<SqliteBatch>(*this);
    status = batch->BeginStatus();
    if (status != pendra::kOk) return nullptr;
    return batch;
}

void SqliteEngine::LeaveBatch(bool committed) {
    --batchDepth_;
    ResetAllCursors();  // cursors may have seen rolled-back rows
    if (committed) PublishCommit();
}

long SqliteEngine::GetSetting(int section, int key, long def) {
    BeforeRead();
    Statement query(Db(), "SELECT value FROM settings WHERE section = ?1 AND key = ?2");
    if (!query.Ok()) return def;
    query.BindInt(1, section);
    query.BindInt(2, key);
    return query.Step() == SQLITE_ROW ? static_cast<long>(query.ColumnInt(0)) : def;
}

int SqliteEngine::SetSetting(int section, int key, long value) {
    return RunWrite([&]() -> int {
        Statement upsert(Db(), "INSERT OR REPLACE INTO settings(section, key, value) "
                               "VALUES(?1, ?2, ?3)");
        if (!upsert.Ok()) return StatusFrom(upsert.PrepareResult());
        upsert.BindInt(1, section);
        upsert.BindInt(2, key);
        upsert.BindInt(3, value);
        int rc = upsert.Step();
        return rc == SQLITE_DONE ? pendra::kOk : StatusFrom(rc);
    });
}

int SqliteEngine::ReadSettings(std::vector<MandateSetting>& settings) {
    BeforeRead();
    settings.clear();
    Statement query(Db(), "SELECT section, key, value FROM settings ORDER BY section, key");
    if (!query.Ok()) return StatusFrom(query.PrepareResult());
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW) {
        settings.push_back({static_cast<int>(query.ColumnInt(0)),
                            static_cast<int>(query.ColumnInt(1)),
                            static_cast<long>(query.ColumnInt(2))});
    }
    return rc == SQLITE_DONE ? pendra::kOk : StatusFrom(rc);
}

int SqliteEngine::AcquireExclusive() {
    if (!lockFile_ || !lockFile_->Writable()) return pendra::kAccessDenied;
    if (!lockFile_->TryLockExclusive()) return pendra::kMandateHeldExclusively;
    // Not converted when opened because someone else had it open: now is the time.
    // A conversion that fails leaves the mandate read-only; opening it again names the reason.
    UpgradeWhileExclusive();
    return pendra::kOk;
}

void SqliteEngine::ReleaseExclusive() {
    if (lockFile_) lockFile_->ReturnToShared();
}

int SqliteEngine::CheckIntegrity(std::string& detail) {
    ResetAllCursors();  // no statement of ours holds a snapshot during the check
    // data_version moves with every commit of another connection, the count
    // of changed rows with every write of ours.
    pendra::sqlite::Statement version(Db(), "PRAGMA data_version");
    const std::int64_t dataVersion = version.Ok() && version.Step() == SQLITE_ROW ? version.ColumnInt(0) : -1;
    version.Finalize();
    const std::int64_t ownChanges = sqlite3_total_changes64(Db());
    if (dataVersion >= 0 && verdict_ && verdict_->dataVersion == dataVersion && verdict_->ownChanges == ownChanges) {
        detail = verdict_->detail;
        return verdict_->status;
    }
    const int status = pendra::schema::CheckTables(Db(), "main", detail);
    verdict_ = Verdict{dataVersion, ownChanges, status, detail};
    return status;
}
