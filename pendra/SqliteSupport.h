#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Small RAII helpers over the SQLite C API, shared by the file engine and
// mandate creation.
namespace pendra::sqlite {

// PendraStatus for an SQLite result code.
int StatusFrom(int rc);

// One prepared statement; finalized on destruction.
class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return stmt_ != nullptr; }
    int PrepareResult() const { return prepareRc_; }
    sqlite3_stmt* Get() const { return stmt_; }
    void Reset();
    void Finalize();

    void BindBytes(int index, const std::string& bytes);
    void BindInt(int index, std::int64_t value);
    void BindText(int index, const std::string& text);
    int Step() { return sqlite3_step(stmt_); }

    std::string ColumnBytes(int column) const;
    std::int64_t ColumnInt(int column) const { return sqlite3_column_int64(stmt_, column); }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int prepareRc_ = SQLITE_OK;
};

// Runs SQL without results; SQLite result code.
int Exec(sqlite3* db, const char* sql);

// A write transaction: BEGIN IMMEDIATE, or a savepoint when nested inside an
// open one. Rolled back on destruction unless committed.
class Transaction {
public:
    Transaction(sqlite3* db, bool nested);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    int BeginStatus() const { return beginStatus_; }
    int Commit();

private:
    sqlite3* db_;
    bool nested_;
    bool open_ = false;
    int beginStatus_ = 0;
};

// An owned connection, closed on destruction.
class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    int Open(const std::string& path, int flags);
    // Closes the connection and opens `path` instead.
    int Reopen(const std::string& path, int flags);
    sqlite3* Get() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// Whether anything (a file, a folder, a link) is at `path`.
bool Exists(const std::string& path);
// "file:" URI of `path` with immutable=1: SQLite reads the file alone, with
// no lock, no -shm and no -wal file; open it with SQLITE_OPEN_URI.
std::string ImmutableUri(const std::string& path);

// Runs `read` on `connection`, opened read-only on `dbPath` with `flags`.
// Where SQLite cannot read a WAL database because its -shm file cannot be
// created (a read-only medium or folder) and no -wal file exists, everything
// is in the database file itself and nobody can write without creating one:
// the database is opened again as immutable and read once more. Reading needs
// no write. The PendraStatus of the read, or of the second open.
int ReadEvenWithoutShm(Connection& connection, const std::string& dbPath, int flags,
                       const std::function<int(sqlite3*)>& read);

}  // namespace pendra::sqlite
