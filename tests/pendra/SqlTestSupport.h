#pragma once
// The PostgreSQL server of the SQL mandate tests: scripts/pg-test-server.sh
// starts one and exports MWST_TEST_PG (a libpq connection string of its master
// database). Set but unreachable is a failure; unset, the SQL tests are skipped.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "pendra/MandateAdmin.h"
#include "pendra/PgEngine.h"
#include "pendra/SqlMandateConfiguration.h"

namespace testsupport {

inline std::optional<std::string> TestServer() {
    const char* conninfo = std::getenv("MWST_TEST_PG");
    if (!conninfo || !*conninfo) return std::nullopt;
    return std::string(conninfo);
}

inline bool ServerReachable(const std::string& conninfo) {
    return PQping(conninfo.c_str()) == PQPING_OK;
}

// In SetUp or a test: skips without a server, fails with an unreachable one.
#define REQUIRE_TEST_SERVER(conninfo)                                                   \
    do {                                                                                \
        if (!testsupport::TestServer()) {                                               \
            GTEST_SKIP() << "MWST_TEST_PG not set; run scripts/pg-test-server.sh or ./test.sh"; \
        }                                                                               \
        (conninfo) = *testsupport::TestServer();                                        \
        ASSERT_TRUE(testsupport::ServerReachable(conninfo))                             \
            << "MWST_TEST_PG names no running server: " << (conninfo);                  \
    } while (false)

// Ends the server sessions this process holds on `database`, as a lost
// network or a restarted server would.
inline void CutSessionsOfThisProcess(const std::string& server, const std::string& database) {
    PGconn* admin = PQconnectdb(server.c_str());
    ASSERT_EQ(PQstatus(admin), CONNECTION_OK);
    const std::string own = "% [" + std::to_string(getpid()) + "]";
    const char* params[] = {database.c_str(), own.c_str()};
    PGresult* result = PQexecParams(admin,
                                    "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                    "WHERE datname = $1 AND application_name LIKE $2",
                                    2, nullptr, params, nullptr, nullptr, 0);
    EXPECT_EQ(PQresultStatus(result), PGRES_TUPLES_OK);
    EXPECT_GE(PQntuples(result), 1);
    PQclear(result);
    PQfinish(admin);
}

// Drops the database of an SQL mandate created by a test.
class SqlMandateCleanup {
public:
    SqlMandateCleanup() = default;
    ~SqlMandateCleanup() {
        for (const std::string& dir : dirs_) DropSqlMandate(dir);
    }
    SqlMandateCleanup(const SqlMandateCleanup&) = delete;
    SqlMandateCleanup& operator=(const SqlMandateCleanup&) = delete;
    void Add(const std::string& dir) { dirs_.push_back(dir); }

private:
    std::vector<std::string> dirs_;
};

}  // namespace testsupport
