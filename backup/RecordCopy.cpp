#include "backup/RecordCopy.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Strings.h"
#include "base/AtomicFile.h"
#include "pendra/PendraStatus.h"
#include "pendra/PgEngine.h"
#include "pendra/SqliteEngine.h"
#include "pendra/SqliteSchema.h"
#include "pendra/SqliteSupport.h"
#include "pendra/TaxIdText.h"

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
    if (fd.Get() < 0 || ::fsync(fd.Get()) != 0) return Fail(Error::Code::kWrite, path, SystemText(errno));
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

// A table of a mandate with the columns a copy carries, the same in both engines.
struct TableCopy {
    const char* table;
    const char* columns;
};

// Every table of a mandate, in the order they are put back.
constexpr TableCopy kTables[] = {
    {"meta", "name, value"},         {"settings", "section, key, value"},
    {"tax", "id, rec"},              {"konto", "number, taxid, rec"},
    {"buch", "number, taxid, rec"},
};

const TableCopy& TableNamed(const std::string& name) {
    for (const TableCopy& table : kTables)
        if (name == table.table) return table;
    return kTables[0];
}

std::string PgFileName(const std::string& table) { return table + ".copy"; }

// The keys bookings use that a restore would remove, as "ID (N)" texts, and
// the number of those bookings: what the refusal names.
Error BookedKeysError(const std::vector<std::pair<std::string, long long>>& booked) {
    std::string keys;
    long long bookings = 0;
    for (const auto& [id, count] : booked) {
        if (!keys.empty()) keys += ", ";
        keys += pendra::DecodeTaxId(id);
        bookings += count;
    }
    return Fail(Error::Code::kBookedKeys, keys, std::to_string(bookings));
}

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
std::optional<Error> PgCopyOut(PGconn* conn, const TableCopy& table, const std::string& path,
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
    if (!stored) return Fail(Error::Code::kWrite, stored.path, SystemText(stored.error));
    return std::nullopt;
}

// One table in from `path`; a file that cannot be read ends the COPY with an error.
std::optional<Error> PgCopyIn(PGconn* conn, const TableCopy& table, const std::string& path,
                              const std::string& database) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return Fail(Error::Code::kRead, path, SystemText(errno));
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
    if (readError != 0) return Fail(Error::Code::kRead, path, SystemText(readError));
    if (!copied) return Fail(Error::Code::kDatabase, database, PgMessage(conn));
    return std::nullopt;
}

std::string DatabaseName(PGconn* conn) {
    const char* name = PQdb(conn);
    return name ? name : "";
}

}  // namespace

const std::vector<std::string>& SavedTables() {
    static const std::vector<std::string> tables = {"meta", "settings", "tax", "konto"};
    return tables;
}

const std::vector<std::string>& RestoredTables() {
    static const std::vector<std::string> tables = {"settings", "tax", "konto"};
    return tables;
}

namespace {

constexpr const char* kAttached = "backup_copy";

// The copy is new in the backup's staging folder and counts only once it is
// synced whole and its folder renamed into place (MandateBackupTake.cpp): a
// failure on the way drops the folder, so its writes need neither a rollback
// journal nor syncs of their own: SyncFile makes the whole file durable once.
std::string Unjournalled(const std::string& schema) {
    return "PRAGMA " + schema + ".journal_mode=OFF; PRAGMA " + schema + ".synchronous=OFF";
}

// The backup database attached to the mandate's connection under kAttached
// for as long as this lives.
class Attached {
public:
    Attached(sqlite3* db, const std::string& file) : db_(db) {
        pendra::sqlite::Statement attach(db, std::string("ATTACH DATABASE ?1 AS ") + kAttached);
        if (!attach.Ok()) {
            rc_ = attach.PrepareResult();
            return;
        }
        attach.BindText(1, file);
        rc_ = attach.Step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    }
    ~Attached() {
        if (rc_ == SQLITE_OK) pendra::sqlite::Exec(db_, (std::string("DETACH DATABASE ") + kAttached).c_str());
    }
    Attached(const Attached&) = delete;
    Attached& operator=(const Attached&) = delete;
    int Rc() const { return rc_; }

private:
    sqlite3* db_;
    int rc_ = SQLITE_OK;
};

// Copies `table` from schema `from` into schema `to` of `db`, replacing its rows.
int CopyTable(sqlite3* db, const std::string& table, const std::string& from, const std::string& to) {
    const TableCopy& copy = TableNamed(table);
    const std::string sql = "DELETE FROM " + to + "." + table + "; INSERT INTO " + to + "." + table + "(" +
                            copy.columns + ") SELECT " + copy.columns + " FROM " + from + "." + table;
    return pendra::sqlite::Exec(db, sql.c_str());
}

// The tax ids the mandate's bookings use that `otherSchema` has no key for,
// with the number of bookings each.
int BookedKeysMissingIn(sqlite3* db, const std::string& otherSchema,
                        std::vector<std::pair<std::string, long long>>& booked) {
    pendra::sqlite::Statement rows(
        db, "SELECT taxid, count(*) FROM main.buch WHERE taxid IN (SELECT id FROM main.tax EXCEPT SELECT id FROM " +
                otherSchema + ".tax) GROUP BY taxid ORDER BY taxid");
    if (!rows.Ok()) return rows.PrepareResult();
    int rc;
    while ((rc = rows.Step()) == SQLITE_ROW) booked.emplace_back(rows.ColumnBytes(0), rows.ColumnInt(1));
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

}  // namespace

std::optional<Error> SaveSqlite(SqliteEngine& engine, const std::string& target) {
    engine.ReleaseCaches();  // no statement of ours keeps an older snapshot open
    {
        // An empty mandate database of ours: it reads like one, bookings and all.
        pendra::sqlite::Connection copy;
        int rc = copy.Open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
        if (rc == SQLITE_OK) rc = pendra::sqlite::Exec(copy.Get(), Unjournalled("main").c_str());
        if (rc == SQLITE_OK) {
            const std::string id = "PRAGMA application_id=" + std::to_string(pendra::schema::kApplicationId);
            rc = pendra::sqlite::Exec(copy.Get(), id.c_str());
        }
        if (rc == SQLITE_OK) rc = pendra::sqlite::Exec(copy.Get(), pendra::schema::kCreateSql);
        if (rc != SQLITE_OK) return SqliteFailure(rc, target, target, copy.Get());
    }
    sqlite3* db = engine.Db();
    const std::string database = sqlite3_db_filename(db, "main");
    Attached attached(db, target);
    if (attached.Rc() != SQLITE_OK) return SqliteFailure(attached.Rc(), target, database, db);
    if (const int rc = pendra::sqlite::Exec(db, Unjournalled(kAttached).c_str()); rc != SQLITE_OK)
        return SqliteFailure(rc, target, database, db);
    // One transaction: every table from the same state of the mandate.
    pendra::sqlite::Transaction transaction(db, false);
    if (transaction.BeginStatus() != pendra::kOk)
        return Fail(Error::Code::kDatabase, database, sqlite3_errmsg(db));
    for (const std::string& table : SavedTables()) {
        if (const int rc = CopyTable(db, table, "main", kAttached); rc != SQLITE_OK)
            return SqliteFailure(rc, target, database, db);
    }
    if (const int status = transaction.Commit(); status != pendra::kOk)
        return Fail(Error::Code::kWrite, target, sqlite3_errmsg(db));
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
    std::string detail;
    if (pendra::schema::CheckTables(copy.Get(), "main", detail) != pendra::kOk)
        return Fail(Error::Code::kDamaged, file, detail);
    return std::nullopt;
}

std::optional<Error> RestoreSqlite(SqliteEngine& engine, const std::string& file) {
    engine.ReleaseCaches();  // the connection must have no read transaction open
    sqlite3* db = engine.Db();
    const std::string database = sqlite3_db_filename(db, "main");
    Attached attached(db, file);
    if (attached.Rc() != SQLITE_OK) return Fail(Error::Code::kRead, file, sqlite3_errmsg(db));
    std::optional<Error> error;
    {
        pendra::sqlite::Transaction transaction(db, false);
        if (transaction.BeginStatus() != pendra::kOk)
            return Fail(Error::Code::kDatabase, database, sqlite3_errmsg(db));
        std::vector<std::pair<std::string, long long>> booked;
        if (BookedKeysMissingIn(db, kAttached, booked) != SQLITE_OK)
            return Fail(Error::Code::kDatabase, database, sqlite3_errmsg(db));
        if (!booked.empty()) return BookedKeysError(booked);
        for (const std::string& table : RestoredTables()) {
            if (CopyTable(db, table, kAttached, "main") != SQLITE_OK) {
                error = Fail(Error::Code::kDatabase, database, sqlite3_errmsg(db));
                break;
            }
        }
        if (!error && transaction.Commit() != pendra::kOk)
            error = Fail(Error::Code::kDatabase, database, sqlite3_errmsg(db));
    }
    engine.ReleaseCaches();
    return error;
}

namespace {

// The query that finds a row of `table` in one of `a` and `b` but not the other.
std::string DiffersSql(const std::string& table, const std::string& a, const std::string& b) {
    const std::string columns = TableNamed(table).columns;
    return "SELECT EXISTS (SELECT " + columns + " FROM " + a + " EXCEPT SELECT " + columns + " FROM " + b +
           ") OR EXISTS (SELECT " + columns + " FROM " + b + " EXCEPT SELECT " + columns + " FROM " + a + ")";
}

}  // namespace

std::optional<Error> SameAsSqlite(SqliteEngine& engine, const std::string& file, bool& same) {
    same = false;
    engine.ReleaseCaches();
    sqlite3* db = engine.Db();
    Attached attached(db, file);
    if (attached.Rc() != SQLITE_OK) return Fail(Error::Code::kRead, file, sqlite3_errmsg(db));
    for (const std::string& table : RestoredTables()) {
        pendra::sqlite::Statement differs(db, DiffersSql(table, "main." + table, std::string(kAttached) + "." + table));
        if (!differs.Ok() || differs.Step() != SQLITE_ROW)
            return Fail(Error::Code::kDatabase, sqlite3_db_filename(db, "main"), sqlite3_errmsg(db));
        if (differs.ColumnInt(0) != 0) return std::nullopt;
    }
    same = true;
    return std::nullopt;
}

std::vector<std::string> PgFiles(const std::vector<std::string>& tables) {
    std::vector<std::string> names;
    for (const std::string& table : tables) names.push_back(PgFileName(table));
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
    for (const std::string& table : SavedTables()) {
        if (error) break;
        error = PgCopyOut(conn, TableNamed(table), folder + "/" + PgFileName(table), database);
    }
    if (!error) {
        if (auto message = PgCommit(conn)) error = Fail(Error::Code::kDatabase, database, *message);
    } else {
        PgRun(conn, "ROLLBACK");
    }
    return error;
}

namespace {

// The backup's keys go into a temporary table first, so that the bookings
// can be checked against them before anything is replaced.
constexpr TableCopy kRestoreTax = {"restore_tax", "id, rec"};

std::optional<Error> PgBookedKeysMissing(PGconn* conn, const std::string& database) {
    PGresult* rows = PQexec(conn,
                            "SELECT taxid, count(*) FROM buch WHERE taxid IN "
                            "(SELECT id FROM tax EXCEPT SELECT id FROM restore_tax) GROUP BY taxid ORDER BY taxid");
    if (PQresultStatus(rows) != PGRES_TUPLES_OK) {
        PQclear(rows);
        return Fail(Error::Code::kDatabase, database, PgMessage(conn));
    }
    std::vector<std::pair<std::string, long long>> booked;
    for (int row = 0; row < PQntuples(rows); ++row) {
        std::size_t length = 0;
        unsigned char* id =
            PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(rows, row, 0)), &length);
        booked.emplace_back(id ? std::string(reinterpret_cast<const char*>(id), length) : std::string(),
                            std::atoll(PQgetvalue(rows, row, 1)));
        PQfreemem(id);
    }
    PQclear(rows);
    if (booked.empty()) return std::nullopt;
    return BookedKeysError(booked);
}

std::optional<Error> PgRestoreTables(PGconn* conn, const std::string& folder, const std::string& database) {
    if (auto message = PgRun(conn, "SET LOCAL client_encoding TO 'UTF8'"))
        return Fail(Error::Code::kDatabase, database, *message);
    if (auto message = PgRun(conn, "CREATE TEMPORARY TABLE restore_tax(id bytea, rec bytea) ON COMMIT DROP"))
        return Fail(Error::Code::kDatabase, database, *message);
    if (auto error = PgCopyIn(conn, kRestoreTax, folder + "/" + PgFileName("tax"), database)) return error;
    if (auto error = PgBookedKeysMissing(conn, database)) return error;
    for (const std::string& table : RestoredTables()) {
        const std::string sql = "DELETE FROM " + table;
        if (auto message = PgRun(conn, sql.c_str())) return Fail(Error::Code::kDatabase, database, *message);
    }
    for (const std::string& table : RestoredTables()) {
        if (table == "tax") {
            if (auto message = PgRun(conn, "INSERT INTO tax(id, rec) SELECT id, rec FROM restore_tax"))
                return Fail(Error::Code::kDatabase, database, *message);
        } else if (auto error = PgCopyIn(conn, TableNamed(table), folder + "/" + PgFileName(table), database)) {
            return error;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Error> RestorePg(PgEngine& engine, const std::string& folder) {
    PGconn* conn = engine.Conn().Get();
    const std::string database = DatabaseName(conn);
    if (auto message = PgRun(conn, "BEGIN")) return Fail(Error::Code::kDatabase, database, *message);
    std::optional<Error> error = PgRestoreTables(conn, folder, database);
    if (!error) {
        if (auto message = PgCommit(conn)) error = Fail(Error::Code::kDatabase, database, *message);
    } else {
        PgRun(conn, "ROLLBACK");
    }
    engine.ReleaseCaches();
    return error;
}

namespace {

// SameAsPg inside its transaction: each table of the backup into a temporary
// table, compared with the mandate's.
std::optional<Error> PgCompareTables(PGconn* conn, const std::string& folder, const std::string& database,
                                     bool& same) {
    if (auto message = PgRun(conn, "SET LOCAL client_encoding TO 'UTF8'"))
        return Fail(Error::Code::kDatabase, database, *message);
    for (const std::string& table : RestoredTables()) {
        const std::string copy = "same_" + table;
        const std::string columns = TableNamed(table).columns;
        const std::string create =
            "CREATE TEMPORARY TABLE " + copy + " AS SELECT " + columns + " FROM " + table + " WITH NO DATA";
        if (auto message = PgRun(conn, create.c_str())) return Fail(Error::Code::kDatabase, database, *message);
        if (auto error = PgCopyIn(conn, TableCopy{copy.c_str(), columns.c_str()}, folder + "/" + PgFileName(table),
                                  database))
            return error;
        PGresult* differs = PQexec(conn, DiffersSql(table, table, copy).c_str());
        const bool read = PQresultStatus(differs) == PGRES_TUPLES_OK && PQntuples(differs) == 1;
        const bool different = read && std::string(PQgetvalue(differs, 0, 0)) != "f";
        PQclear(differs);
        if (!read) return Fail(Error::Code::kDatabase, database, PgMessage(conn));
        if (different) return std::nullopt;
    }
    same = true;
    return std::nullopt;
}

}  // namespace

std::optional<Error> SameAsPg(PgEngine& engine, const std::string& folder, bool& same) {
    same = false;
    PGconn* conn = engine.Conn().Get();
    const std::string database = DatabaseName(conn);
    if (auto message = PgRun(conn, "BEGIN")) return Fail(Error::Code::kDatabase, database, *message);
    std::optional<Error> error = PgCompareTables(conn, folder, database, same);
    PgRun(conn, "ROLLBACK");  // the temporary tables go with it
    engine.ReleaseCaches();
    return error;
}

}  // namespace backup::records
