#pragma once
#include <sqlite3.h>

#include <cstddef>
#include <string>

#include "pendra/StorageEngine.h"

// The database file of a file mandate: identification, format versions and
// the checks that tell our database from anything else.
namespace pendra::schema {

constexpr int kApplicationId = 0x50454E44;  // "PEND" in the SQLite header
// Format 3 stores tax ids in Windows-1252 (TaxIdText.h); format 2 kept them as
// UTF-8 and is converted when opened for writing (LegacyIds.h).
constexpr int kFormatVersion = 3;           // written by this library
constexpr int kOldestFormatVersion = 2;     // older ones answer kFormatTooOld

// The statements creating an empty database of kFormatVersion.
extern const char* const kCreateSql;

// Checks the file without SQLite: exists (kFileNotFound), regular file, SQLite
// header with our application id (kNotADatabase), readable (kIoError). Opens
// with O_NONBLOCK so that a FIFO or device of that name cannot hang us.
int CheckHeader(const std::string& dbPath);

// Reads the meta table of an open database and checks format and tables.
int ReadMeta(sqlite3* db, MandateMeta& meta);

// Checks the tables of the database `schema` of `db` ("main" or an attached
// one) that the commands read and write: SQLite's quick check of meta,
// settings, tax and konto with their indexes, and every page of the bookings
// index the commands query. kOk, or kNotADatabase with `detail` saying what
// is wrong (a damaged page, an index that disagrees).
int CheckTables(sqlite3* db, const std::string& schema, std::string& detail);

// Converts a database of an older supported format to kFormatVersion in one
// transaction (all or nothing) and sets meta.formatVersion. The caller holds
// the mandate exclusively. kNotWindows1252 or kDuplicateKey when a tax id has
// no place in format 3; the database is then left as it was.
int Upgrade(sqlite3* db, MandateMeta& meta);

std::string DatabasePath(const std::string& dir);
// True when a journal SQLite writes beside the database of `dir` (-wal, -shm,
// -journal) is a symbolic link leading out of that folder.
bool JournalLeadsOutside(const std::string& dir);

// SQLite opens a database, and its journal beside it, by the absolute path
// with links resolved, which must fit in 512 bytes: a mandate folder longer
// than this cannot be opened, though its database is there.
std::size_t MaxMandateFolderLength();
bool DatabasePathFits(const std::string& dir);

}  // namespace pendra::schema
