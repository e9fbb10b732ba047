#pragma once
#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Small RAII helpers over libpq for the SQL engine and SQL mandate creation.
namespace pendra::pg {

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// One parameter of a statement: bytes sent in binary (bytea) or text form.
struct Param {
    std::string value;
    bool binary = false;
};

// One statement of a pipeline. With a name it is prepared once per connection
// under that name (the same name must always carry the same text).
struct Query {
    std::string name;
    std::string sql;
    std::vector<Param> params;
};

class Connection {
public:
    Connection() = default;
    // Connects with `conninfo`; the application name tells other users' lists
    // which program and process holds the database.
    explicit Connection(const std::string& conninfo);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Ok() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }
    PGconn* Get() const { return conn_; }

    // Runs `sql` with `params`; results in binary form. Never null.
    Result Exec(const std::string& sql, const std::vector<Param>& params = {}) const;
    // Runs `query`, prepared once per connection when it has a name. Never null.
    Result Exec(const Query& query) const;
    // Sends `queries` in one round trip (libpq pipeline) and gives one result
    // each. After a failed one the rest are not run (PGRES_PIPELINE_ABORTED).
    std::vector<Result> ExecPipeline(const std::vector<Query>& queries) const;
    // Runs several statements without parameters; PendraStatus.
    int ExecScript(const std::string& sql) const;
    // Round trips to the server so far, and statements prepared on this connection.
    std::uint64_t RoundTrips() const { return roundTrips_; }
    std::size_t PreparedStatements() const { return prepared_.size(); }
    // True when `result` reports success (command or rows).
    static bool Succeeded(const PGresult* result);
    // PendraStatus for a failed result: kDuplicateKey for a unique violation,
    // kIoError when the connection is gone or the statement failed otherwise.
    int StatusOf(const PGresult* result) const;
    // True when the first column of the first row is the boolean true.
    bool QueryBool(const std::string& sql, const std::vector<Param>& params, int& status) const;

private:
    // False (with the failed result in `failure`) when `query` could not be prepared.
    bool Prepare(const Query& query, Result& failure) const;

    PGconn* conn_ = nullptr;
    mutable std::set<std::string> prepared_;
    mutable std::uint64_t roundTrips_ = 0;
};

// The application name of this process's connections: "<program> [<pid>]".
std::string ApplicationName();
// A double-quoted SQL identifier.
std::string QuoteIdentifier(const std::string& name);
// The 4 big-endian bytes of a binary int4 column as an integer.
std::int32_t Int4FromBinary(const char* bytes);
std::int64_t Int8FromBinary(const char* bytes);

}  // namespace pendra::pg
