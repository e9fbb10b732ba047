#include "pendra/SqliteSchema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/RegularFile.h"
#include "pendra/LegacyIds.h"
#include "pendra/MandateFiles.h"
#include "pendra/PendraStatus.h"
#include "pendra/SqliteSupport.h"
#include "pendra/TableLayout.h"

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

bool JournalLeadsOutside(const std::string& dir) {
    const std::string database = DatabasePath(dir);
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        if (regularfile::LeadsOutside(dir, database + suffix)) return true;
    return false;
}

std::size_t MaxMandateFolderLength() {
    constexpr std::size_t kSqliteMaxPath = 512;
    return kSqliteMaxPath - std::strlen("-journal") - DatabasePath("").size();
}

bool DatabasePathFits(const std::string& dir) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(dir.c_str(), nullptr), &std::free);
    return (real ? std::strlen(real.get()) : dir.size()) <= MaxMandateFolderLength();
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

namespace {

// SQLite's verdict on one line for the log, without the database it names.
std::string OneLine(std::string verdict) {
    for (const std::string prefix : {"*** in database main ***\n"})
        if (verdict.starts_with(prefix)) verdict.erase(0, prefix.size());
    for (std::size_t at; (at = verdict.find('\n')) != std::string::npos;) verdict.replace(at, 1, "; ");
    return verdict;
}

}  // namespace

int CheckTables(sqlite3* db, const std::string& schema, std::string& detail) {
    const std::string prefix = "\"" + schema + "\".";
    // The tables the commands read and write, every page with SQLite's own
    // check. Of the bookings, every page of the index the commands query and
    // of the table the status reads is walked: counting visits each page and
    // checks its header, not its cells, so a million bookings cost about a
    // tenth of a second where their quick check costs several times that.
    std::vector<std::string> checks;
    for (const char* table : {"meta", "settings", "tax", "konto"})
        checks.push_back("PRAGMA " + prefix + "quick_check(" + table + ")");
    for (const char* walk : {"INDEXED BY buch_taxid", "NOT INDEXED"})
        checks.push_back("SELECT CASE WHEN count(*) >= 0 THEN 'ok' END FROM " + prefix + "buch " + walk);
    for (const std::string& sql : checks) {
        sqlite::Statement check(db, sql);
        if (!check.Ok()) {
            detail = sqlite3_errmsg(db);
            return kNotADatabase;
        }
        const int rc = check.Step();
        if (rc != SQLITE_ROW) {
            detail = sqlite3_errmsg(db);
            return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB ? kNotADatabase : sqlite::StatusFrom(rc);
        }
        const std::string verdict = check.ColumnBytes(0);
        if (verdict != "ok") {
            detail = OneLine(verdict);
            return kNotADatabase;
        }
    }
    return kOk;
}

namespace {

using sqlite::Statement;
using sqlite::StatusFrom;

std::string Sql(const TableLayout& layout, std::string pattern) {
    for (auto [mark, name] : {std::pair{"{T}", layout.name}, std::pair{"{K}", layout.keyColumn}}) {
        for (std::size_t at; (at = pattern.find(mark)) != std::string::npos;) {
            pattern.replace(at, 3, name);
        }
    }
    return pattern;
}

int Prepared(std::initializer_list<const Statement*> statements) {
    for (const Statement* s : statements) {
        if (!s->Ok()) return StatusFrom(s->PrepareResult());
    }
    return kOk;
}

int Run(Statement& statement) {
    const int rc = statement.Step();
    statement.Reset();
    if (rc == SQLITE_DONE) return kOk;
    return (rc & 0xff) == SQLITE_CONSTRAINT ? kDuplicateKey : StatusFrom(rc);
}

// A format-2 record of `layout` with its tax ids in the form of format 3.
int ConvertRecordBytes(const TableLayout& layout, std::string& rec) {
    if (rec.size() != layout.recordSize) return kNotADatabase;
    return legacy::ConvertRecord(layout, reinterpret_cast<unsigned char*>(rec.data()));
}

// The key file: every key whose id changes is taken out first and put back
// under its new id, so that no new id can meet an old one not yet converted.
int ConvertTaxKeys(sqlite3* db) {
    const TableLayout& layout = TaxLayout();
    Statement select(db, "SELECT id, rec FROM tax");
    Statement remove(db, "DELETE FROM tax WHERE id = ?1");
    Statement insert(db, "INSERT INTO tax(id, rec) VALUES(?1, ?2)");
    int status = Prepared({&select, &remove, &insert});
    if (status != kOk) return status;
    std::vector<std::pair<std::string, std::string>> keys;
    int rc;
    while ((rc = select.Step()) == SQLITE_ROW) {
        std::string id = select.ColumnBytes(0);
        if (legacy::NeedsConversion(id)) keys.emplace_back(std::move(id), select.ColumnBytes(1));
    }
    if (rc != SQLITE_DONE) return StatusFrom(rc);
    for (const auto& [id, rec] : keys) {
        remove.BindBytes(1, id);
        if ((status = Run(remove)) != kOk) return status;
    }
    for (auto& [id, rec] : keys) {
        if ((status = ConvertRecordBytes(layout, rec)) != kOk) return status;
        insert.BindBytes(1, layout.KeyOf(reinterpret_cast<const unsigned char*>(rec.data())));
        insert.BindBytes(2, rec);
        if ((status = Run(insert)) != kOk) return status;
    }
    return kOk;
}

// Accounts and bookings: only the rows of the tax ids that change, found
// through the taxid index; their keys stay.
int ConvertIndexedTaxIds(sqlite3* db, const TableLayout& layout) {
    Statement distinct(db, Sql(layout, "SELECT DISTINCT taxid FROM {T}"));
    Statement select(db, Sql(layout, "SELECT {K}, rec FROM {T} WHERE taxid = ?1"));
    Statement update(db, Sql(layout, "UPDATE {T} SET taxid = ?2, rec = ?3 WHERE {K} = ?1"));
    int status = Prepared({&distinct, &select, &update});
    if (status != kOk) return status;
    std::vector<std::string> formers;
    int rc;
    while ((rc = distinct.Step()) == SQLITE_ROW) {
        std::string taxId = distinct.ColumnBytes(0);
        if (legacy::NeedsConversion(taxId)) formers.push_back(std::move(taxId));
    }
    if (rc != SQLITE_DONE) return StatusFrom(rc);
    struct Row {
        std::int64_t number;
        std::string key;
        std::string rec;
    };
    for (const std::string& former : formers) {
        std::vector<Row> rows;
        select.BindBytes(1, former);
        while ((rc = select.Step()) == SQLITE_ROW) {
            Row row{0, {}, select.ColumnBytes(1)};
            if (layout.integerKey) {
                row.number = select.ColumnInt(0);
            } else {
                row.key = select.ColumnBytes(0);
            }
            rows.push_back(std::move(row));
        }
        select.Reset();
        if (rc != SQLITE_DONE) return StatusFrom(rc);
        for (Row& row : rows) {
            if ((status = ConvertRecordBytes(layout, row.rec)) != kOk) return status;
            if (layout.integerKey) {
                update.BindInt(1, row.number);
            } else {
                update.BindBytes(1, row.key);
            }
            update.BindBytes(2, layout.TaxIdOf(reinterpret_cast<const unsigned char*>(row.rec.data())));
            update.BindBytes(3, row.rec);
            if ((status = Run(update)) != kOk) return status;
        }
    }
    return kOk;
}

}  // namespace

int Upgrade(sqlite3* db, MandateMeta& meta) {
    sqlite::Transaction transaction(db, false);
    if (transaction.BeginStatus() != kOk) return transaction.BeginStatus();
    // Read again under the write lock: another process may have converted it meanwhile.
    MandateMeta current;
    int status = ReadMeta(db, current);
    if (status != kOk) return status;
    if (current.formatVersion < kFormatVersion) {
        status = ConvertTaxKeys(db);
        if (status == kOk) status = ConvertIndexedTaxIds(db, KontoLayout());
        if (status == kOk) status = ConvertIndexedTaxIds(db, BuchLayout());
        if (status == kOk) {
            Statement version(db, "UPDATE meta SET value = ?1 WHERE name = 'format_version'");
            status = Prepared({&version});
            if (status == kOk) {
                version.BindInt(1, kFormatVersion);
                status = Run(version);
            }
        }
        if (status == kOk) status = transaction.Commit();
        if (status != kOk) return status;
    }
    meta.formatVersion = kFormatVersion;
    return kOk;
}

}  // namespace pendra::schema
