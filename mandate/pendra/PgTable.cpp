#include "mandate/pendra/PgTable.h"

#include <cstring>

#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/PgEngine.h"

using pendra::pg::Connection;
using pendra::pg::Param;
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

PgTable::PgTable(PgEngine& engine, const TableLayout& layout) : engine_(&engine), layout_(layout) {
    engine.Register(this);
}

PgTable::~PgTable() {
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

int PgTable::ReadOne(const std::string& sql, const std::vector<Param>& params,
                     unsigned char* record, std::string& key, int notFound) {
    if (!engine_) return pendra::kFileNotOpen;
    const Connection& connection = engine_->Conn();
    Result result = connection.Exec(sql, params);
    if (!Connection::Succeeded(result.get())) return connection.StatusOf(result.get());
    if (PQntuples(result.get()) == 0) return notFound;
    if (PQgetlength(result.get(), 0, 1) != static_cast<int>(layout_.recordSize)) {
        return pendra::kNotADatabase;  // a record of the wrong size: not written by us
    }
    std::memcpy(record, PQgetvalue(result.get(), 0, 1), layout_.recordSize);
    const char* keyBytes = PQgetvalue(result.get(), 0, 0);
    key = layout_.integerKey
              ? EncodeIntKey(pendra::pg::Int4FromBinary(keyBytes))
              : std::string(keyBytes, static_cast<std::size_t>(PQgetlength(result.get(), 0, 0)));
    return pendra::kOk;
}

int PgTable::ReadFirst(unsigned char* record, std::string& key) {
    return ReadOne(Sql("SELECT {K}, rec FROM {T} ORDER BY {K} LIMIT 1"), {}, record, key,
                   pendra::kEndOfFile);
}

int PgTable::ReadAfter(const std::string& after, unsigned char* record, std::string& key) {
    return ReadOne(Sql("SELECT {K}, rec FROM {T} WHERE {K} > $1{C} ORDER BY {K} LIMIT 1"),
                   {KeyParam(after)}, record, key, pendra::kEndOfFile);
}

int PgTable::ReadEqual(const std::string& key, unsigned char* record) {
    std::string found;
    return ReadOne(Sql("SELECT {K}, rec FROM {T} WHERE {K} = $1{C}"), {KeyParam(key)}, record,
                   found, pendra::kKeyNotFound);
}

int PgTable::ReadFirstByTaxId(const std::string& taxId, unsigned char* record,
                              std::string& key) {
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    return ReadOne(Sql("SELECT {K}, rec FROM {T} WHERE taxid = $1::bytea ORDER BY {K} LIMIT 1"),
                   {{taxId, true}}, record, key, pendra::kKeyNotFound);
}

int PgTable::ReadAfterByTaxId(const std::string& taxId, const std::string& after,
                              unsigned char* record, std::string& key) {
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    return ReadOne(Sql("SELECT {K}, rec FROM {T} WHERE taxid = $1::bytea AND {K} > $2{C} "
                       "ORDER BY {K} LIMIT 1"),
                   {{taxId, true}, KeyParam(after)}, record, key, pendra::kKeyNotFound);
}

int PgTable::ExistsWithTaxId(const std::string& taxId) {
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    const Connection& connection = engine_->Conn();
    Result result = connection.Exec(Sql("SELECT 1 FROM {T} WHERE taxid = $1::bytea LIMIT 1"),
                                    {{taxId, true}});
    if (!Connection::Succeeded(result.get())) return connection.StatusOf(result.get());
    return PQntuples(result.get()) > 0 ? pendra::kOk : pendra::kKeyNotFound;
}

int PgTable::Insert(const unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    const std::string key = layout_.KeyOf(record);
    const Param rec{std::string(reinterpret_cast<const char*>(record), layout_.recordSize), true};
    const std::string sql = layout_.hasTaxIndex
                                ? "INSERT INTO {T}({K}, taxid, rec) VALUES($1{C}, $2::bytea, $3::bytea)"
                                : "INSERT INTO {T}({K}, rec) VALUES($1{C}, $2::bytea)";
    std::vector<Param> params{KeyParam(key)};
    if (layout_.hasTaxIndex) params.push_back({layout_.TaxIdOf(record), true});
    params.push_back(rec);
    const Connection& connection = engine_->Conn();
    return engine_->RunWrite([&]() -> int {
        Result result = connection.Exec(Sql(sql), params);
        return Connection::Succeeded(result.get()) ? pendra::kOk : connection.StatusOf(result.get());
    });
}

int PgTable::WriteLocked(const std::string& key, const std::string& sql,
                         const std::vector<Param>& params) {
    bool taken = false;
    const std::uint64_t lockId = LockId(key);
    int status = engine_->LockForWrite(this, lockId, taken);
    if (status != pendra::kOk) return status;
    const Connection& connection = engine_->Conn();
    status = engine_->RunWrite([&]() -> int {
        Result result = connection.Exec(sql, params);
        if (!Connection::Succeeded(result.get())) return connection.StatusOf(result.get());
        return std::strcmp(PQcmdTuples(result.get()), "0") == 0 ? pendra::kKeyNotFound
                                                               : pendra::kOk;
    });
    if (taken) engine_->UnlockRecord(this, lockId);
    return status;
}

int PgTable::Update(const std::string& key, const unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    if (layout_.KeyOf(record) != key) return pendra::kBadArgument;
    const Param rec{std::string(reinterpret_cast<const char*>(record), layout_.recordSize), true};
    if (layout_.hasTaxIndex) {
        return WriteLocked(key, Sql("UPDATE {T} SET taxid = $2::bytea, rec = $3::bytea WHERE {K} = $1{C}"),
                           {KeyParam(key), {layout_.TaxIdOf(record), true}, rec});
    }
    return WriteLocked(key, Sql("UPDATE {T} SET rec = $2::bytea WHERE {K} = $1{C}"),
                       {KeyParam(key), rec});
}

int PgTable::Delete(const std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    return WriteLocked(key, Sql("DELETE FROM {T} WHERE {K} = $1{C}"), {KeyParam(key)});
}

int PgTable::LockRecord(const std::string& key, bool wait) {
    if (!engine_) return pendra::kFileNotOpen;
    return engine_->LockRecord(this, LockId(key), wait);
}

void PgTable::UnlockRecord(const std::string& key) {
    if (engine_) engine_->UnlockRecord(this, LockId(key));
}
