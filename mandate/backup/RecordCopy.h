#pragma once
#include <optional>
#include <string>
#include <vector>

#include "mandate/backup/MandateBackup.h"

class PgEngine;
class SqliteEngine;

// The records of a mandate into a backup and back, per engine.
namespace backup::records {

// File mandates: the database through SQLite's online backup, one consistent
// read of the open connection, into a new file `target` (rollback journal, so
// that it reads in a read-only folder). Put back through the same API into the
// open connection, which writes it as one transaction: all or nothing.
std::optional<Error> SaveSqlite(SqliteEngine& engine, const std::string& target);
// Opens `file` read-only and checks it is a whole mandate database of ours.
std::optional<Error> CheckSqlite(const std::string& file);
std::optional<Error> RestoreSqlite(SqliteEngine& engine, const std::string& file);

// SQL mandates: each table in PostgreSQL's COPY text form, one file per table
// in `folder`, all read in one REPEATABLE READ transaction (one snapshot). Put
// back in one transaction: the rows deleted, the files copied in.
std::optional<Error> SavePg(PgEngine& engine, const std::string& folder);
// The file names SavePg writes into its folder.
std::vector<std::string> PgFiles();
std::optional<Error> RestorePg(PgEngine& engine, const std::string& folder);

}  // namespace backup::records
