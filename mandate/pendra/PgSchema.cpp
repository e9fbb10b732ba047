#include "mandate/pendra/PgSchema.h"

#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/SqliteSchema.h"

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

}  // namespace pendra::pg
