#include "mandate/pendra/PgSupport.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/PgConnInfo.h"

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

Result Connection::Exec(const std::string& sql, const std::vector<Param>& params) const {
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const Param& param : params) {
        values.push_back(param.value.data());
        lengths.push_back(static_cast<int>(param.value.size()));
        formats.push_back(param.binary ? 1 : 0);
    }
    PGresult* result = PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr,
                                    values.data(), lengths.data(), formats.data(), 1);
    if (!result) result = PQmakeEmptyPGresult(conn_, PGRES_FATAL_ERROR);
    return Result(result);
}

int Connection::ExecScript(const std::string& sql) const {
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
