#include "mandate/pendra/SqliteSchema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mandate/pendra/MandateFiles.h"
#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/SqliteSupport.h"

namespace pendra::schema {

const char* const kCreateSql = R"sql(
CREATE TABLE meta(name TEXT PRIMARY KEY NOT NULL, value) WITHOUT ROWID;
CREATE TABLE settings(section INTEGER NOT NULL, key INTEGER NOT NULL, value INTEGER NOT NULL,
                      PRIMARY KEY(section, key)) WITHOUT ROWID;
CREATE TABLE tax(id BLOB PRIMARY KEY NOT NULL, rec BLOB NOT NULL) WITHOUT ROWID;
CREATE TABLE konto(number BLOB PRIMARY KEY NOT NULL, taxid BLOB NOT NULL, rec BLOB NOT NULL)
    WITHOUT ROWID;
CREATE INDEX konto_taxid ON konto(taxid, number);
CREATE TABLE buch(number INTEGER PRIMARY KEY, taxid BLOB NOT NULL, rec BLOB NOT NULL);
CREATE INDEX buch_taxid ON buch(taxid, number);
)sql";

std::string DatabasePath(const std::string& dir) {
    return dir + "/" + MandateFiles::kDatabaseFileName;
}

int CheckHeader(const std::string& dbPath) {
    struct stat info {};
    if (stat(dbPath.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? kFileNotFound : kIoError;
    }
    if (!S_ISREG(info.st_mode)) return kNotADatabase;
    int fd = ::open(dbPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kIoError;
    unsigned char header[100];
    ssize_t got = pread(fd, header, sizeof header, 0);
    ::close(fd);
    if (got < 0) return kIoError;
    if (got < static_cast<ssize_t>(sizeof header)) return kNotADatabase;
    if (std::memcmp(header, "SQLite format 3", 16) != 0) return kNotADatabase;
    // Application id: big-endian at offset 68 of the header.
    std::uint32_t id = (std::uint32_t{header[68]} << 24) | (std::uint32_t{header[69]} << 16) |
                       (std::uint32_t{header[70]} << 8) | header[71];
    return id == static_cast<std::uint32_t>(kApplicationId) ? kOk : kNotADatabase;
}

int ReadMeta(sqlite3* db, MandateMeta& meta) {
    sqlite::Statement rows(db, "SELECT name, value FROM meta");
    if (!rows.Ok()) return sqlite::StatusFrom(rows.PrepareResult());
    bool haveFormat = false;
    int rc;
    while ((rc = rows.Step()) == SQLITE_ROW) {
        std::string name = rows.ColumnBytes(0);
        if (name == "format_version") {
            meta.formatVersion = static_cast<int>(rows.ColumnInt(1));
            haveFormat = true;
        } else if (name == "name") {
            meta.name = rows.ColumnBytes(1);
        } else if (name == "data_version") {
            meta.dataVersion = static_cast<long>(rows.ColumnInt(1));
        } else if (name == "password_hash") {
            meta.passwordHash = rows.ColumnBytes(1);
        } else if (name == "read_only") {
            meta.readOnlyFlag = rows.ColumnInt(1) != 0;
        }
    }
    if (rc != SQLITE_DONE) return sqlite::StatusFrom(rc);
    if (!haveFormat || meta.formatVersion > kFormatVersion) return kNotADatabase;
    if (meta.formatVersion < kOldestFormatVersion) return kFormatTooOld;

    sqlite::Statement tables(db,
                             "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
                             "('meta', 'settings', 'tax', 'konto', 'buch')");
    if (!tables.Ok()) return sqlite::StatusFrom(tables.PrepareResult());
    rc = tables.Step();
    if (rc != SQLITE_ROW) return sqlite::StatusFrom(rc);
    if (tables.ColumnInt(0) != 5) return kNotADatabase;

    return kOk;
}

}  // namespace pendra::schema
