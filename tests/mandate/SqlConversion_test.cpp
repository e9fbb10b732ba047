// The whole conversion with mwst-batch on an SQL mandate gives the same log
// and the same data as on the file mandate it was copied from.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "pendra/BFile.h"
#include "pendra/Konto.h"
#include "tests/pendra/MandateTestSupport.h"
#include "tests/pendra/SqlTestSupport.h"
#include "mandate/tools/MandantTool.h"
#include "tests/mandate/ToolProcess.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const std::string kBin = MWST_TEST_BIN_DIR;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// A program of ours; standard input is empty, so nothing can wait for an answer.
std::string Program(const std::string& name, const std::string& args, int& exitCode) {
    const std::string command = kBin + "/" + name + " " + args + " </dev/null 2>&1";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    exitCode = ::pclose(pipe);
    return out;
}

std::string Tool(const std::vector<std::string>& args, int& exitCode) {
    const testsupport::ToolResult ran = testsupport::RunToolInProcess(args);
    exitCode = ran.exitCode;
    return ran.out + ran.err;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The mandate's data in load format, past the heading line naming its directory.
std::string Data(const std::string& dir) {
    int exitCode = -1;
    std::string dump = Tool({"dump", dir}, exitCode);
    EXPECT_EQ(exitCode, 0) << dump;
    return dump.substr(dump.find('\n'));
}

class SqlConversion : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_TEST_SERVER(server_);
        int exitCode = -1;
        const std::string demo = Program("mwst-mandant", "demo " + Quoted(temp_.Sub("demo")), exitCode);
        ASSERT_EQ(exitCode, 0) << demo;
        file_ = temp_.Sub("demo/baeckerei-mueller");
        sql_ = temp_.Sub("sql/baeckerei-mueller");
        CopyToSql();
    }

    // The same mandate in the database: its records through the load format,
    // its workbooks and other files beside.
    void CopyToSql() {
        Mandate source;
        ASSERT_EQ(source.OpenMandateFiles(file_), pendra::kOk);
        const std::string name = source.GetName();
        source.CloseMandateFiles();
        int exitCode = -1;
        cleanup_.Add(sql_);
        std::string out = Tool({"create", sql_, "--name", name, "--sql", server_}, exitCode);
        ASSERT_EQ(exitCode, 0) << out;
        const std::string records = temp_.Sub("records.txt");
        {
            std::ofstream dump(records);
            out = Tool({"dump", file_}, exitCode);
            ASSERT_EQ(exitCode, 0) << out;
            dump << out;
        }
        out = Tool({"load", sql_, records}, exitCode);
        ASSERT_EQ(exitCode, 0) << out;
        for (const fs::directory_entry& entry : fs::directory_iterator(file_)) {
            const std::string base = entry.path().filename().string();
            if (!entry.is_regular_file() || base.starts_with("pendra.")) continue;
            fs::copy_file(entry.path(), sql_ + "/" + base);
        }
        ASSERT_EQ(Data(sql_), Data(file_));
    }

    // One mwst-batch command on both mandates: the same exit, the same log.
    void RunOnBoth(const std::string& command) {
        SCOPED_TRACE(command);
        int fileExit = -1, sqlExit = -1;
        const std::string fileLog = Program("mwst-batch", command + " --yes " + Quoted(file_), fileExit);
        const std::string sqlLog = Program("mwst-batch", command + " --yes " + Quoted(sql_), sqlExit);
        EXPECT_EQ(sqlExit, fileExit);
        EXPECT_EQ(Replaced(sqlLog, sql_, file_), fileLog);
        EXPECT_NE(sqlLog.find(sql_), std::string::npos) << sqlLog;  // it did run on the SQL one
    }

    TempDir temp_;
    SqlMandateCleanup cleanup_;
    std::string server_, file_, sql_;
};

TEST_F(SqlConversion, WholeConversionGivesTheSameLogAndData) {
    const std::string before = Data(sql_);
    for (const char* command :
         {"show-keys", "insert-keys", "adapt-accounts", "form-2024", "remove-old-keys"}) {
        RunOnBoth(command);
        EXPECT_EQ(Data(sql_), Data(file_)) << "after " << command;
    }
    const std::string after = Data(sql_);
    EXPECT_NE(after, before);
    EXPECT_NE(after.find("key USN81 8.1"), std::string::npos) << after;
    for (const fs::directory_entry& entry : fs::directory_iterator(file_)) {
        const std::string base = entry.path().filename().string();
        if (!entry.is_regular_file() || base.starts_with("pendra.")) continue;
        EXPECT_TRUE(fs::exists(sql_ + "/" + base)) << base;
    }
}

// The accounts on a key, counted in one request for the progress of a walk
// over them: on both alike, as many as the data lists.
TEST_F(SqlConversion, AccountsOnAKeyAreCountedAsTheDataListsThem) {
    const std::string data = Data(file_);
    std::map<std::string, std::size_t> listed{{"KEINER", 0}};
    std::istringstream lines(data);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string kind, number, type, id;
        if (fields >> kind >> number >> type >> id && kind == "account" && id != "-") ++listed[id];
    }
    ASSERT_GE(listed.size(), 3u) << data;
    for (const std::string& dir : {file_, sql_}) {
        Mandate mandate;
        ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
        BFile kontoFile(&mandate);
        ASSERT_EQ(kontoFile.Open(mandate.GetKontoName(), BFile::kModeReadOnly), pendra::kOk);
        Konto konto(&mandate);
        konto.UseFile(&kontoFile);
        for (const auto& [id, count] : listed) {
            std::size_t counted = 99;
            EXPECT_EQ(konto.CountByTaxId(id, counted), pendra::kOk) << dir << " " << id;
            EXPECT_EQ(counted, count) << dir << " " << id;
        }
        kontoFile.Close();
        mandate.CloseMandateFiles();
    }
}

// The bookings on the wrong side of 1.1.2024 are the same rows on both.
TEST_F(SqlConversion, WrongSideBookingsAreListedAlike) {
    const std::string records = temp_.Sub("wrong-side.txt");
    std::ofstream(records) << "booking 900 20240115 3000 100 USN77 Neu\n"
                              "booking 901 20231130 6500 20 VSN81 Vorbezug\n"
                              "booking 902 20240201 1000 30 WEG77 Schlüssel gelöscht\n";
    for (const std::string& dir : {file_, sql_}) {
        int exitCode = -1;
        const std::string out = Tool({"load", dir, records}, exitCode);
        ASSERT_EQ(exitCode, 0) << out;
    }
    RunOnBoth("bookings --wrong-side --format csv");
    int exitCode = -1;
    const std::string rows = Program("mwst-batch", "bookings --wrong-side --format csv " + Quoted(sql_), exitCode);
    EXPECT_EQ(exitCode, 0) << rows;
    for (const char* number : {",900,2024-01-15,", ",901,2023-11-30,", ",902,2024-02-01,"})
        EXPECT_NE(rows.find(number), std::string::npos) << rows;
}

}  // namespace
