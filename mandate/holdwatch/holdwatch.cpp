// libholdwatch.so: names the other sessions holding an SQL mandate's database,
// for the box shown when the mandate cannot be had exclusively. Loaded by name
// at run time; every string it hands out is released by HoldwatchFreeString.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "mandate/HoldwatchApi.h"
#include "pendra/PgConnInfo.h"
#include "pendra/PgSupport.h"

namespace {

constexpr int kOk = 0;
constexpr int kBadArgument = 1;
constexpr int kNoConnection = 2;
constexpr int kQueryFailed = 3;

char* Hand(const std::string& text) { return strdup(text.c_str()); }

std::string Value(const PGresult* result, int row, int column) {
    return PQgetisnull(result, row, column) ? std::string()
                                            : std::string(PQgetvalue(result, row, column));
}

// "anna, 10.0.0.7, mwst-konvertierung [4711], 2024-01-05 08:12:33" (user, client,
// program, connected since): no words, as the box shows it in either language. Sessions of this
// process (its own mandate connections, this query) are no other users.
const char* const kSessionsSql =
    "SELECT coalesce(usename, ''), coalesce(host(client_addr), 'local'), "
    "coalesce(application_name, ''), to_char(backend_start, 'YYYY-MM-DD HH24:MI:SS') "
    "FROM pg_stat_activity WHERE datname = current_database() AND pid <> pg_backend_pid() "
    "AND backend_type = 'client backend' AND coalesce(application_name, '') NOT LIKE $1 "
    "ORDER BY backend_start, pid";

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int RedirectAdoConnectionStringFromMasterToMandateDatabase(
    const char* connectionString, const char* databaseId, char** redirected) {
    if (!redirected) return kBadArgument;
    *redirected = nullptr;
    if (!connectionString || !databaseId) return kBadArgument;
    std::optional<std::string> conninfo =
        pendra::pg::RedirectToDatabase(connectionString, databaseId);
    if (!conninfo) return kBadArgument;
    *redirected = Hand(*conninfo);
    return kOk;
}

__attribute__((visibility("default"))) int GetOtherUsersHoldingTheDatabase(
    const char* connectionString, char** users, char** reserved) {
    if (!users) return kBadArgument;
    *users = nullptr;
    if (reserved) *reserved = nullptr;
    if (!connectionString) return kBadArgument;
    pendra::pg::Connection connection{std::string(connectionString)};
    if (!connection.Ok()) return kNoConnection;
    const std::string ownSessions = "% [" + std::to_string(getpid()) + "]";
    pendra::pg::Result result = connection.Exec(kSessionsSql, {{ownSessions}});
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) return kQueryFailed;
    std::string list;
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        list += Value(result.get(), row, 0) + ", " + Value(result.get(), row, 1) + ", " +
                Value(result.get(), row, 2) + ", " + Value(result.get(), row, 3) + "\r\n";
    }
    *users = Hand(list);
    return kOk;
}

__attribute__((visibility("default"))) void HoldwatchFreeString(char* text) { std::free(text); }
}
