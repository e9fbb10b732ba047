#pragma once
#include <optional>
#include <string>
#include <vector>

#include "backup/MandateBackup.h"

class PgEngine;
class SqliteEngine;

// The records of a mandate into a backup and back, per engine. A backup holds
// the tables the commands write (settings, tax keys, accounts) and meta, which
// names the mandate; never the bookings, which no command writes and which go
// on growing after the backup. A restore puts back exactly the tables the
// commands write; meta and the bookings stay as they are now. Backups taken
// before (a copy of the whole database) restore the same way.
namespace backup::records {

// The tables a new backup holds, in the order the manifest names them.
const std::vector<std::string>& SavedTables();
// The tables a restore puts back.
const std::vector<std::string>& RestoredTables();

// File mandates: the tables into a new mandate database `target` (our schema,
// bookings empty, rollback journal so that it reads in a read-only folder),
// read in one transaction of the open connection.
std::optional<Error> SaveSqlite(SqliteEngine& engine, const std::string& target);
// Opens `file` read-only and checks it is a whole mandate database of ours.
std::optional<Error> CheckSqlite(const std::string& file);
// The restored tables from `file` in one transaction: all or nothing.
// Refused (kBookedKeys, nothing changed) when bookings use a key that the
// backup does not hold.
std::optional<Error> RestoreSqlite(SqliteEngine& engine, const std::string& file);
// `same`: the restored tables of the mandate hold exactly the rows of `file`.
std::optional<Error> SameAsSqlite(SqliteEngine& engine, const std::string& file, bool& same);

// SQL mandates: each saved table in PostgreSQL's COPY text form, one file per
// table in `folder`, all read in one REPEATABLE READ transaction (one
// snapshot). Put back in one transaction, refused as RestoreSqlite is.
std::optional<Error> SavePg(PgEngine& engine, const std::string& folder);
// The file names SavePg writes into its folder for `tables`.
std::vector<std::string> PgFiles(const std::vector<std::string>& tables);
std::optional<Error> RestorePg(PgEngine& engine, const std::string& folder);
// `same`: the restored tables of the mandate hold exactly the rows in `folder`.
std::optional<Error> SameAsPg(PgEngine& engine, const std::string& folder, bool& same);

}  // namespace backup::records
