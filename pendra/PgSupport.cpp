#include "pendra/PgSupport.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "pendra/PendraStatus.h"
#include "pendra/PgConnInfo.h"

namespace pendra::pg {

namespace {
constexpr const char* kConnectTimeoutSeconds = "5";
const char* const kUniqueViolation = "23505";
}  // namespace

std::string ApplicationName() {
    return std::string(program_invocation_short_name) + " [" + std::to_string(getpid()) + "]";
}

Connection::Connection(const std::string& conninfo) {
    std::optional<ConnInfoParams> params = ParseConnInfo(conninfo);
    if (!params) return;
    bool hasTimeout = false;
    for (const auto& param : *params) hasTimeout = hasTimeout || param.first == "connect_timeout";
    if (!hasTimeout) params->emplace_back("connect_timeout", kConnectTimeoutSeconds);
    params->emplace_back("fallback_application_name", ApplicationName());
    std::vector<const char*> keywords, values;
    for (const auto& [keyword, value] : *params) {
        keywords.push_back(keyword.c_str());
        values.push_back(value.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    conn_ = PQconnectdbParams(keywords.data(), values.data(), 0);
    if (Ok()) PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
}

Connection::~Connection() {
    if (conn_) PQfinish(conn_);
}

namespace {

// The parameters of a statement as libpq takes them.
struct ParamArrays {
    explicit ParamArrays(const std::vector<Param>& params) {
        for (const Param& param : params) {
            values.push_back(param.value.data());
            lengths.push_back(static_cast<int>(param.value.size()));
            formats.push_back(param.binary ? 1 : 0);
        }
    }
    int Count() const { return static_cast<int>(values.size()); }
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
};

Result Failed(PGconn* conn) { return Result(PQmakeEmptyPGresult(conn, PGRES_FATAL_ERROR)); }

}  // namespace

Result Connection::Exec(const std::string& sql, const std::vector<Param>& params) const {
    ++roundTrips_;
    const ParamArrays arrays(params);
    PGresult* result = PQexecParams(conn_, sql.c_str(), arrays.Count(), nullptr,
                                    arrays.values.data(), arrays.lengths.data(),
                                    arrays.formats.data(), 1);
    return result ? Result(result) : Failed(conn_);
}

bool Connection::Prepare(const Query& query, Result& failure) const {
    if (query.name.empty() || prepared_.contains(query.name)) return true;
    ++roundTrips_;
    Result result(PQprepare(conn_, query.name.c_str(), query.sql.c_str(), 0, nullptr));
    if (!result || !Succeeded(result.get())) {
        failure = result ? std::move(result) : Failed(conn_);
        return false;
    }
    prepared_.insert(query.name);
    return true;
}

Result Connection::Exec(const Query& query) const {
    if (query.name.empty()) return Exec(query.sql, query.params);
    Result failure;
    if (!Prepare(query, failure)) return failure;
    ++roundTrips_;
    const ParamArrays arrays(query.params);
    PGresult* result = PQexecPrepared(conn_, query.name.c_str(), arrays.Count(),
                                      arrays.values.data(), arrays.lengths.data(),
                                      arrays.formats.data(), 1);
    return result ? Result(result) : Failed(conn_);
}

std::vector<Result> Connection::ExecPipeline(const std::vector<Query>& queries) const {
    std::vector<Result> results;
    auto failAll = [&](Result first) {
        results.clear();
        results.push_back(std::move(first));
        while (results.size() < queries.size()) results.push_back(Failed(conn_));
        return std::move(results);
    };
    // Statements are prepared before the pipeline starts: a failure there is
    // the statement's own and nothing has been sent.
    for (const Query& query : queries) {
        Result failure;
        if (!Prepare(query, failure)) return failAll(std::move(failure));
    }
    if (PQenterPipelineMode(conn_) != 1) return failAll(Failed(conn_));
    ++roundTrips_;
    bool sent = true;
    for (const Query& query : queries) {
        const ParamArrays arrays(query.params);
        sent = sent && (query.name.empty()
                            ? PQsendQueryParams(conn_, query.sql.c_str(), arrays.Count(), nullptr,
                                                arrays.values.data(), arrays.lengths.data(),
                                                arrays.formats.data(), 1)
                            : PQsendQueryPrepared(conn_, query.name.c_str(), arrays.Count(),
                                                  arrays.values.data(), arrays.lengths.data(),
                                                  arrays.formats.data(), 1)) == 1;
    }
    sent = sent && PQpipelineSync(conn_) == 1;
    if (sent) {
        for (std::size_t i = 0; i < queries.size(); ++i) {
            PGresult* result = PQgetResult(conn_);
            results.push_back(result ? Result(result) : Failed(conn_));
            // Each query's results end with a null; a lost connection ends them all.
            while (PGresult* more = PQgetResult(conn_)) PQclear(more);
        }
        // Up to the sync point, which says the pipeline is done.
        for (PGresult* rest; (rest = PQgetResult(conn_)) != nullptr;) {
            const bool sync = PQresultStatus(rest) == PGRES_PIPELINE_SYNC;
            PQclear(rest);
            if (sync) break;
        }
    }
    if (PQexitPipelineMode(conn_) != 1) {
        while (PGresult* rest = PQgetResult(conn_)) PQclear(rest);
        PQexitPipelineMode(conn_);
    }
    if (!sent) return failAll(Failed(conn_));
    return results;
}

int Connection::ExecScript(const std::string& sql) const {
    ++roundTrips_;
    Result result(PQexec(conn_, sql.c_str()));
    if (!result) return kIoError;
    return Succeeded(result.get()) ? kOk : StatusOf(result.get());
}

bool Connection::Succeeded(const PGresult* result) {
    ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

int Connection::StatusOf(const PGresult* result) const {
    if (PQstatus(conn_) != CONNECTION_OK) return kIoError;
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    if (state && std::strcmp(state, kUniqueViolation) == 0) return kDuplicateKey;
    return kIoError;
}

bool Connection::QueryBool(const std::string& sql, const std::vector<Param>& params,
                           int& status) const {
    Result result = Exec(sql, params);
    if (!Succeeded(result.get()) || PQntuples(result.get()) != 1) {
        status = StatusOf(result.get());
        return false;
    }
    status = kOk;
    return PQgetlength(result.get(), 0, 0) == 1 && PQgetvalue(result.get(), 0, 0)[0] == 1;
}

std::string QuoteIdentifier(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::int32_t Int4FromBinary(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    std::uint32_t value = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                          (std::uint32_t{b[2]} << 8) | b[3];
    return static_cast<std::int32_t>(value);
}

std::int64_t Int8FromBinary(const char* bytes) {
    std::uint64_t high = static_cast<std::uint32_t>(Int4FromBinary(bytes));
    std::uint64_t low = static_cast<std::uint32_t>(Int4FromBinary(bytes + 4));
    return static_cast<std::int64_t>((high << 32) | low);
}

}  // namespace pendra::pg
