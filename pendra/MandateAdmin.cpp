#include "pendra/MandateAdmin.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "pendra/MandateLockFile.h"
#include "pendra/PasswordHash.h"
#include "pendra/PendraStatus.h"
#include "pendra/PgEngine.h"
#include "pendra/SqlMandateConfiguration.h"
#include "pendra/SqliteSchema.h"
#include "pendra/SqliteSupport.h"

using pendra::sqlite::Exec;
using pendra::sqlite::Statement;
using pendra::sqlite::StatusFrom;

namespace {

int PutMeta(sqlite3* db, const char* name, const std::string* text, long number) {
    Statement put(db, "INSERT OR REPLACE INTO meta(name, value) VALUES(?1, ?2)");
    if (!put.Ok()) return StatusFrom(put.PrepareResult());
    put.BindText(1, name);
    if (text) {
        put.BindText(2, *text);
    } else {
        put.BindInt(2, number);
    }
    int rc = put.Step();
    return rc == SQLITE_DONE ? pendra::kOk : StatusFrom(rc);
}

int FillNewDatabase(sqlite3* db, const MandateCreateOptions& options) {
    std::string applicationId =
        "PRAGMA application_id=" + std::to_string(pendra::schema::kApplicationId);
    int rc = Exec(db, applicationId.c_str());
    if (rc == SQLITE_OK) rc = Exec(db, "PRAGMA journal_mode=WAL");
    if (rc != SQLITE_OK) return StatusFrom(rc);

    pendra::sqlite::Transaction transaction(db, false);
    if (transaction.BeginStatus() != pendra::kOk) return transaction.BeginStatus();
    rc = Exec(db, pendra::schema::kCreateSql);
    if (rc != SQLITE_OK) return StatusFrom(rc);

    std::string hash;
    if (options.password) {
        hash = pendra::HashPassword(*options.password);
        if (hash.empty()) return pendra::kIoError;
    }
    int status = PutMeta(db, "format_version", nullptr, pendra::schema::kFormatVersion);
    if (status == pendra::kOk) status = PutMeta(db, "name", &options.name, 0);
    if (status == pendra::kOk) status = PutMeta(db, "data_version", nullptr, options.dataVersion);
    if (status == pendra::kOk) status = PutMeta(db, "password_hash", &hash, 0);
    if (status == pendra::kOk) status = PutMeta(db, "read_only", nullptr, options.readOnly);
    for (const MandateSetting& setting : options.settings) {
        if (status != pendra::kOk) break;
        Statement put(db, "INSERT OR REPLACE INTO settings(section, key, value) VALUES(?1, ?2, ?3)");
        put.BindInt(1, setting.section);
        put.BindInt(2, setting.key);
        put.BindInt(3, setting.value);
        rc = put.Step();
        status = rc == SQLITE_DONE ? pendra::kOk : StatusFrom(rc);
    }
    if (status != pendra::kOk) return status;
    return transaction.Commit();
}

}  // namespace

int CreateMandate(const std::string& dir, const MandateCreateOptions& options) {
    if (options.sqlConnection) return CreateSqlMandate(dir, *options.sqlConnection, options);
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error || !std::filesystem::is_directory(dir, error)) return pendra::kIoError;
    std::string dbPath = pendra::schema::DatabasePath(dir);
    if (std::filesystem::symlink_status(dbPath, error).type() !=
        std::filesystem::file_type::not_found) {
        return pendra::kDuplicateKey;
    }

    std::string tempPath = dbPath + ".new-" + std::to_string(getpid());
    std::filesystem::remove(tempPath, error);
    int status;
    {
        pendra::sqlite::Connection connection;
        int rc = connection.Open(tempPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        status = rc == SQLITE_OK ? FillNewDatabase(connection.Get(), options) : StatusFrom(rc);
    }  // closing checkpoints the WAL into the file and removes it
    if (status == pendra::kOk) status = MandateLockFile::Create(dir);
    // link() fails when a database appeared meanwhile: never replace a mandate.
    if (status == pendra::kOk && link(tempPath.c_str(), dbPath.c_str()) != 0) {
        status = errno == EEXIST ? pendra::kDuplicateKey : pendra::kIoError;
    }
    std::filesystem::remove(tempPath, error);
    std::filesystem::remove(tempPath + "-wal", error);
    std::filesystem::remove(tempPath + "-shm", error);
    return status;
}

int SetMandateReadOnly(const std::string& dir, bool readOnly) {
    if (SqlMandateConfiguration::ExistsIn(dir)) return SetSqlMandateReadOnly(dir, readOnly);
    std::string dbPath = pendra::schema::DatabasePath(dir);
    int status = pendra::schema::CheckHeader(dbPath);
    if (status != pendra::kOk) return status;
    pendra::sqlite::Connection connection;
    int rc = connection.Open(dbPath, SQLITE_OPEN_READWRITE);
    if (rc != SQLITE_OK) return StatusFrom(rc);
    sqlite3_busy_timeout(connection.Get(), 5000);
    MandateMeta meta;
    status = pendra::schema::ReadMeta(connection.Get(), meta);
    if (status != pendra::kOk) return status;
    status = PutMeta(connection.Get(), "read_only", nullptr, readOnly);
    return status;
}
