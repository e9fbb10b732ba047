#include "pendra/SqliteTable.h"

#include <algorithm>
#include <cstring>

#include "pendra/PendraStatus.h"
#include "pendra/SqliteEngine.h"

using pendra::sqlite::StatusFrom;

namespace {

std::string Sql(const TableLayout& layout, std::string pattern) {
    // Patterns name the table "{T}" and the key column "{K}".
    for (auto [mark, name] : {std::pair{"{T}", layout.name}, std::pair{"{K}", layout.keyColumn}}) {
        for (std::size_t at; (at = pattern.find(mark)) != std::string::npos;) {
            pattern.replace(at, 3, name);
        }
    }
    return pattern;
}

// Releases a record lock taken only for the duration of one write.
class TemporaryRecordLock {
public:
    TemporaryRecordLock(RecordLockSet& locks, std::uint64_t offset) : locks_(locks), offset_(offset) {}
    ~TemporaryRecordLock() {
        if (taken_) locks_.Unlock(offset_);
    }
    TemporaryRecordLock(const TemporaryRecordLock&) = delete;
    TemporaryRecordLock& operator=(const TemporaryRecordLock&) = delete;
    int Take() {
        if (locks_.Holds(offset_)) return pendra::kOk;  // this handle's own record lock
        int status = locks_.Lock(offset_, false);
        taken_ = status == pendra::kOk;
        return status;
    }

private:
    RecordLockSet& locks_;
    std::uint64_t offset_;
    bool taken_ = false;
};

}  // namespace

SqliteTable::SqliteTable(SqliteEngine& engine, const TableLayout& layout)
    : engine_(&engine), layout_(layout), locks_(engine.LockPath()) {
    sqlite3* db = engine.Db();
    first_ = Statement(db, Sql(layout, "SELECT {K}, rec FROM {T} ORDER BY {K}"));
    after_ = Statement(db, Sql(layout, "SELECT {K}, rec FROM {T} WHERE {K} > ?1 ORDER BY {K}"));
    equal_ = Statement(db, Sql(layout, "SELECT {K}, rec FROM {T} WHERE {K} = ?1"));
    if (layout.hasTaxIndex) {
        firstByTax_ = Statement(
            db, Sql(layout, "SELECT {K}, rec FROM {T} WHERE taxid = ?1 ORDER BY {K} LIMIT 1"));
        afterByTax_ = Statement(
            db, Sql(layout,
                "SELECT {K}, rec FROM {T} WHERE taxid = ?1 AND {K} > ?2 ORDER BY {K} LIMIT 1"));
        existsTax_ = Statement(db, Sql(layout, "SELECT 1 FROM {T} WHERE taxid = ?1 LIMIT 1"));
        countTax_ = Statement(db, Sql(layout, "SELECT count(*) FROM {T} WHERE taxid = ?1"));
        insert_ = Statement(db, Sql(layout, "INSERT INTO {T}({K}, taxid, rec) VALUES(?1, ?2, ?3)"));
        update_ = Statement(db, Sql(layout, "UPDATE {T} SET taxid = ?2, rec = ?3 WHERE {K} = ?1"));
    } else {
        insert_ = Statement(db, Sql(layout, "INSERT INTO {T}({K}, rec) VALUES(?1, ?3)"));
        update_ = Statement(db, Sql(layout, "UPDATE {T} SET rec = ?3 WHERE {K} = ?1"));
    }
    delete_ = Statement(db, Sql(layout, "DELETE FROM {T} WHERE {K} = ?1"));
    for (Statement* s : {&first_, &after_, &equal_, &insert_, &update_, &delete_}) {
        if (!s->Ok()) prepareStatus_ = StatusFrom(s->PrepareResult());
    }
    if (layout.hasTaxIndex) {
        for (Statement* s : {&firstByTax_, &afterByTax_, &existsTax_, &countTax_}) {
            if (!s->Ok()) prepareStatus_ = StatusFrom(s->PrepareResult());
        }
    }
    engine.Register(this);
}

SqliteTable::~SqliteTable() {
    if (engine_) engine_->Unregister(this);
}

void SqliteTable::Detach() {
    for (Statement* s : {&first_, &after_, &equal_, &firstByTax_, &afterByTax_, &existsTax_,
                         &countTax_, &insert_, &update_, &delete_}) {
        s->Finalize();
    }
    walk_ = nullptr;
    engine_ = nullptr;
}

void SqliteTable::ResetCursor() {
    if (walk_) walk_->Reset();
    walk_ = nullptr;
}

void SqliteTable::BindKey(Statement& statement, int index, const std::string& key) const {
    if (layout_.integerKey) {
        statement.BindInt(index, DecodeIntKey(key));
    } else {
        statement.BindBytes(index, key);
    }
}

int SqliteTable::Fetch(Statement& statement, unsigned char* record, std::string& key) const {
    sqlite3_stmt* s = statement.Get();
    if (sqlite3_column_bytes(s, 1) != static_cast<int>(layout_.recordSize)) {
        return pendra::kNotADatabase;  // a record of the wrong size: not written by us
    }
    std::memcpy(record, sqlite3_column_blob(s, 1), layout_.recordSize);
    if (layout_.integerKey) {
        key = EncodeIntKey(static_cast<std::int32_t>(statement.ColumnInt(0)));
    } else {
        key = statement.ColumnBytes(0);
    }
    return pendra::kOk;
}

int SqliteTable::StepWalk(unsigned char* record, std::string& key) {
    int rc = walk_->Step();
    if (rc == SQLITE_ROW) {
        int status = Fetch(*walk_, record, key);
        if (status == pendra::kOk) {
            walkKey_ = key;
            return status;
        }
        ResetCursor();
        return status;
    }
    ResetCursor();
    return rc == SQLITE_DONE ? pendra::kEndOfFile : StatusFrom(rc);
}

int SqliteTable::StepOnce(Statement& statement, unsigned char* record, std::string& key) {
    int rc = statement.Step();
    int status = rc == SQLITE_ROW    ? Fetch(statement, record, key)
                 : rc == SQLITE_DONE ? pendra::kKeyNotFound
                                     : StatusFrom(rc);
    statement.Reset();
    return status;
}

int SqliteTable::ReadFirst(unsigned char* record, std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    ResetCursor();
    engine_->BeforeRead();
    walk_ = &first_;
    int status = StepWalk(record, key);
    return status;
}

int SqliteTable::ReadAfter(const std::string& after, unsigned char* record, std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    const bool continues = walk_ && walkKey_ == after;
    if (continues) engine_->BeforeWalkStep();  // may reset the cursor
    if (!continues || !walk_) {
        ResetCursor();
        engine_->BeforeRead();
        sqlite3_clear_bindings(after_.Get());
        BindKey(after_, 1, after);
        walk_ = &after_;
    }
    return StepWalk(record, key);
}

int SqliteTable::ReadEqual(const std::string& key, unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    engine_->BeforeRead();
    BindKey(equal_, 1, key);
    std::string found;
    return StepOnce(equal_, record, found);
}

int SqliteTable::ReadFirstByTaxId(const std::string& taxId, unsigned char* record,
                                  std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    engine_->BeforeRead();
    firstByTax_.BindBytes(1, taxId);
    return StepOnce(firstByTax_, record, key);
}

int SqliteTable::ReadAfterByTaxId(const std::string& taxId, const std::string& after,
                                  unsigned char* record, std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    // The next record of a tax id walk: a step of it, though a statement of its own.
    engine_->BeforeWalkStep();
    afterByTax_.BindBytes(1, taxId);
    BindKey(afterByTax_, 2, after);
    return StepOnce(afterByTax_, record, key);
}

int SqliteTable::ExistsWithTaxId(const std::string& taxId) {
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    engine_->BeforeRead();
    existsTax_.BindBytes(1, taxId);
    int rc = existsTax_.Step();
    existsTax_.Reset();
    if (rc == SQLITE_ROW) return pendra::kOk;
    return rc == SQLITE_DONE ? pendra::kKeyNotFound : StatusFrom(rc);
}

int SqliteTable::CountWithTaxId(const std::string& taxId, std::size_t& count) {
    count = 0;
    if (!engine_) return pendra::kFileNotOpen;
    if (!layout_.hasTaxIndex) return pendra::kBadArgument;
    engine_->BeforeRead();
    countTax_.BindBytes(1, taxId);
    const int rc = countTax_.Step();
    if (rc == SQLITE_ROW) count = static_cast<std::size_t>(countTax_.ColumnInt(0));
    countTax_.Reset();
    return rc == SQLITE_ROW ? pendra::kOk : StatusFrom(rc);
}

int SqliteTable::Insert(const unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    std::string key = layout_.KeyOf(record);
    return engine_->RunWrite([&]() -> int {
        BindKey(insert_, 1, key);
        if (layout_.hasTaxIndex) insert_.BindBytes(2, layout_.TaxIdOf(record));
        sqlite3_bind_blob(insert_.Get(), 3, record, static_cast<int>(layout_.recordSize),
                          SQLITE_STATIC);
        int rc = insert_.Step();
        insert_.Reset();
        if (rc == SQLITE_DONE) return pendra::kOk;
        return (rc & 0xff) == SQLITE_CONSTRAINT ? pendra::kDuplicateKey : StatusFrom(rc);
    });
}

int SqliteTable::WriteLocked(const std::string& key, Statement& statement) {
    TemporaryRecordLock lock(locks_, RecordLockSet::OffsetOf(layout_.name, key));
    int status = lock.Take();
    if (status != pendra::kOk) return status;
    return engine_->RunWrite([&]() -> int {
        int rc = statement.Step();
        statement.Reset();
        if (rc != SQLITE_DONE) return StatusFrom(rc);
        return sqlite3_changes(engine_->Db()) == 0 ? pendra::kKeyNotFound : pendra::kOk;
    });
}

int SqliteTable::Update(const std::string& key, const unsigned char* record) {
    if (!engine_) return pendra::kFileNotOpen;
    if (layout_.KeyOf(record) != key) return pendra::kBadArgument;
    BindKey(update_, 1, key);
    if (layout_.hasTaxIndex) update_.BindBytes(2, layout_.TaxIdOf(record));
    sqlite3_bind_blob(update_.Get(), 3, record, static_cast<int>(layout_.recordSize),
                      SQLITE_STATIC);
    return WriteLocked(key, update_);
}

int SqliteTable::Delete(const std::string& key) {
    if (!engine_) return pendra::kFileNotOpen;
    BindKey(delete_, 1, key);
    return WriteLocked(key, delete_);
}

int SqliteTable::LockRecord(const std::string& key, bool wait) {
    if (!engine_) return pendra::kFileNotOpen;
    return locks_.Lock(RecordLockSet::OffsetOf(layout_.name, key), wait);
}

void SqliteTable::UnlockRecord(const std::string& key) {
    locks_.Unlock(RecordLockSet::OffsetOf(layout_.name, key));
}
