#include "pendra/PgSchema.h"

#include <utility>
#include <vector>

#include "pendra/LegacyIds.h"
#include "pendra/PendraStatus.h"
#include "pendra/SqliteSchema.h"
#include "pendra/TableLayout.h"

namespace pendra::pg {

const char* const kCreateSql = R"sql(
CREATE TABLE meta(name text PRIMARY KEY, value text NOT NULL);
CREATE TABLE settings(section integer NOT NULL, key integer NOT NULL, value bigint NOT NULL,
                      PRIMARY KEY(section, key));
CREATE TABLE tax(id bytea PRIMARY KEY, rec bytea NOT NULL);
CREATE TABLE konto(number bytea PRIMARY KEY, taxid bytea NOT NULL, rec bytea NOT NULL);
CREATE INDEX konto_taxid ON konto(taxid, number);
CREATE TABLE buch(number integer PRIMARY KEY, taxid bytea NOT NULL, rec bytea NOT NULL);
CREATE INDEX buch_taxid ON buch(taxid, number);
)sql";

namespace {
std::string Text(const PGresult* result, int row, int column) {
    return std::string(PQgetvalue(result, row, column),
                       static_cast<std::size_t>(PQgetlength(result, row, column)));
}

long Number(const std::string& text) {
    try {
        return std::stol(text);
    } catch (const std::exception&) {
        return -1;
    }
}
}  // namespace

int ReadMeta(const Connection& connection, MandateMeta& meta) {
    Result tables = connection.Exec(
        "SELECT count(*)::int4 FROM pg_tables WHERE schemaname = current_schema() AND "
        "tablename IN ('meta', 'settings', 'tax', 'konto', 'buch')");
    if (!Connection::Succeeded(tables.get())) return connection.StatusOf(tables.get());
    if (Int4FromBinary(PQgetvalue(tables.get(), 0, 0)) != 5) return kNotADatabase;

    Result rows = connection.Exec("SELECT name, value FROM meta");
    if (!Connection::Succeeded(rows.get())) return connection.StatusOf(rows.get());
    bool haveFormat = false;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
        const std::string name = Text(rows.get(), row, 0);
        const std::string value = Text(rows.get(), row, 1);
        if (name == "format_version") {
            meta.formatVersion = static_cast<int>(Number(value));
            haveFormat = true;
        } else if (name == "name") {
            meta.name = value;
        } else if (name == "data_version") {
            meta.dataVersion = Number(value);
        } else if (name == "password_hash") {
            meta.passwordHash = value;
        } else if (name == "read_only") {
            meta.readOnlyFlag = Number(value) != 0;
        }
    }
    if (!haveFormat || meta.formatVersion > schema::kFormatVersion) return kNotADatabase;
    if (meta.formatVersion < schema::kOldestFormatVersion) return kFormatTooOld;
    return kOk;
}

namespace {

int Run(const Connection& connection, const std::string& sql, const std::vector<Param>& params) {
    Result result = connection.Exec(sql, params);
    return Connection::Succeeded(result.get()) ? kOk : connection.StatusOf(result.get());
}

// The key file: every key whose id changes is taken out first and put back
// under its new id, so that no new id can meet an old one not yet converted.
int ConvertTaxKeys(const Connection& connection) {
    const TableLayout& layout = TaxLayout();
    Result rows = connection.Exec("SELECT id, rec FROM tax");
    if (!Connection::Succeeded(rows.get())) return connection.StatusOf(rows.get());
    std::vector<std::pair<std::string, std::string>> keys;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
        std::string id = Text(rows.get(), row, 0);
        if (legacy::NeedsConversion(id)) keys.emplace_back(std::move(id), Text(rows.get(), row, 1));
    }
    int status = kOk;
    for (const auto& [id, rec] : keys) {
        status = Run(connection, "DELETE FROM tax WHERE id = $1::bytea", {{id, true}});
        if (status != kOk) return status;
    }
    for (auto& [id, rec] : keys) {
        if (rec.size() != layout.recordSize) return kNotADatabase;
        auto* bytes = reinterpret_cast<unsigned char*>(rec.data());
        if ((status = legacy::ConvertRecord(layout, bytes)) != kOk) return status;
        status = Run(connection, "INSERT INTO tax(id, rec) VALUES($1::bytea, $2::bytea)",
                     {{layout.KeyOf(bytes), true}, {rec, true}});
        if (status != kOk) return status;
    }
    return kOk;
}

// Accounts and bookings: one statement per tax id that changes, writing the
// new id into the column and into the record's field (NUL-padded, as written).
int ConvertIndexedTaxIds(const Connection& connection, const TableLayout& layout) {
    const std::string table = layout.name;
    Result ids = connection.Exec("SELECT DISTINCT taxid FROM " + table);
    if (!Connection::Succeeded(ids.get())) return connection.StatusOf(ids.get());
    const std::string update = "UPDATE " + table +
                               " SET taxid = $2::bytea, rec = overlay(rec placing $3::bytea from " +
                               std::to_string(layout.taxIdOffset + 1) + " for " +
                               std::to_string(layout.taxIdWidth) + ") WHERE taxid = $1::bytea";
    for (int row = 0; row < PQntuples(ids.get()); ++row) {
        const std::string former = Text(ids.get(), row, 0);
        if (!legacy::NeedsConversion(former)) continue;
        std::string current;
        int status = legacy::CurrentTaxId(former, current);
        if (status != kOk) return status;
        std::string field = current;
        field.resize(layout.taxIdWidth, '\0');
        status = Run(connection, update, {{former, true}, {current, true}, {field, true}});
        if (status != kOk) return status;
    }
    return kOk;
}

int ConvertIds(const Connection& connection) {
    int status = ConvertTaxKeys(connection);
    if (status == kOk) status = ConvertIndexedTaxIds(connection, KontoLayout());
    if (status == kOk) status = ConvertIndexedTaxIds(connection, BuchLayout());
    if (status == kOk) {
        status = Run(connection, "UPDATE meta SET value = $1 WHERE name = 'format_version'",
                     {{std::to_string(schema::kFormatVersion)}});
    }
    return status;
}

}  // namespace

int Upgrade(const Connection& connection, MandateMeta& meta) {
    int status = Run(connection, "BEGIN", {});
    if (status != kOk) return status;
    // Read again inside the transaction: another session may have converted it meanwhile.
    Result version =
        connection.Exec("SELECT value FROM meta WHERE name = 'format_version' FOR UPDATE");
    if (!Connection::Succeeded(version.get()) || PQntuples(version.get()) != 1) {
        status = Connection::Succeeded(version.get()) ? kNotADatabase
                                                      : connection.StatusOf(version.get());
    } else if (Number(Text(version.get(), 0, 0)) < schema::kFormatVersion) {
        status = ConvertIds(connection);
    }
    if (status == kOk) status = Run(connection, "COMMIT", {});
    if (status != kOk) {
        connection.Exec("ROLLBACK");
        return status;
    }
    meta.formatVersion = schema::kFormatVersion;
    return kOk;
}

}  // namespace pendra::pg
