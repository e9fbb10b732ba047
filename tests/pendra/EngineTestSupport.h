#pragma once
// Fixtures of the tests that run on a file mandate (SQLite) and on an SQL
// mandate (PostgreSQL, the server of scripts/pg-test-server.sh), or on SQL
// mandates only: the SQL runs are skipped without a server.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/pendra/MandateTestSupport.h"
#include "tests/pendra/SqlTestSupport.h"

namespace testsupport {

enum class Engine { kFile, kSql };
inline void PrintTo(Engine engine, std::ostream* out) { *out << (engine == Engine::kFile ? "file" : "sql"); }

// Creates mandates in a temporary directory, on the server when sql_; their
// databases are dropped after the fixture's own members (its mandates) closed.
class MandateMaker {
protected:
    std::string Create(const std::string& name, MandateCreateOptions options = {}) {
        const std::string dir = temp_.Sub(name);
        options.name = name;
        if (sql_) {
            options.sqlConnection = server_;
            cleanup_.Add(dir);
        }
        EXPECT_EQ(CreateMandate(dir, options), pendra::kOk) << name;
        return dir;
    }
    // What the test needs beyond the server, run once it is known to answer.
    virtual void Prepare() {}

    TempDir temp_;
    SqlMandateCleanup cleanup_;
    std::string server_;
    bool sql_ = false;
};

class BothEnginesTest : public ::testing::TestWithParam<Engine>, protected MandateMaker {
protected:
    void SetUp() override {
        sql_ = GetParam() == Engine::kSql;
        if (sql_) REQUIRE_TEST_SERVER(server_);
        Prepare();
    }
};

class SqlOnlyTest : public ::testing::Test, protected MandateMaker {
protected:
    void SetUp() override {
        sql_ = true;
        REQUIRE_TEST_SERVER(server_);
        Prepare();
    }
};

inline auto BothEngines() { return ::testing::Values(Engine::kFile, Engine::kSql); }
inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::kFile ? "File" : "Sql";
}

}  // namespace testsupport
