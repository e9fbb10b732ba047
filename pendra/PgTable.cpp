#include "pendra/PgTable.h"

#include <algorithm>
#include <cstring>

#include "pendra/PendraStatus.h"
#include "pendra/PgEngine.h"

using pendra::pg::Connection;
using pendra::pg::Param;
using pendra::pg::Query;
using pendra::pg::Result;

namespace {
// 64-bit FNV-1a: the record lock id of a key, the same in every process.
std::uint64_t Fnv1a(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}
}  // namespace

PgTable::PgTable(PgEngine& engine, const TableLayout& layout)
    : engine_(&engine), layout_(layout), walk_(KeyOrder{layout.integerKey}) {
    engine.Register(this);
}

PgTable::~PgTable() {
    DropReadAhead();
    if (engine_) engine_->Unregister(this);
}

std::string PgTable::Sql(std::string pattern) const {
    // Patterns name the table "{T}", the key column "{K}" and a key parameter "{P}n".
    const std::string keyCast = layout_.integerKey ? "::int4" : "::bytea";
    for (auto [mark, name] : {std::pair<std::string, std::string>{"{T}", layout_.name},
                              {"{K}", layout_.keyColumn},
                              {"{C}", keyCast}}) {
        for (std::size_t at; (at = pattern.find(mark)) != std::string::npos;) {
            pattern.replace(at, mark.size(), name);
        }
    }
    return pattern;
}

Query PgTable::Named(const char* kind, const std::string& pattern, std::vector<Param> params) const {
    // One prepared statement per table and kind on the connection, shared by its handles.
    return {std::string("pendra_") + layout_.name + "_" + kind, Sql(pattern), std::move(params)};
}

Param PgTable::KeyParam(const std::string& key) const {
    if (layout_.integerKey) return {std::to_string(DecodeIntKey(key)), false};
    return {key, true};
}

std::uint64_t PgTable::LockId(const std::string& key) const {
    return Fnv1a(std::string(layout_.name) + '\0' + key);
}

int PgTable::CheckSchema() {
    const std::string columns = layout_.hasTaxIndex ? "{K}, taxid, rec" : "{K}, rec";
    Result result = engine_->Conn().Exec(Sql("SELECT " + columns + " FROM {T} LIMIT 0"));
    if (Connection::Succeeded(result.get())) return pendra::kOk;
    // A lost connection is no foreign database.
    return PQstatus(engine_->Conn().Get()) == CONNECTION_OK ? pendra::kNotADatabase
                                                            : pendra::kIoError;
}

bool PgTable::Covers(const std::string& key) const {
    return (walk_.fromStart || Less(walk_.from, key)) && (walk_.toEnd || !Less(walk_.to, key));
}

int PgTable::Fetch(Walk::Kind kind, const std::string& taxId, const std::string* from,
                   unsigned char* record, std::string& key, int notFound) {
    if (!engine_) return pendra::kFileNotOpen;
    // A walk read on batch after batch gets larger batches; a new one starts small.
    const bool continuing = from && walk_.kind == kind && walk_.taxId == taxId;
    const int limit = continuing ? walk_.limit : kFirstBatch;
    const Param limitParam{std::to_string(limit)};
    Query query;
    if (kind == Walk::Kind::kAll) {
        query = from ? Named("walk_after", "SELECT {K}, rec FROM {T} WHERE {K} > $1{C} "
                                           "ORDER BY {K} LIMIT $2::int4",
                             {KeyParam(*from), limitParam})
                     : Named("walk_first", "SELECT {K}, rec FROM {T} ORDER BY {K} LIMIT $1::int4",
                             {limitParam});
    } else {
        query = from ? Named("taxid_after", "SELECT {K}, rec FROM {T} WHERE taxid = $1::bytea "
                                            "AND {K} > $2{C} ORDER BY {K} LIMIT $3::int4",
                             {{taxId, true}, KeyParam(*from), limitParam})
                     : Named("taxid_first", "SELECT {K}, rec FROM {T} WHERE taxid = $1::bytea "
                                            "ORDER BY {K} LIMIT $2::int4",
                             {{taxId, true}, limitParam});
    }
    const Connection& connection = engine_->Conn();
    Result result = connection.Exec(query);
    if (!Connection::Succeeded(result.get())) {
        DropWalk();
        return connection.StatusOf(result.get());
    }
    Walk walk(KeyOrder{layout_.integerKey});
    walk.kind = kind;
    walk.taxId = taxId;
    walk.fromStart = from == nullptr;
    if (from) walk.from = *from;
    const int rows = PQntuples(result.get());
    walk.toEnd = rows < limit;
    walk.limit = std::min(limit * 4, kMaxBatch);
    int status = pendra::kOk;
    for (int row = 0; row < rows; ++row) {
        if (PQgetlength(result.get(), row, 1) != static_cast<int>(layout_.recordSize)) {
            // A record of the wrong size, not written by us: the batch ends before it,
            // so the walk reports it when it gets there.
            status = pendra::kNotADatabase;
            walk.toEnd = false;
            break;
        }
        const char* keyBytes = PQgetvalue(result.get(), row, 0);
        std::string rowKey =
            layout_.integerKey
                ? EncodeIntKey(pendra::pg::Int4FromBinary(keyBytes))
                : std::string(keyBytes, static_cast<std::size_t>(PQgetlength(result.get(), row, 0)));
        walk.to = rowKey;
        walk.rows.emplace_hint(walk.rows.end(), std::move(rowKey),
                               std::string(PQgetvalue(result.get(), row, 1), layout_.recordSize));
    }
    walk_ = std::move(walk);
    if (walk_.rows.empty()) {
        if (status != pendra::kOk) DropWalk();
        return status != pendra::kOk ? status : notFound;
    }
    const auto& first = *walk_.rows.begin();
    std::memcpy(record, first.second.data(), layout_.recordSize);
    key = first.first;
    return pendra::kOk;
}

bool PgTable::NextInBatch(const std::string& after, std::string& key) const {
    const bool inBatch = (walk_.fromStart || !Less(after, walk_.from)) &&
                         (walk_.toEnd || Less(after, walk_.to));
    if (!inBatch) return false;
    auto next = walk_.rows.upper_bound(after);
    if (next == walk_.rows.end()) return false;
    key = next->first;
    return true;
}

int PgTable::Next(const std::string& after, unsigned char* record, std::string& key,
                  int notFound) {
    const bool inBatch = (walk_.fromStart || !Less(after, walk_.from)) &&
                         (walk_.toEnd || Less(after, walk_.to));
    if (!inBatch) {
        const std::string from = after;
        const std::string taxId = walk_.taxId;
        return Fetch(walk_.kind, taxId, &from, record, key, notFound);
    }
    auto next = walk_.rows.upper_bound(after);
    if (next != walk_.rows.end()) {
        std::memcpy(record, next->second.data(), layout_.recordSize);
        key = next->first;
        return pendra::kOk;
    }
    if (walk_.toEnd) return notFound;
    // The rest of the batch is gone (deleted or moved to another tax id): read on behind it.
    const std::string from = walk_.to;
    const std::string taxId = walk_.taxId;
    return Fetch(walk_.kind, taxId, &from, record, key, notFound);
}

void PgTable::ApplyChange(const std::string& key, const unsigned char* record) {
    if (walk_.kind == Walk::Kind::kNone) return;
    if (!record || (walk_.kind == Walk::Kind::kTaxId && layout_.TaxIdOf(record) != walk_.taxId)) {
        walk_.rows.erase(key);
        return;
    }
    if (Covers(key)) {
        walk_.rows.insert_or_assign(
            key, std::string(reinterpret_cast<const char*>(record), layout_.recordSize));
    }
}

int PgTable::ReadFirst(unsigned char* record, std::string& key) {
    // A new walk always asks the server: it sees what other sessions committed.
    return Fetch(Walk::Kind::kAll, std::string(), nullptr, record, key, pendra::kEndOfFile);
}

int PgTable::ReadAfter(const std::string& after, unsigned char* record, std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    if (walk_.kind == Walk::Kind::kAll) return Next(after, record, key, pendra::kEndOfFile);
    return Fetch(Walk::Kind::kAll, std::string(), &after, record, key, pendra::kEndOfFile);
}

Query PgTable::EqualQuery(const std::string& key) const {
    return Named("equal", "SELECT {K}, rec FROM {T} WHERE {K} = $1{C}", {KeyParam(key)});
}

int PgTable::TakeEqual(const std::string& key, const PGresult* result, unsigned char* record) {
    if (!Connection::Succeeded(result)) return engine_->Conn().StatusOf(result);
    if (PQntuples(result) == 0) {
        engine_->RecordChanged(layout_.name, key, nullptr);  // the walks learn it is gone
        return pendra::kKeyNotFound;
    }
    if (PQgetlength(result, 0, 1) != static_cast<int>(layout_.recordSize)) {
        return pendra::kNotADatabase;  // a record of the wrong size: not written by us
    }
    std::memcpy(record, PQgetvalue(result, 0, 1), layout_.recordSize);
    // The record as it is now (another session may have changed it) for the walks too.
    engine_->RecordChanged(layout_.name, key, record);
    return pendra::kOk;
}

int PgTable::ReadEqual(const std::string& key, unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    Result result = engine_->Conn().Exec(EqualQuery(key));
    return TakeEqual(key, result.get(), record);
}

int PgTable::LockAndRead(const std::string& key, unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    if (readAhead_.pending) {
        if (readAhead_.key == key) return TakeReadAhead(record);
        DropReadAhead();
    }
    const std::uint64_t lockId = LockId(key);
    // Held in this session already (by this handle or, refused, by another): nothing to wait for.
    if (engine_->RecordLockHolder(lockId)) return StorageTable::LockAndRead(key, record);
    // The server runs the read only once the lock is granted; a failed lock skips it.
    const Connection& connection = engine_->Conn();
    std::vector<Result> results = connection.ExecPipeline({PgEngine::WaitLockQuery(lockId), EqualQuery(key)});
    if (!Connection::Succeeded(results[0].get())) return connection.StatusOf(results[0].get());
    engine_->LockTaken(this, lockId);
    const int status = TakeEqual(key, results[1].get(), record);
    if (status != pendra::kOk) engine_->UnlockRecord(this, lockId);
    return status;
}

int PgTable::TakeReadAhead(unsigned char* record) {
    ReadAhead taken = std::move(readAhead_);
    readAhead_ = ReadAhead{};
    if (!Connection::Succeeded(taken.lock.get())) return engine_->Conn().StatusOf(taken.lock.get());
    const int status = TakeEqual(taken.key, taken.equal.get(), record);
    if (status != pendra::kOk) engine_->UnlockRecord(this, taken.lockId);
    return status;
}

void PgTable::DropReadAhead() {
    if (!readAhead_.pending) return;
    ReadAhead dropped = std::move(readAhead_);
    readAhead_ = ReadAhead{};
    if (engine_ && Connection::Succeeded(dropped.lock.get())) engine_->UnlockRecord(this, dropped.lockId);
}

int PgTable::ReadFirstByTaxId(const std::string& taxId, unsigned char* record,
                              std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    return Fetch(Walk::Kind::kTaxId, taxId, nullptr, record, key, pendra::kKeyNotFound);
}

int PgTable::ReadAfterByTaxId(const std::string& taxId, const std::string& after,
                              unsigned char* record, std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    if (walk_.kind == Walk::Kind::kTaxId && walk_.taxId == taxId) {
        return Next(after, record, key, pendra::kKeyNotFound);
    }
    return Fetch(Walk::Kind::kTaxId, taxId, &after, record, key, pendra::kKeyNotFound);
}

int PgTable::ExistsWithTaxId(const std::string& taxId) {
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    const Connection& connection = engine_->Conn();
    Result result = connection.Exec(
        Named("exists_taxid", "SELECT 1 FROM {T} WHERE taxid = $1::bytea LIMIT 1", {{taxId, true}}));
    if (!Connection::Succeeded(result.get())) return connection.StatusOf(result.get());
    return PQntuples(result.get()) > 0 ? pendra::kOk : pendra::kKeyNotFound;
}

namespace {
// A bytea[] parameter in PostgreSQL's binary array form: dimensions, no
// nulls, element type bytea, then each element's length and bytes.
Param ByteaArray(const std::vector<std::string>& items) {
    std::string bytes;
    auto put = [&bytes](std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xFF);
    };
    constexpr std::uint32_t kByteaOid = 17;
    put(1);
    put(0);
    put(kByteaOid);
    put(static_cast<std::uint32_t>(items.size()));
    put(1);
    for (const std::string& item : items) {
        put(static_cast<std::uint32_t>(item.size()));
        bytes += item;
    }
    return {bytes, true};
}
}  // namespace

int PgTable::ExistsWithTaxIds(const std::vector<std::string>& taxIds, std::vector<int>& found) {
    found.clear();
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    if (taxIds.empty()) return pendra::kOk;
    // One query for all: the positions of the ids some record carries, each
    // found through the tax id index as ExistsWithTaxId finds it.
    const Connection& connection = engine_->Conn();
    Result result = connection.Exec(Named(
        "exists_taxids",
        "SELECT t.i::int4 FROM unnest($1::bytea[]) WITH ORDINALITY AS t(id, i) "
        "WHERE EXISTS (SELECT 1 FROM {T} WHERE taxid = t.id)",
        {ByteaArray(taxIds)}));
    if (!Connection::Succeeded(result.get())) return connection.StatusOf(result.get());
    found.assign(taxIds.size(), pendra::kKeyNotFound);
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        const std::int32_t at = pendra::pg::Int4FromBinary(PQgetvalue(result.get(), row, 0));
        if (at >= 1 && static_cast<std::size_t>(at) <= taxIds.size()) found[at - 1] = pendra::kOk;
    }
    return pendra::kOk;
}

int PgTable::CountWithTaxId(const std::string& taxId, std::size_t& count) {
    count = 0;
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    const Connection& connection = engine_->Conn();
    Result result =
        connection.Exec(Named("count_taxid", "SELECT count(*) FROM {T} WHERE taxid = $1::bytea", {{taxId, true}}));
    if (!Connection::Succeeded(result.get())) return connection.StatusOf(result.get());
    count = static_cast<std::size_t>(pendra::pg::Int8FromBinary(PQgetvalue(result.get(), 0, 0)));
    return pendra::kOk;
}

int PgTable::Insert(const unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    const std::string key = layout_.KeyOf(record);
    const Param rec{std::string(reinterpret_cast<const char*>(record), layout_.recordSize), true};
    std::vector<Param> params{KeyParam(key)};
    if (layout_.hasTaxIndex) params.push_back({layout_.TaxIdOf(record), true});
    params.push_back(rec);
    const Query query =
        layout_.hasTaxIndex
            ? Named("insert", "INSERT INTO {T}({K}, taxid, rec) VALUES($1{C}, $2::bytea, $3::bytea)",
                    std::move(params))
            : Named("insert", "INSERT INTO {T}({K}, rec) VALUES($1{C}, $2::bytea)", std::move(params));
    Result result;
    const int status = engine_->Write(query, result);
    if (status == pendra::kOk) {
        engine_->RecordChanged(layout_.name, key, record);
    } else if (status != pendra::kDuplicateKey && status != pendra::kAccessDenied) {
        engine_->DropWalks();  // whatever happened, the next reads ask the server
    }
    return status;
}

int PgTable::WriteLocked(const std::string& key, const Query& query,
                         const unsigned char* record, const std::vector<Query>& then,
                         std::vector<Result>* thenResults) {
    bool taken = false;
    const std::uint64_t lockId = LockId(key);
    int status = pendra::kOk;
    Result result;
    if (engine_->InBatch() && !engine_->RecordLockHolder(lockId)) {
        // The lock only for the write, which commits later anyway: all in one round trip.
        status = engine_->WriteUnderTemporaryLock(lockId, query, result);
        if (status == pendra::kRecordLocked) return status;
    } else {
        status = engine_->LockForWrite(this, lockId, taken);
        if (status != pendra::kOk) return status;
        status = thenResults ? engine_->Write(query, result, then, *thenResults)
                             : engine_->Write(query, result);
    }
    if (status == pendra::kOk && std::strcmp(PQcmdTuples(result.get()), "0") == 0) {
        status = pendra::kKeyNotFound;
    }
    if (taken) engine_->UnlockRecord(this, lockId);
    if (status == pendra::kOk) {
        engine_->RecordChanged(layout_.name, key, record);
    } else if (status == pendra::kKeyNotFound) {
        engine_->RecordChanged(layout_.name, key, nullptr);
    } else if (status != pendra::kAccessDenied) {
        engine_->DropWalks();
    }
    return status;
}

Query PgTable::UpdateQuery(const std::string& key, const unsigned char* record, bool unlock) const {
    const Param rec{std::string(reinterpret_cast<const char*>(record), layout_.recordSize), true};
    std::vector<Param> params{KeyParam(key)};
    if (layout_.hasTaxIndex) params.push_back({layout_.TaxIdOf(record), true});
    params.push_back(rec);
    std::string sql = layout_.hasTaxIndex
                          ? "UPDATE {T} SET taxid = $2::bytea, rec = $3::bytea WHERE {K} = $1{C}"
                          : "UPDATE {T} SET rec = $2::bytea WHERE {K} = $1{C}";
    if (!unlock) return Named("update", sql, std::move(params));
    // Evaluated for the changed row only: a record that is gone keeps its lock.
    sql += " RETURNING pg_advisory_unlock($" + std::to_string(params.size() + 1) + "::int8)";
    params.push_back({std::to_string(static_cast<std::int64_t>(LockId(key)))});
    return Named("update_unlock", sql, std::move(params));
}

Query PgTable::DeleteQuery(const std::string& key, bool unlock) const {
    if (!unlock) return Named("delete", "DELETE FROM {T} WHERE {K} = $1{C}", {KeyParam(key)});
    return Named("delete_unlock",
                 "DELETE FROM {T} WHERE {K} = $1{C} RETURNING pg_advisory_unlock($2::int8)",
                 {KeyParam(key), {std::to_string(static_cast<std::int64_t>(LockId(key)))}});
}

int PgTable::Update(const std::string& key, const unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    if (layout_.KeyOf(record) != key) return pendra::kBadArgument;
    return WriteLocked(key, UpdateQuery(key, record, false), record);
}

int PgTable::Delete(const std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    return WriteLocked(key, DeleteQuery(key, false), nullptr);
}

int PgTable::WriteUnlocking(const std::string& key, const Query& query,
                            const unsigned char* record, const std::vector<Query>& then,
                            std::vector<Result>* thenResults) {
    const int status = WriteLocked(key, query, record, then, thenResults);
    if (status == pendra::kOk) engine_->LockReleased(this, LockId(key));
    return status;
}

// Only inside a batch does the statement release the lock: there the change
// is not committed before the release either way. A statement of its own
// commits after it ran, so a waiter let in by the statement could read the
// record as it was: there the lock goes only once the write is committed.
bool PgTable::UnlocksWithWrite(const std::string& key) const {
    return engine_->InBatch() && engine_->RecordLockHolder(LockId(key)) == this;
}

int PgTable::UpdateAndUnlock(const std::string& key, const unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    if (!UnlocksWithWrite(key)) return StorageTable::UpdateAndUnlock(key, record);
    if (layout_.KeyOf(record) != key) return pendra::kBadArgument;
    return WriteUnlocking(key, UpdateQuery(key, record, true), record);
}

int PgTable::UpdateAndUnlockReadingAhead(const std::string& key, const unsigned char* record,
                                         const std::string& taxId) {
    if (!engine_) return pendra::kFileNotOpen;
    DropReadAhead();
    // The record the walk gives next is known only while its batch holds it;
    // a lock this session holds already is left to LockAndRead.
    std::string next;
    if (!UnlocksWithWrite(key) || walk_.kind != Walk::Kind::kTaxId || walk_.taxId != taxId ||
        !NextInBatch(key, next) || engine_->RecordLockHolder(LockId(next))) {
        return UpdateAndUnlock(key, record);
    }
    if (layout_.KeyOf(record) != key) return pendra::kBadArgument;
    const std::uint64_t nextLock = LockId(next);
    std::vector<Result> ahead;
    // The lock waits on the server behind the write, as it would in a round trip of its own.
    const int status = WriteUnlocking(key, UpdateQuery(key, record, true), record,
                                      {PgEngine::WaitLockQuery(nextLock), EqualQuery(next)}, &ahead);
    if (ahead.size() == 2) {
        readAhead_.pending = true;
        readAhead_.key = next;
        readAhead_.lockId = nextLock;
        readAhead_.lock = std::move(ahead[0]);
        readAhead_.equal = std::move(ahead[1]);
        if (Connection::Succeeded(readAhead_.lock.get())) engine_->LockTaken(this, nextLock);
    }
    // A write that found its record gone ran the lock all the same: give it back.
    if (status != pendra::kOk) DropReadAhead();
    return status;
}

int PgTable::DeleteAndUnlock(const std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    if (!UnlocksWithWrite(key)) return StorageTable::DeleteAndUnlock(key);
    return WriteUnlocking(key, DeleteQuery(key, true), nullptr);
}

int PgTable::LockRecord(const std::string& key, bool wait) {
    if (!engine_) return pendra::kFileNotOpen;
    return engine_->LockRecord(this, LockId(key), wait);
}

void PgTable::UnlockRecord(const std::string& key) {
    if (engine_) engine_->UnlockRecord(this, LockId(key));
}
