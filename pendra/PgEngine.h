#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pendra/PgSupport.h"
#include "pendra/StorageEngine.h"

class PgTable;
class SqlMandateConfiguration;

// The storage of an SQL mandate: its own PostgreSQL database, one connection
// per open mandate shared by all its tables.
//
// The mandate lock is a session advisory lock of the database: shared while
// open, exclusive while held (MIniSetHelper, TryGetExclusiveLock). Record locks
// are advisory locks too, so they hold between machines; handles of one
// mandate share a session, so the engine tells them apart itself.
//
// Walks read rows in batches of growing size (PgTable), so a walk over a
// table costs a few round trips, not one per record. Every write through this
// engine is applied to the batches its handles hold, so walks see the
// engine's own changes at once, as on file mandates; changes of other sessions
// are seen by the next batch, ReadFirst, BeginBatch or ReleaseCaches. Keyed
// reads always ask the server, with statements prepared once per connection.
//
// Every write is a statement of its own (autocommit) or, inside a batch, a
// savepoint (sent with it in one round trip): a connection lost mid-command
// leaves nothing half written.
class PgEngine final : public StorageEngine {
public:
    // `readOnly`: read as it is, no format converted; a format too old to
    // read answers kFormatTooOld with the engine kept for its meta alone.
    static std::unique_ptr<PgEngine> Open(const SqlMandateConfiguration& configuration,
                                          int& status, bool readOnly = false);
    ~PgEngine() override;

    Kind GetKind() const override { return Kind::kSql; }
    const MandateMeta& Meta() const override { return meta_; }
    // A mandate still in an older format (legacyIds_) is read-only until converted.
    bool IsReadOnly() const override { return meta_.readOnlyFlag || !writable_ || legacyIds_; }
    std::unique_ptr<StorageTable> OpenTable(const TableLayout& layout, int& status) override;
    long GetSetting(int section, int key, long def) override;
    int SetSetting(int section, int key, long value) override;
    int ReadSettings(std::vector<MandateSetting>& settings) override;
    int AcquireExclusive() override;
    void ReleaseExclusive() override;
    void ReleaseCaches() override { DropWalks(); }
    bool ConnectionLost() const override;
    std::unique_ptr<StorageBatch> BeginBatch(int& status) override;

    // For PgTable and PgBatch.
    const pendra::pg::Connection& Conn() const { return *connection_; }
    // Runs one write statement: alone, or inside a batch within a savepoint,
    // in one round trip. `result` is the statement's own result.
    int Write(const pendra::pg::Query& query, pendra::pg::Result& result);
    // Write, and inside a batch the statements `then` in the same round trip
    // behind it; they run only when the write and its savepoint succeeded, and
    // only then does `thenResults` get their results.
    int Write(const pendra::pg::Query& query, pendra::pg::Result& result,
              const std::vector<pendra::pg::Query>& then, std::vector<pendra::pg::Result>& thenResults);
    // Tells the walks of every handle on `table` that the record `key` is now
    // `record` (nullptr: gone).
    void RecordChanged(const char* table, const std::string& key, const unsigned char* record);
    // Forgets every batch read: the next read of each walk asks the server.
    void DropWalks();
    int LockRecord(const PgTable* holder, std::uint64_t lockId, bool wait);
    void UnlockRecord(const PgTable* holder, std::uint64_t lockId);
    // Inside a batch, a write of a record nobody in this session holds the lock
    // of: the lock tried, the write and the unlock in one round trip;
    // kRecordLocked (and nothing written) while another session holds it.
    int WriteUnderTemporaryLock(std::uint64_t lockId, const pendra::pg::Query& query,
                                pendra::pg::Result& result);
    // kOk when `holder` may write the record: it holds the lock, or nobody does.
    // `taken` tells whether a temporary lock was taken for the write.
    int LockForWrite(const PgTable* holder, std::uint64_t lockId, bool& taken);
    // The handle holding record lock `lockId` in this session, nullptr when none does.
    const PgTable* RecordLockHolder(std::uint64_t lockId) const;
    // The statement that waits for record lock `lockId`; sent by a table in a
    // pipeline of its own, which then reports the lock with LockTaken.
    static pendra::pg::Query WaitLockQuery(std::uint64_t lockId);
    void LockTaken(const PgTable* holder, std::uint64_t lockId) { recordLocks_.emplace(lockId, holder); }
    // The lock was released on the server together with a write.
    void LockReleased(const PgTable* holder, std::uint64_t lockId);
    void Register(PgTable* table) { tables_.push_back(table); }
    void Unregister(PgTable* table);
    bool InBatch() const { return batchDepth_ > 0; }
    // A batch rolled back takes back writes the walks already hold.
    void LeaveBatch(bool committed) {
        --batchDepth_;
        if (committed) NoteCommit();
        if (!committed) DropWalks();
    }

private:
    PgEngine() = default;
    bool TryMandateLock(bool exclusive, int& status);
    void UnlockMandate(bool exclusive);
    // Converts a database of an older format while this session holds the
    // mandate exclusively, may write it and has no table open.
    int UpgradeWhileExclusive();

    std::unique_ptr<pendra::pg::Connection> connection_;
    MandateMeta meta_;
    bool writable_ = false;
    bool exclusive_ = false;
    bool legacyIds_ = false;  // tables are read through LegacyIdTable
    bool metaOnly_ = false;   // a format too old to read: the meta, no table
    int batchDepth_ = 0;
    std::map<std::uint64_t, const PgTable*> recordLocks_;
    std::vector<PgTable*> tables_;
};

// Creates the database of an SQL mandate on the server `conninfo` names (its
// master database) and its configuration in `dir`; status of PendraStatus.h.
struct MandateCreateOptions;
int CreateSqlMandate(const std::string& dir, const std::string& conninfo,
                     const MandateCreateOptions& options);
// Sets the read-only flag of the SQL mandate in `dir`.
int SetSqlMandateReadOnly(const std::string& dir, bool readOnly);
// Drops the database of the SQL mandate in `dir` (sessions on it are ended)
// and removes its configuration.
int DropSqlMandate(const std::string& dir);
