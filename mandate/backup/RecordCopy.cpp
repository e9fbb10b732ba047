#include "mandate/backup/RecordCopy.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/AtomicFile.h"
#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/PgEngine.h"
#include "mandate/pendra/SqliteEngine.h"
#include "mandate/pendra/SqliteSchema.h"
#include "mandate/pendra/SqliteSupport.h"

namespace backup::records {
namespace {

Error Fail(Error::Code code, std::string path, std::string detail = {}) {
    return Error{code, std::move(path), std::move(detail)};
}

// A file descriptor closed on every way out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    int Close() {
        const int rc = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

std::optional<Error> SyncFile(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0 || ::fsync(fd.Get()) != 0) return Fail(Error::Code::kWrite, path, std::strerror(errno));
    return std::nullopt;
}

// A full disk or a failing write is the backup file's fault, anything else the database's.
Error SqliteFailure(int rc, const std::string& file, const std::string& what, sqlite3* db) {
    const int primary = rc & 0xff;
    const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    if (primary == SQLITE_FULL || primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN ||
        primary == SQLITE_READONLY || primary == SQLITE_PERM)
        return Fail(Error::Code::kWrite, file, message);
    return Fail(Error::Code::kDatabase, what, message);
}

// Copies every page of `source` into `target` in one step: one read
// transaction on the source, one write transaction on the target.
int CopyDatabase(sqlite3* target, sqlite3* source) {
    sqlite3_backup* copy = sqlite3_backup_init(target, "main", source, "main");
    if (!copy) return sqlite3_errcode(target);
    int rc = sqlite3_backup_step(copy, -1);
    const int finish = sqlite3_backup_finish(copy);
    if (rc == SQLITE_DONE) rc = finish;
    return rc;
}

struct PgTableCopy {
    const char* table;
    const char* columns;
};

// Every table of an SQL mandate, in the order they are put back.
constexpr PgTableCopy kPgTables[] = {
    {"meta", "name, value"},         {"settings", "section, key, value"},
    {"tax", "id, rec"},              {"konto", "number, taxid, rec"},
    {"buch", "number, taxid, rec"},
};

std::string PgFileName(const PgTableCopy& table) { return std::string(table.table) + ".copy"; }

std::string PgMessage(PGconn* conn) {
    std::string message = PQerrorMessage(conn);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    return message;
}

// Runs a statement without rows; the server's message on failure.
std::optional<std::string> PgRun(PGconn* conn, const char* sql) {
    PGresult* result = PQexec(conn, sql);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    if (ok) return std::nullopt;
    return PgMessage(conn);
}

// COMMIT of a transaction that failed answers "ROLLBACK", not an error.
std::optional<std::string> PgCommit(PGconn* conn) {
    PGresult* result = PQexec(conn, "COMMIT");
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK && std::strcmp(PQcmdStatus(result), "COMMIT") == 0;
    PQclear(result);
    if (ok) return std::nullopt;
    const std::string message = PgMessage(conn);
    return message.empty() ? std::string("transaction rolled back") : message;
}

// Collects the results left after a COPY; true when the COPY succeeded.
bool PgFinishCopy(PGconn* conn) {
    bool ok = true;
    while (PGresult* result = PQgetResult(conn)) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK) ok = false;
        PQclear(result);
    }
    return ok;
}

// One table out into `path`. The COPY is read to its end even after a write
// failed, so that the connection is usable again for the rollback.
std::optional<Error> PgCopyOut(PGconn* conn, const PgTableCopy& table, const std::string& path,
                               const std::string& database) {
    std::optional<Error> databaseError;
    const auto copyInto = [&](int fd, const std::string& tempPath) -> atomicfile::Result {
        const std::string sql = std::string("COPY ") + table.table + "(" + table.columns + ") TO STDOUT";
        PGresult* start = PQexec(conn, sql.c_str());
        const bool copying = PQresultStatus(start) == PGRES_COPY_OUT;
        PQclear(start);
        if (!copying) databaseError = Fail(Error::Code::kDatabase, database, PgMessage(conn));
        atomicfile::Result written;
        for (;;) {
            if (!copying) break;
            char* buffer = nullptr;
            const int got = PQgetCopyData(conn, &buffer, 0);
            if (got > 0) {
                if (written) written = atomicfile::WriteAll(fd, {buffer, static_cast<std::size_t>(got)}, tempPath);
                PQfreemem(buffer);
                continue;
            }
            if (buffer) PQfreemem(buffer);
            break;  // -1: done, -2: failed (PgFinishCopy tells)
        }
        if (copying && !PgFinishCopy(conn) && written) databaseError = Fail(Error::Code::kDatabase, database, PgMessage(conn));
        if (databaseError) return atomicfile::Failed(atomicfile::Result::Side::kSource, EIO, "read", database);
        return written;
    };
    const atomicfile::Result stored = atomicfile::Replace(path, copyInto);
    if (databaseError) return databaseError;
    if (!stored) return Fail(Error::Code::kWrite, stored.path, std::strerror(stored.error));
    return std::nullopt;
}

// One table in from `path`; a file that cannot be read ends the COPY with an error.
std::optional<Error> PgCopyIn(PGconn* conn, const PgTableCopy& table, const std::string& path,
                              const std::string& database) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return Fail(Error::Code::kRead, path, std::strerror(errno));
    const std::string sql = std::string("COPY ") + table.table + "(" + table.columns + ") FROM STDIN";
    PGresult* start = PQexec(conn, sql.c_str());
    const bool copying = PQresultStatus(start) == PGRES_COPY_IN;
    PQclear(start);
    if (!copying) return Fail(Error::Code::kDatabase, database, PgMessage(conn));
    int readError = 0;
    bool sent = true;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) readError = errno;
        if (got <= 0) break;
        if (PQputCopyData(conn, buffer, static_cast<int>(got)) != 1) {
            sent = false;
            break;
        }
    }
    PQputCopyEnd(conn, readError != 0 ? "backup file unreadable" : nullptr);
    const bool copied = PgFinishCopy(conn) && sent;
    if (readError != 0) return Fail(Error::Code::kRead, path, std::strerror(readError));
    if (!copied) return Fail(Error::Code::kDatabase, database, PgMessage(conn));
    return std::nullopt;
}

std::string DatabaseName(PGconn* conn) {
    const char* name = PQdb(conn);
    return name ? name : "";
}

}  // namespace

std::optional<Error> SaveSqlite(SqliteEngine& engine, const std::string& target) {
    engine.ReleaseCaches();  // no statement of ours keeps an older snapshot open
    pendra::sqlite::Connection copy;
    int rc = copy.Open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
    if (rc != SQLITE_OK) return Fail(Error::Code::kWrite, target, sqlite3_errstr(rc));
    rc = CopyDatabase(copy.Get(), engine.Db());
    if (rc != SQLITE_OK) return SqliteFailure(rc, target, sqlite3_db_filename(engine.Db(), "main"), copy.Get());
    // The copied header still says WAL; a plain rollback journal lets the copy
    // be read where nothing may be written (a read-only backup folder).
    rc = pendra::sqlite::Exec(copy.Get(), "PRAGMA journal_mode=DELETE");
    if (rc != SQLITE_OK) return SqliteFailure(rc, target, target, copy.Get());
    return SyncFile(target);
}

std::optional<Error> CheckSqlite(const std::string& file) {
    const int header = pendra::schema::CheckHeader(file);
    if (header != pendra::kOk) return Fail(Error::Code::kDamaged, file, "status " + std::to_string(header));
    pendra::sqlite::Connection copy;
    int rc = copy.Open(file, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    if (rc != SQLITE_OK) return Fail(Error::Code::kRead, file, sqlite3_errstr(rc));
    MandateMeta meta;
    const int status = pendra::schema::ReadMeta(copy.Get(), meta);
    if (status != pendra::kOk && status != pendra::kFormatTooOld)
        return Fail(Error::Code::kDamaged, file, "status " + std::to_string(status));
    pendra::sqlite::Statement check(copy.Get(), "PRAGMA quick_check");
    if (!check.Ok() || check.Step() != SQLITE_ROW) return Fail(Error::Code::kDamaged, file, sqlite3_errmsg(copy.Get()));
    const std::string verdict = check.ColumnBytes(0);
    if (verdict != "ok") return Fail(Error::Code::kDamaged, file, verdict);
    return std::nullopt;
}

std::optional<Error> RestoreSqlite(SqliteEngine& engine, const std::string& file) {
    engine.ReleaseCaches();  // the target connection must have no read transaction open
    pendra::sqlite::Connection copy;
    int rc = copy.Open(file, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    if (rc != SQLITE_OK) return Fail(Error::Code::kRead, file, sqlite3_errstr(rc));
    rc = CopyDatabase(engine.Db(), copy.Get());
    if (rc != SQLITE_OK) {
        return Fail(Error::Code::kDatabase, sqlite3_db_filename(engine.Db(), "main"), sqlite3_errmsg(engine.Db()));
    }
    return std::nullopt;
}

std::vector<std::string> PgFiles() {
    std::vector<std::string> names;
    for (const PgTableCopy& table : kPgTables) names.push_back(PgFileName(table));
    return names;
}

std::optional<Error> SavePg(PgEngine& engine, const std::string& folder) {
    PGconn* conn = engine.Conn().Get();
    const std::string database = DatabaseName(conn);
    // One snapshot for all tables; READ ONLY, so it can never change anything.
    if (auto message = PgRun(conn, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))
        return Fail(Error::Code::kDatabase, database, *message);
    std::optional<Error> error;
    if (auto message = PgRun(conn, "SET LOCAL client_encoding TO 'UTF8'"))
        error = Fail(Error::Code::kDatabase, database, *message);
    for (const PgTableCopy& table : kPgTables) {
        if (error) break;
        error = PgCopyOut(conn, table, folder + "/" + PgFileName(table), database);
    }
    if (!error) {
        if (auto message = PgCommit(conn)) error = Fail(Error::Code::kDatabase, database, *message);
    } else {
        PgRun(conn, "ROLLBACK");
    }
    return error;
}

std::optional<Error> RestorePg(PgEngine& engine, const std::string& folder) {
    PGconn* conn = engine.Conn().Get();
    const std::string database = DatabaseName(conn);
    if (auto message = PgRun(conn, "BEGIN")) return Fail(Error::Code::kDatabase, database, *message);
    std::optional<Error> error;
    if (auto message = PgRun(conn, "SET LOCAL client_encoding TO 'UTF8'"))
        error = Fail(Error::Code::kDatabase, database, *message);
    for (const PgTableCopy& table : kPgTables) {
        if (error) break;
        const std::string sql = std::string("DELETE FROM ") + table.table;
        if (auto message = PgRun(conn, sql.c_str())) error = Fail(Error::Code::kDatabase, database, *message);
    }
    for (const PgTableCopy& table : kPgTables) {
        if (error) break;
        error = PgCopyIn(conn, table, folder + "/" + PgFileName(table), database);
    }
    if (!error) {
        if (auto message = PgCommit(conn)) error = Fail(Error::Code::kDatabase, database, *message);
    } else {
        PgRun(conn, "ROLLBACK");
    }
    return error;
}

}  // namespace backup::records
