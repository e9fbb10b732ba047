#pragma once
#include <string>

#include "pendra/PgSupport.h"
#include "pendra/StorageEngine.h"

// The database of an SQL mandate: the same tables as a file mandate's, with
// keys and records as bytea (sorted bytewise, like the file engine's blobs).
namespace pendra::pg {

// Advisory lock class of the mandate lock ("PEND").
constexpr int kMandateLockClass = 0x50454E44;

extern const char* const kCreateSql;

// Reads the meta table and checks format and tables, as for file mandates.
int ReadMeta(const Connection& connection, MandateMeta& meta);

// Converts a database of an older supported format to the current one in one
// transaction, as schema::Upgrade does for file mandates.
int Upgrade(const Connection& connection, MandateMeta& meta);

}  // namespace pendra::pg
