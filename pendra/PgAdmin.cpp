// Creating, flagging and dropping SQL mandates: what mwst-mandant and tests do.
#include <filesystem>
#include <random>

#include "pendra/MandateAdmin.h"
#include "pendra/PasswordHash.h"
#include "pendra/PendraStatus.h"
#include "pendra/PgConnInfo.h"
#include "pendra/PgEngine.h"
#include "pendra/PgSchema.h"
#include "pendra/SqlMandateConfiguration.h"
#include "pendra/SqliteSchema.h"

using pendra::pg::Connection;
using pendra::pg::Param;
using pendra::pg::Result;

namespace {

// Database names are unique per server; the mandate's name may repeat.
std::string NewDatabaseId() {
    std::random_device random;
    std::string id = "pendra_";
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", random());
        id += part;
    }
    return id;
}

int Run(const Connection& connection, const std::string& sql, const std::vector<Param>& params) {
    Result result = connection.Exec(sql, params);
    return Connection::Succeeded(result.get()) ? pendra::kOk : connection.StatusOf(result.get());
}

int PutMeta(const Connection& connection, const std::string& name, const std::string& value) {
    return Run(connection,
               "INSERT INTO meta(name, value) VALUES($1, $2) "
               "ON CONFLICT (name) DO UPDATE SET value = EXCLUDED.value",
               {{name}, {value}});
}

int FillNewDatabase(const Connection& connection, const MandateCreateOptions& options) {
    std::string hash;
    if (options.password) {
        hash = pendra::HashPassword(*options.password);
        if (hash.empty()) return pendra::kIoError;
    }
    int status = connection.ExecScript(std::string("BEGIN;") + pendra::pg::kCreateSql);
    const std::pair<const char*, std::string> meta[] = {
        {"format_version", std::to_string(pendra::schema::kFormatVersion)},
        {"name", options.name},
        {"data_version", std::to_string(options.dataVersion)},
        {"password_hash", hash},
        {"read_only", options.readOnly ? "1" : "0"}};
    for (const auto& [name, value] : meta) {
        if (status == pendra::kOk) status = PutMeta(connection, name, value);
    }
    for (const MandateSetting& setting : options.settings) {
        if (status != pendra::kOk) break;
        status = Run(connection,
                     "INSERT INTO settings(section, key, value) VALUES($1::int4, $2::int4, $3::int8)"
                     " ON CONFLICT (section, key) DO UPDATE SET value = EXCLUDED.value",
                     {{std::to_string(setting.section)}, {std::to_string(setting.key)},
                      {std::to_string(setting.value)}});
    }
    if (status == pendra::kOk) status = connection.ExecScript("COMMIT");
    return status;
}

int DropDatabase(const std::string& conninfo, const std::string& databaseId) {
    Connection master(conninfo);
    if (!master.Ok()) return pendra::kIoError;
    return master.ExecScript("DROP DATABASE IF EXISTS " + pendra::pg::QuoteIdentifier(databaseId) +
                             " WITH (FORCE)");
}

}  // namespace

int CreateSqlMandate(const std::string& dir, const std::string& conninfo,
                     const MandateCreateOptions& options) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error || !std::filesystem::is_directory(dir, error)) return pendra::kIoError;
    if (SqlMandateConfiguration::ExistsIn(dir) ||
        std::filesystem::exists(pendra::schema::DatabasePath(dir), error)) {
        return pendra::kDuplicateKey;
    }
    // The configuration is a plain file: passwords belong in ~/.pgpass or PGPASSWORD.
    std::optional<pendra::pg::ConnInfoParams> params = pendra::pg::ParseConnInfo(conninfo);
    if (!params) return pendra::kBadArgument;
    for (const auto& param : *params) {
        if (param.first == "password") return pendra::kBadArgument;
    }
    SqlMandateConfiguration configuration(conninfo, NewDatabaseId());
    std::optional<std::string> mandateConnInfo = configuration.MandateConnInfo();
    if (!mandateConnInfo) return pendra::kBadArgument;
    {
        Connection master(conninfo);
        if (!master.Ok()) return pendra::kIoError;
        int status = master.ExecScript("CREATE DATABASE " +
                                       pendra::pg::QuoteIdentifier(configuration.GetDatabaseId()));
        if (status != pendra::kOk) return status;
    }
    int status;
    {
        Connection mandate(*mandateConnInfo);
        status = mandate.Ok() ? FillNewDatabase(mandate, options) : pendra::kIoError;
    }
    // The configuration last: a mandate is either complete or absent.
    if (status == pendra::kOk) status = configuration.Write(dir);
    if (status != pendra::kOk) DropDatabase(conninfo, configuration.GetDatabaseId());
    return status;
}

int SetSqlMandateReadOnly(const std::string& dir, bool readOnly) {
    std::optional<SqlMandateConfiguration> configuration = SqlMandateConfiguration::Read(dir);
    if (!configuration) return pendra::kFileNotFound;
    std::optional<std::string> conninfo = configuration->MandateConnInfo();
    if (!conninfo) return pendra::kNotADatabase;
    Connection connection(*conninfo);
    if (!connection.Ok()) return pendra::kIoError;
    MandateMeta meta;
    int status = pendra::pg::ReadMeta(connection, meta);
    if (status != pendra::kOk) return status;
    return PutMeta(connection, "read_only", readOnly ? "1" : "0");
}

int DropSqlMandate(const std::string& dir) {
    std::optional<SqlMandateConfiguration> configuration = SqlMandateConfiguration::Read(dir);
    if (!configuration) return pendra::kFileNotFound;
    int status = DropDatabase(configuration->GetConnectionString(), configuration->GetDatabaseId());
    if (status != pendra::kOk) return status;
    std::error_code ignored;
    std::filesystem::remove(dir + "/" + SqlMandateConfiguration::kFileName, ignored);
    return pendra::kOk;
}
