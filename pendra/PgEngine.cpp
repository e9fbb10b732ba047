#include "pendra/PgEngine.h"

#include <algorithm>
#include <string_view>

#include "pendra/LegacyIdTable.h"
#include "pendra/PendraStatus.h"
#include "pendra/PgSchema.h"
#include "pendra/PgTable.h"
#include "pendra/SqlMandateConfiguration.h"
#include "pendra/SqliteSchema.h"

using pendra::pg::Connection;
using pendra::pg::Param;
using pendra::pg::Result;

namespace {

// The transaction of a batch; rolled back unless committed.
class PgBatch final : public StorageBatch {
public:
    explicit PgBatch(PgEngine& engine) : engine_(engine) {}
    ~PgBatch() override {
        if (!committed_) engine_.Conn().Exec("ROLLBACK");
        engine_.LeaveBatch(committed_);
    }
    int Commit() override {
        if (committed_) return pendra::kOk;
        Result result = engine_.Conn().Exec("COMMIT");
        committed_ = Connection::Succeeded(result.get());
        return committed_ ? pendra::kOk : engine_.Conn().StatusOf(result.get());
    }

private:
    PgEngine& engine_;
    bool committed_ = false;
};

std::vector<Param> MandateLockParams() {
    return {{std::to_string(pendra::pg::kMandateLockClass)}, {"0"}};
}

}  // namespace

std::unique_ptr<PgEngine> PgEngine::Open(const SqlMandateConfiguration& configuration,
                                         int& status, bool readOnly) {
    std::optional<std::string> conninfo = configuration.MandateConnInfo();
    if (!conninfo) {
        status = pendra::kNotADatabase;
        return nullptr;
    }
    std::unique_ptr<PgEngine> engine(new PgEngine());
    engine->connection_ = std::make_unique<Connection>(*conninfo);
    if (!engine->connection_->Ok()) {
        status = pendra::kServerUnreachable;  // server, database or credentials refused
        return nullptr;
    }
    status = pendra::pg::ReadMeta(*engine->connection_, engine->meta_);
    if (readOnly && status == pendra::kFormatTooOld) {
        engine->metaOnly_ = true;
        return engine;
    }
    if (status != pendra::kOk) return nullptr;
    if (!engine->TryMandateLock(false, status)) {
        if (status == pendra::kOk) status = pendra::kMandateHeldExclusively;
        return nullptr;
    }
    engine->writable_ = engine->connection_->QueryBool(
        "SELECT has_table_privilege('buch', 'UPDATE') AND NOT pg_is_in_recovery()", {}, status);
    if (status != pendra::kOk) return nullptr;
    if (readOnly) {
        engine->writable_ = false;
        return engine;
    }

    // An older format is converted now if no other session has the mandate
    // open; else it is read as it is, read-only, until an exclusive hold converts it.
    engine->legacyIds_ = engine->meta_.formatVersion < pendra::schema::kFormatVersion;
    if (engine->legacyIds_ && engine->writable_ && !engine->meta_.readOnlyFlag) {
        int lockStatus = pendra::kOk;
        engine->UnlockMandate(false);
        if (engine->TryMandateLock(true, lockStatus)) {
            status = engine->UpgradeWhileExclusive();
            engine->TryMandateLock(false, lockStatus);  // shared first: nobody slips in between
            engine->UnlockMandate(true);
        } else if (!engine->TryMandateLock(false, lockStatus)) {
            status = lockStatus != pendra::kOk ? lockStatus : pendra::kMandateHeldExclusively;
        }
        if (status != pendra::kOk) return nullptr;
    }
    return engine;
}

int PgEngine::UpgradeWhileExclusive() {
    if (!legacyIds_ || meta_.readOnlyFlag || !writable_ || !tables_.empty()) return pendra::kOk;
    const int status = pendra::pg::Upgrade(*connection_, meta_);
    if (status == pendra::kOk) legacyIds_ = false;
    return status;
}

PgEngine::~PgEngine() {
    for (PgTable* table : tables_) table->Detach();
    // The server lets a closed session's locks go only once it has noticed the
    // disconnect, after this process went on: the next open of the mandate,
    // by this program or another, would find it still held. Let them go now.
    if (connection_) connection_->Exec("SELECT pg_advisory_unlock_all()");
}

bool PgEngine::TryMandateLock(bool exclusive, int& status) {
    return connection_->QueryBool(exclusive ? "SELECT pg_try_advisory_lock($1::int4, $2::int4)"
                                            : "SELECT pg_try_advisory_lock_shared($1::int4, $2::int4)",
                                  MandateLockParams(), status);
}

void PgEngine::UnlockMandate(bool exclusive) {
    connection_->Exec(exclusive ? "SELECT pg_advisory_unlock($1::int4, $2::int4)"
                                : "SELECT pg_advisory_unlock_shared($1::int4, $2::int4)",
                      MandateLockParams());
}

int PgEngine::AcquireExclusive() {
    if (exclusive_) return pendra::kOk;
    UnlockMandate(false);
    int status = pendra::kOk;
    if (TryMandateLock(true, status)) {
        exclusive_ = true;
        // Not converted when opened because another session had it open: now is the time.
        // A conversion that fails leaves the mandate read-only; opening it again names the reason.
        UpgradeWhileExclusive();
        return pendra::kOk;
    }
    int sharedStatus = pendra::kOk;
    TryMandateLock(false, sharedStatus);
    return status != pendra::kOk ? status : pendra::kMandateHeldExclusively;
}

void PgEngine::ReleaseExclusive() {
    if (!exclusive_) return;
    int status = pendra::kOk;
    TryMandateLock(false, status);  // shared first: nobody slips in between
    UnlockMandate(true);
    exclusive_ = false;
}

std::unique_ptr<StorageTable> PgEngine::OpenTable(const TableLayout& layout, int& status) {
    if (metaOnly_) {
        status = pendra::kFormatTooOld;
        return nullptr;
    }
    auto table = std::make_unique<PgTable>(*this, layout);
    status = table->CheckSchema();
    if (status != pendra::kOk) return nullptr;
    if (legacyIds_) return std::make_unique<LegacyIdTable>(std::move(table));
    return table;
}

void PgEngine::Unregister(PgTable* table) {
    tables_.erase(std::remove(tables_.begin(), tables_.end(), table), tables_.end());
    std::erase_if(recordLocks_, [&](const auto& lock) { return lock.second == table; });
}

int PgEngine::Write(const pendra::pg::Query& query, Result& result) {
    std::vector<Result> none;
    return Write(query, result, {}, none);
}

int PgEngine::Write(const pendra::pg::Query& query, Result& result,
                    const std::vector<pendra::pg::Query>& then, std::vector<Result>& thenResults) {
    thenResults.clear();
    if (IsReadOnly()) return pendra::kAccessDenied;
    if (batchDepth_ == 0) {
        result = connection_->Exec(query);
        if (!Connection::Succeeded(result.get())) return connection_->StatusOf(result.get());
        NoteCommit();
        return pendra::kOk;
    }
    std::vector<pendra::pg::Query> queries{
        {"", "SAVEPOINT pendra_write", {}}, query, {"", "RELEASE SAVEPOINT pendra_write", {}}};
    queries.insert(queries.end(), then.begin(), then.end());
    std::vector<Result> results = connection_->ExecPipeline(queries);
    if (!Connection::Succeeded(results[0].get())) {
        const int status = connection_->StatusOf(results[0].get());
        result = std::move(results[0]);
        return status;
    }
    result = std::move(results[1]);
    if (!Connection::Succeeded(result.get())) {
        const int status = connection_->StatusOf(result.get());
        connection_->Exec("ROLLBACK TO SAVEPOINT pendra_write");
        return status;
    }
    if (!Connection::Succeeded(results[2].get())) return connection_->StatusOf(results[2].get());
    for (std::size_t at = 3; at < results.size(); ++at) thenResults.push_back(std::move(results[at]));
    return pendra::kOk;
}

int PgEngine::WriteUnderTemporaryLock(std::uint64_t lockId, const pendra::pg::Query& query,
                                      Result& result) {
    if (IsReadOnly()) return pendra::kAccessDenied;
    const Param id{std::to_string(static_cast<std::int64_t>(lockId))};
    // A lock held by another session fails the try with a division by zero,
    // so the pipeline skips the write and everything after it.
    std::vector<Result> results = connection_->ExecPipeline(
        {{"", "SAVEPOINT pendra_write", {}},
         {"pendra_record_lock_or_fail", "SELECT 1 / pg_try_advisory_lock($1::int8)::int4", {id}},
         query,
         {"", "RELEASE SAVEPOINT pendra_write", {}},
         {"pendra_record_unlock", "SELECT pg_advisory_unlock($1::int8)", {id}}});
    if (!Connection::Succeeded(results[0].get())) {
        const int status = connection_->StatusOf(results[0].get());
        result = std::move(results[0]);
        return status;
    }
    auto failed = [&](std::size_t at, bool locked) {
        int status = connection_->StatusOf(results[at].get());
        const char* state = PQresultErrorField(results[at].get(), PG_DIAG_SQLSTATE);
        if (!locked && state && std::string_view(state) == "22012") status = pendra::kRecordLocked;
        result = std::move(results[at]);
        connection_->Exec("ROLLBACK TO SAVEPOINT pendra_write");
        if (locked) connection_->Exec({"pendra_record_unlock", "SELECT pg_advisory_unlock($1::int8)", {id}});
        return status;
    };
    if (!Connection::Succeeded(results[1].get())) return failed(1, false);
    if (!Connection::Succeeded(results[2].get())) return failed(2, true);
    if (!Connection::Succeeded(results[3].get())) return failed(3, true);
    result = std::move(results[2]);
    if (batchDepth_ == 0) NoteCommit();
    return Connection::Succeeded(results[4].get()) ? pendra::kOk
                                                   : connection_->StatusOf(results[4].get());
}

void PgEngine::RecordChanged(const char* table, const std::string& key,
                             const unsigned char* record) {
    for (PgTable* open : tables_) {
        if (std::string_view(open->Layout().name) == table) open->ApplyChange(key, record);
    }
}

void PgEngine::DropWalks() {
    for (PgTable* table : tables_) table->DropWalk();
}

std::unique_ptr<StorageBatch> PgEngine::BeginBatch(int& status) {
    if (IsReadOnly()) {
        status = pendra::kAccessDenied;
        return nullptr;
    }
    if (batchDepth_ > 0) {
        status = pendra::kBadArgument;  // batches do not nest
        return nullptr;
    }
    DropWalks();  // a batch starts from what is committed now
    Result begin = connection_->Exec("BEGIN");
    if (!Connection::Succeeded(begin.get())) {
        status = connection_->StatusOf(begin.get());
        return nullptr;
    }
    ++batchDepth_;
    status = pendra::kOk;
    return std::make_unique<PgBatch>(*this);
}

int PgEngine::LockRecord(const PgTable* holder, std::uint64_t lockId, bool wait) {
    auto held = recordLocks_.find(lockId);
    if (held != recordLocks_.end()) return held->second == holder ? pendra::kOk : pendra::kRecordLocked;
    std::vector<Param> params{{std::to_string(static_cast<std::int64_t>(lockId))}};
    int status = pendra::kOk;
    bool locked;
    if (wait) {
        Result result = connection_->Exec(WaitLockQuery(lockId));
        locked = Connection::Succeeded(result.get());
        if (!locked) status = connection_->StatusOf(result.get());
    } else {
        Result result = connection_->Exec(
            {"pendra_record_try_lock", "SELECT pg_try_advisory_lock($1::int8)", params});
        locked = Connection::Succeeded(result.get()) && PQntuples(result.get()) == 1 &&
                 PQgetlength(result.get(), 0, 0) == 1 && PQgetvalue(result.get(), 0, 0)[0] == 1;
        if (!Connection::Succeeded(result.get())) status = connection_->StatusOf(result.get());
    }
    if (!locked) return status != pendra::kOk ? status : pendra::kRecordLocked;
    recordLocks_.emplace(lockId, holder);
    return pendra::kOk;
}

pendra::pg::Query PgEngine::WaitLockQuery(std::uint64_t lockId) {
    return {"pendra_record_lock", "SELECT pg_advisory_lock($1::int8)",
            {{std::to_string(static_cast<std::int64_t>(lockId))}}};
}

const PgTable* PgEngine::RecordLockHolder(std::uint64_t lockId) const {
    auto held = recordLocks_.find(lockId);
    return held == recordLocks_.end() ? nullptr : held->second;
}

void PgEngine::LockReleased(const PgTable* holder, std::uint64_t lockId) {
    auto held = recordLocks_.find(lockId);
    if (held != recordLocks_.end() && held->second == holder) recordLocks_.erase(held);
}

void PgEngine::UnlockRecord(const PgTable* holder, std::uint64_t lockId) {
    auto held = recordLocks_.find(lockId);
    if (held == recordLocks_.end() || held->second != holder) return;
    recordLocks_.erase(held);
    connection_->Exec({"pendra_record_unlock", "SELECT pg_advisory_unlock($1::int8)",
                       {{std::to_string(static_cast<std::int64_t>(lockId))}}});
}

int PgEngine::LockForWrite(const PgTable* holder, std::uint64_t lockId, bool& taken) {
    taken = false;
    auto held = recordLocks_.find(lockId);
    if (held != recordLocks_.end()) return held->second == holder ? pendra::kOk : pendra::kRecordLocked;
    int status = LockRecord(holder, lockId, false);
    taken = status == pendra::kOk;
    return status;
}

long PgEngine::GetSetting(int section, int key, long def) {
    Result result = connection_->Exec(
        {"pendra_settings_get", "SELECT value FROM settings WHERE section = $1::int4 AND key = $2::int4",
         {{std::to_string(section)}, {std::to_string(key)}}});
    if (!Connection::Succeeded(result.get()) || PQntuples(result.get()) != 1) return def;
    return static_cast<long>(pendra::pg::Int8FromBinary(PQgetvalue(result.get(), 0, 0)));
}

int PgEngine::SetSetting(int section, int key, long value) {
    Result result;
    return Write({"pendra_settings_set",
                  "INSERT INTO settings(section, key, value) VALUES($1::int4, $2::int4, $3::int8) "
                  "ON CONFLICT (section, key) DO UPDATE SET value = EXCLUDED.value",
                  {{std::to_string(section)}, {std::to_string(key)}, {std::to_string(value)}}},
                 result);
}

int PgEngine::ReadSettings(std::vector<MandateSetting>& settings) {
    settings.clear();
    Result result =
        connection_->Exec("SELECT section, key, value FROM settings ORDER BY section, key");
    if (!Connection::Succeeded(result.get())) return connection_->StatusOf(result.get());
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        settings.push_back(
            {pendra::pg::Int4FromBinary(PQgetvalue(result.get(), row, 0)),
             pendra::pg::Int4FromBinary(PQgetvalue(result.get(), row, 1)),
             static_cast<long>(pendra::pg::Int8FromBinary(PQgetvalue(result.get(), row, 2)))});
    }
    return pendra::kOk;
}

bool PgEngine::ConnectionLost() const { return PQstatus(connection_->Get()) != CONNECTION_OK; }
