#include "pendra/SqliteSupport.h"

#include <sys/stat.h>

#include <utility>

#include "pendra/PendraStatus.h"

namespace pendra::sqlite {

int StatusFrom(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW: return kOk;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
        case SQLITE_MISMATCH:
        case SQLITE_ERROR: return kNotADatabase;  // missing tables or columns: not ours
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return kFileLocked;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH: return kAccessDenied;
        case SQLITE_CONSTRAINT: return kDuplicateKey;
        case SQLITE_CANTOPEN: return kFileNotFound;
        default: return kIoError;
    }
}

Statement::Statement(sqlite3* db, std::string_view sql) {
    prepareRc_ = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    if (prepareRc_ != SQLITE_OK) Finalize();
}

Statement::~Statement() { Finalize(); }

Statement::Statement(Statement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)), prepareRc_(other.prepareRc_) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        Finalize();
        stmt_ = std::exchange(other.stmt_, nullptr);
        prepareRc_ = other.prepareRc_;
    }
    return *this;
}

void Statement::Reset() {
    if (stmt_) sqlite3_reset(stmt_);
}

void Statement::Finalize() {
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = nullptr;
}

void Statement::BindBytes(int index, const std::string& bytes) {
    // data() is never null, so an empty key binds as an empty blob, not NULL.
    sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
}

void Statement::BindInt(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }

void Statement::BindText(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string Statement::ColumnBytes(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    if (!data || size <= 0) return {};
    return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

Transaction::Transaction(sqlite3* db, bool nested) : db_(db), nested_(nested) {
    int rc = Exec(db_, nested_ ? "SAVEPOINT pendra_write" : "BEGIN IMMEDIATE");
    open_ = rc == SQLITE_OK;
    beginStatus_ = StatusFrom(rc);
}

Transaction::~Transaction() {
    if (!open_) return;
    if (nested_) {
        Exec(db_, "ROLLBACK TO pendra_write");
        Exec(db_, "RELEASE pendra_write");
    } else {
        Exec(db_, "ROLLBACK");
    }
}

int Transaction::Commit() {
    int rc = Exec(db_, nested_ ? "RELEASE pendra_write" : "COMMIT");
    if (rc == SQLITE_OK) open_ = false;
    return StatusFrom(rc);
}

Connection::~Connection() {
    if (db_) sqlite3_close_v2(db_);
}

int Connection::Reopen(const std::string& path, int flags) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return Open(path, flags);
}

int Connection::Open(const std::string& path, int flags) {
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    return rc;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// "file:" URI of `path` with immutable=1; the characters a URI gives meaning to are escaped.
std::string ImmutableUri(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7F) {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri + "?immutable=1";
}


int ReadEvenWithoutShm(Connection& connection, const std::string& dbPath, int flags,
                       const std::function<int(sqlite3*)>& read) {
    const int status = read(connection.Get());
    // CANTOPEN on a read-only medium, READONLY in a folder the user may not write.
    const bool shmUnopenable = status == pendra::kFileNotFound || status == pendra::kAccessDenied;
    if (!shmUnopenable || Exists(dbPath + "-wal")) return status;
    if (const int rc = connection.Reopen(ImmutableUri(dbPath), flags | SQLITE_OPEN_URI);
        rc != SQLITE_OK)
        return StatusFrom(rc);
    return read(connection.Get());
}

}  // namespace pendra::sqlite
