// What only SQL mandates have: their configuration, the exclusive lock in the
// database between processes, the other-users library, failures of the server.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include "tests/pendra/EngineTestSupport.h"
#include "tests/support/FileBytes.h"
#include "tests/mandate/ToolProcess.h"
#include "mandate/HoldwatchApi.h"
#include "pendra/IDbAccess.h"
#include "pendra/IMandateConfiguration.h"
#include "mandate/tools/MandantTool.h"

using namespace testsupport;

namespace {

class SqlMandate : public SqlOnlyTest {
protected:
    void CutOwnSessions(Mandate& mandate) {
        CutSessionsOfThisProcess(server_, mandate.GetMandateConfiguration()->GetDatabaseId());
    }
};

TEST_F(SqlMandate, DirectoryHoldsOnlyTheConfigurationWithoutPassword) {
    const std::string dir = Create("Sql AG");
    const std::string text = FileBytes(dir + "/" + SqlMandateConfiguration::kFileName);
    EXPECT_NE(text.find("connection=" + server_ + "\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("password"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir + "/pendra.db"));

    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(mandate.IsSQLMandate(), 1);
    ASSERT_NE(mandate.GetDbAccess(), nullptr);
    IMandateConfiguration* configuration = mandate.GetDbAccess()->GetMandateConfiguration();
    ASSERT_NE(configuration, nullptr);
    EXPECT_EQ(configuration->GetConnectionString(), server_);
    EXPECT_TRUE(configuration->GetDatabaseId().starts_with("pendra_"));
    EXPECT_EQ(mandate.GetMandateConfiguration(), configuration);
}

TEST_F(SqlMandate, FileMandateHasNoDatabaseAccessAndNoDatabaseLock) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(NewMandate(temp_)), pendra::kOk);
    EXPECT_EQ(mandate.IsSQLMandate(), 0);
    EXPECT_EQ(mandate.GetDbAccess(), nullptr);
    EXPECT_EQ(mandate.GetMandateConfiguration(), nullptr);
    EXPECT_FALSE(mandate.TryGetExclusiveLock(0));
}

TEST_F(SqlMandate, PasswordInTheConnectionStringIsRefusedAndNothingCreated) {
    const std::string dir = temp_.Sub("Geheim AG");
    MandateCreateOptions options;
    options.name = "Geheim AG";
    options.sqlConnection = server_ + " password=secret";
    EXPECT_EQ(CreateMandate(dir, options), pendra::kBadArgument);
    EXPECT_FALSE(SqlMandateConfiguration::ExistsIn(dir));
}

TEST_F(SqlMandate, SecondCreateInTheSameDirectoryIsRefused) {
    const std::string dir = Create("Doppel AG");
    MandateCreateOptions options;
    options.name = "Doppel AG";
    options.sqlConnection = server_;
    EXPECT_EQ(CreateMandate(dir, options), pendra::kDuplicateKey);
}

TEST_F(SqlMandate, WrongCredentialsOrServerFailTheOpenWithoutCrash) {
    const std::string dir = Create("Zugang AG");
    const SqlMandateConfiguration good = *SqlMandateConfiguration::Read(dir);
    for (const std::string& conninfo :
         {server_ + " user=nobody_at_all", std::string("host=127.0.0.1 port=1 dbname=postgres"),
          std::string("this is = no 'connection string")}) {
        SCOPED_TRACE(conninfo);
        ASSERT_EQ(SqlMandateConfiguration(conninfo, good.GetDatabaseId()).Write(dir), pendra::kOk);
        Mandate mandate;
        const int status = mandate.OpenMandateFiles(dir);
        EXPECT_NE(status, pendra::kOk);
        EXPECT_NE(status, pendra::kMandateHeldExclusively);
        EXPECT_EQ(mandate.IsMandantOpen(), 0);
    }
    ASSERT_EQ(good.Write(dir), pendra::kOk);  // so the cleanup finds the database
}

TEST_F(SqlMandate, LostConnectionEndsTheCommandWithAStatusAndLosesNothingCommitted) {
    const std::string dir = Create("Abbruch AG");
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    InsertTaxes(mandate, {"A"});
    RecordFile<Tax> tax(mandate);
    ASSERT_EQ(tax.Read("A"), pendra::kOk);

    CutOwnSessions(mandate);
    tax.SetQuote(2.0f);
    EXPECT_EQ(tax.Update(), pendra::kIoError);
    FillTax(tax, "B", 0.1f);
    EXPECT_EQ(tax.Insert(), pendra::kIoError);
    EXPECT_EQ(tax.ReadFirst(), pendra::kIoError);
    EXPECT_EQ(mandate.SetIniLong(0, 1, 1), pendra::kIoError);
    mandate.CloseMandateFiles();

    Mandate again;
    ASSERT_EQ(again.OpenMandateFiles(dir), pendra::kOk);
    RecordFile<Tax> back(again);
    EXPECT_EQ(WalkTaxIds(back), (std::vector<std::string>{"A"}));
    ASSERT_EQ(back.Read("A"), pendra::kOk);
    EXPECT_FLOAT_EQ(back.GetQuote(), 1.077f);  // the update was not half made
}

TEST_F(SqlMandate, LostConnectionInsideABatchRollsTheWholeBatchBack) {
    const std::string dir = Create("Batch AG");
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    {
        auto batch = Batch(mandate);
        ASSERT_TRUE(batch);
        InsertTaxes(mandate, {"A", "B"});
        CutOwnSessions(mandate);
        EXPECT_EQ(batch->Commit(), pendra::kIoError);
    }
    mandate.CloseMandateFiles();
    Mandate again;
    ASSERT_EQ(again.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(RecordFile<Tax>(again).ReadFirst(), pendra::kEndOfFile);
}

// --- Another process -----------------------------------------------------------

TEST_F(SqlMandate, ExclusiveLockHoldsBetweenProcesses) {
    const std::string dir = Create("Halt AG");
    {
        ToolProcess holder({"hold", dir});
        ASSERT_EQ(holder.ReadLine(), "holding " + dir);
        Mandate mandate;
        EXPECT_EQ(mandate.OpenMandateFiles(dir), pendra::kMandateHeldExclusively);
        // Refused, it still names its database, so the other users can be listed.
        ASSERT_NE(mandate.GetDbAccess(), nullptr);
        EXPECT_FALSE(mandate.TryGetExclusiveLock(0));
        holder.CloseInput();
        EXPECT_EQ(holder.Finish(), 0);
    }
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_TRUE(mandate.TryGetExclusiveLock(0));
    ToolResult second = RunTool({"hold", dir});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("status 88"), std::string::npos) << second.err;
}

TEST_F(SqlMandate, SharedUsersKeepTheExclusiveLockAway) {
    const std::string dir = Create("Geteilt AG");
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    ToolResult hold = RunTool({"hold", dir}, "");
    EXPECT_EQ(hold.exitCode, 1);
    EXPECT_NE(hold.err.find("status 88"), std::string::npos) << hold.err;
}

// --- libholdwatch.so -------------------------------------------------------------

class Holdwatch : public SqlMandate {
protected:
    void Prepare() override {
        handle_ = dlopen(HOLDWATCH_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        redirect_ = reinterpret_cast<RedirectAdoConnectionStringFromMasterToMandateDatabaseFn>(
            dlsym(handle_, holdwatch::kRedirectName));
        users_ = reinterpret_cast<GetOtherUsersHoldingTheDatabaseFn>(
            dlsym(handle_, holdwatch::kOtherUsersName));
        release_ = reinterpret_cast<HoldwatchFreeStringFn>(dlsym(handle_, holdwatch::kFreeName));
        ASSERT_TRUE(redirect_ && users_ && release_);
    }
    void TearDown() override {
        if (handle_) dlclose(handle_);
    }
    std::string Take(char* text) {
        std::string copy = text ? text : "";
        if (text) release_(text);
        return copy;
    }
    std::optional<std::string> OtherUsers(const std::string& dir) {
        const SqlMandateConfiguration configuration = *SqlMandateConfiguration::Read(dir);
        char* redirected = nullptr;
        redirect_(configuration.GetConnectionString().c_str(),
                  configuration.GetDatabaseId().c_str(), &redirected);
        if (!redirected) return std::nullopt;
        char* users = nullptr;
        char* reserved = nullptr;
        const int status = users_(redirected, &users, &reserved);
        Take(redirected);
        Take(reserved);
        std::string list = Take(users);
        if (status != 0) return std::nullopt;
        return list;
    }

    void* handle_ = nullptr;
    RedirectAdoConnectionStringFromMasterToMandateDatabaseFn redirect_ = nullptr;
    GetOtherUsersHoldingTheDatabaseFn users_ = nullptr;
    HoldwatchFreeStringFn release_ = nullptr;
};

TEST_F(Holdwatch, RedirectReplacesTheMasterDatabase) {
    char* redirected = nullptr;
    ASSERT_EQ(redirect_("host=db.example port=5433 dbname=postgres", "pendra_1", &redirected), 0);
    EXPECT_EQ(Take(redirected), "host='db.example' port='5433' dbname='pendra_1'");
    EXPECT_NE(redirect_("no = 'closed", "pendra_1", &redirected), 0);
    EXPECT_EQ(redirected, nullptr);
}

TEST_F(Holdwatch, ListsTheOtherProcessWithUserAddressProgramAndSince) {
    const std::string dir = Create("Liste AG");
    {
        Mandate own;
        ASSERT_EQ(own.OpenMandateFiles(dir), pendra::kOk);
        EXPECT_EQ(OtherUsers(dir), std::optional<std::string>(""));  // this process is no other user
    }

    ToolProcess holder({"hold", dir});
    ASSERT_EQ(holder.ReadLine(), "holding " + dir);
    std::optional<std::string> list = OtherUsers(dir);
    ASSERT_TRUE(list.has_value());
    // user, client address, program, connected since
    EXPECT_NE(list->find(", mwst-mandant ["), std::string::npos) << *list;
    EXPECT_NE(list->find("], 20"), std::string::npos) << *list;
    EXPECT_NE(list->find(", 127.0.0.1, "), std::string::npos) << *list;
    EXPECT_TRUE(list->ends_with("\r\n"));
    EXPECT_EQ(std::count(list->begin(), list->end(), '\n'), 1);
}

TEST_F(Holdwatch, UnreachableServerIsAFailureNotAnEmptyList) {
    char* users = nullptr;
    char* reserved = nullptr;
    EXPECT_NE(users_("host=127.0.0.1 port=1 dbname=x connect_timeout=2", &users, &reserved), 0);
    EXPECT_EQ(users, nullptr);
}

// --- mwst-mandant ----------------------------------------------------------------

std::string RunInProcess(const std::vector<std::string>& args, const std::string& input = "") {
    const testsupport::ToolResult ran = testsupport::RunToolInProcess(args, input);
    return std::to_string(ran.exitCode) + ":" + ran.out + ran.err;
}

TEST_F(SqlMandate, ToolCreatesLoadsAndDumpsAnSqlMandateLikeAFileMandate) {
    const std::string records =
        "key VSN77 7.7 107.7 netto 1170 Vorsteuer\n"
        "account 3000 1 VSN77 Ertrag\n"
        "booking 1 20231231 3000 100.5 VSN77 Verkauf\n"
        "setting 0 27 1\n";
    const std::string sqlDir = temp_.Sub("sql");
    cleanup_.Add(sqlDir);
    const std::string fileDir = temp_.Sub("file");
    EXPECT_EQ(RunInProcess({"create", sqlDir, "--name", "Tool AG", "--sql", server_}),
              "0:created " + sqlDir + " \"Tool AG\"\n");
    ASSERT_EQ(RunInProcess({"create", fileDir, "--name", "Tool AG"}).substr(0, 2), "0:");
    ASSERT_EQ(RunInProcess({"load", sqlDir}, records).substr(0, 2), "0:");
    ASSERT_EQ(RunInProcess({"load", fileDir}, records).substr(0, 2), "0:");
    // Past the heading line naming the directory, the dumps are the same.
    auto body = [](const std::string& dump) { return dump.substr(dump.find('\n')); };
    const std::string sqlDump = RunInProcess({"dump", sqlDir});
    EXPECT_EQ(body(sqlDump), body(RunInProcess({"dump", fileDir})));
    EXPECT_NE(sqlDump.find("VSN77"), std::string::npos) << sqlDump;
}

TEST_F(SqlMandate, DemoAddsAnSqlMandateWhenTheServerAnswers) {
    const std::string root = temp_.Sub("demo");
    const std::string dir = root + "/sql/baeckerei-mueller";
    cleanup_.Add(dir);
    ToolResult demo = RunTool({"demo", root, "--sql", server_});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    EXPECT_NE(demo.out.find("  sql/baeckerei-mueller  \"B\xC3\xA4""ckerei M\xC3\xBCller AG\"  version 2300; keys "),
              std::string::npos)
        << demo.out;
    EXPECT_NE(demo.out.find("SQL mandate on \"" + server_ + "\""), std::string::npos) << demo.out;
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(mandate.IsSQLMandate(), 1);
    RecordFile<Tax> tax(mandate, BFile::kModeReadOnly);
    EXPECT_FALSE(WalkTaxIds(tax).empty());
    EXPECT_TRUE(std::filesystem::exists(dir + "/MWSTFORM.VTS"));
}

TEST_F(SqlMandate, DemoWithoutAServerSaysSoAndBuildsTheFileMandates) {
    const std::string root = temp_.Sub("demo");
    ToolResult demo = RunTool({"demo", root, "--sql", "host=127.0.0.1 port=1 dbname=postgres"});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    EXPECT_NE(demo.out.find("No SQL mandate: no PostgreSQL server reachable with \"host=127.0.0.1 "
                            "port=1 dbname=postgres\"\n"),
              std::string::npos)
        << demo.out;
    EXPECT_FALSE(std::filesystem::exists(root + "/sql"));
    EXPECT_TRUE(Mandate::PathContainsMandate(root + "/baeckerei-mueller"));
}

}  // namespace
