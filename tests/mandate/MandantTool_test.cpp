// mwst-mandant: creating, loading, dumping and holding mandates.
#include "mandate/tools/MandantTool.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include <fstream>
#include <sstream>

#include "tests/pendra/MandateTestSupport.h"
#include "tests/pendra/ChildProcess.h"
#include "tests/mandate/ToolProcess.h"
#include "tests/support/Fifo.h"
#include "tests/support/FileModes.h"
#include "pendra/MIniSetHelper.h"
#include "mandate/tools/MandateText.h"

using namespace testsupport;

namespace {

// The record lines of a dump (without the header comments).
std::string Records(const std::string& dir) {
    ToolResult dump = RunToolInProcess({"dump", dir});
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    std::istringstream lines(dump.out);
    std::string line, records;
    while (std::getline(lines, line)) {
        if (!line.starts_with("#")) records += line + "\n";
    }
    return records;
}

// The key `id` of the mandate in `dir`, read through the library; `ok` when it was.
struct KeyRecord {
    KeyRecord(const std::string& dir, const std::string& id) {
        ok = mandate.OpenMandateFiles(dir) == pendra::kOk && file.Open(mandate.GetTaxName(), 0) == pendra::kOk;
        tax.UseFile(&file);
        ok = ok && tax.Read(id) == pendra::kOk;
    }
    ~KeyRecord() { mandate.CloseMandateFiles(); }
    Mandate mandate;
    BFile file{&mandate};
    Tax tax{&mandate};
    bool ok = false;
};

class MandantToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = temp_.Sub("Muster AG");
        ASSERT_EQ(RunToolInProcess({"create", dir_, "--name", "Muster AG"}).exitCode, 0);
    }
    // A new mandate beside `dir` loaded from the dump of `dir`.
    static std::string CopyThroughDump(const std::string& dir) {
        const std::string copy = dir + " Kopie";
        EXPECT_EQ(RunToolInProcess({"create", copy, "--name", "Kopie"}).exitCode, 0);
        EXPECT_EQ(RunToolInProcess({"load", copy}, RunToolInProcess({"dump", dir}).out).exitCode, 0);
        return copy;
    }
    TempDir temp_;
    std::string dir_;
};

constexpr const char* kInput =
    "# Testmandant\r\n"
    "setting 0 27 1\r\n"
    "key   VSN77\t7.7 107.7 netto 1170   Vorsteuer  7.7%  Material\r\n"
    "key VSB25 2.5 102.5 brutto - \r\n"
    "key USN81 8.1 108.1 netto 2200 Umsatzsteuer 8.1%\r\n"
    "key UEX00 0 100 brutto 2200 Export\r\n"
    "account 1000 0 - Kasse\r\n"
    "account 3000 1 USN81\r\n"
    "booking 2 20231231 3000 1077.55 USN81 Verkauf Dezember\r\n"
    "booking -1 20240229 - -12.5 - \r\n";

constexpr const char* kExpectedRecords =
    "setting 0 27 1\n"
    "key UEX00 0 100 brutto 2200 Export\n"
    "key USN81 8.1 108.1 netto 2200 Umsatzsteuer 8.1%\n"
    "key VSB25 2.5 102.5 brutto -\n"
    "key VSN77 7.7 107.7 netto 1170 Vorsteuer  7.7%  Material\n"
    "account 1000 0 - Kasse\n"
    "account 3000 1 USN81\n"
    "booking -1 20240229 - -12.5 -\n"
    "booking 2 20231231 3000 1077.55 USN81 Verkauf Dezember\n";

// Loaded, the input dumps as the records (normalised, in key order), and the
// dump loads back into an empty mandate as the same records.
struct LoadCase {
    const char* what;
    std::string input, records;
};

TEST_F(MandantToolTest, LoadThenDumpGivesTheRecordsAndTheDumpLoadsBack) {
    for (const LoadCase& c : {
             LoadCase{"the input normalised and in key order", kInput, kExpectedRecords},
             // A text field may begin with U+FEFF; only a BOM at the start of the input is the file's.
             LoadCase{"a leading byte order mark in a text field", "# Konten\naccount 1000 0 - \xEF\xBB\xBFKasse\n",
                      "account 1000 0 - \xEF\xBB\xBFKasse\n"},
             // Empty and `-` fields store no bytes (and copy none: the sanitizer build checks that).
             LoadCase{"empty and dash fields",
                      "key VSB25 2.5 102.5 brutto -\naccount 1000 0 -\nbooking -1 20240229 - -12.5 -\n",
                      "key VSB25 2.5 102.5 brutto -\naccount 1000 0 -\nbooking -1 20240229 - -12.5 -\n"},
             // ISO booking dates are stored as the library stores dates.
             LoadCase{"ISO booking dates", "booking 2 2023-12-31 3000 1077.55 - Verkauf\nbooking 3 2024-02-29 - 5 -\n",
                      "booking 2 20231231 3000 1077.55 - Verkauf\nbooking 3 20240229 - 5 -\n"}}) {
        SCOPED_TRACE(c.what);
        const std::string dir = temp_.Sub(c.what);
        ASSERT_EQ(RunToolInProcess({"create", dir, "--name", "Muster AG"}).exitCode, 0);
        const ToolResult load = RunToolInProcess({"load", dir}, c.input);
        ASSERT_EQ(load.exitCode, 0) << load.err;
        EXPECT_EQ(Records(dir), c.records);
        EXPECT_EQ(Records(CopyThroughDump(dir)), c.records);
    }
}

TEST_F(MandantToolTest, PercentTextStoresTheFloatAndReadsBack) {
    ASSERT_EQ(RunToolInProcess({"load", dir_}, "key VSN77 7.7 107.7 netto 1170\n").exitCode, 0);
    const float odd = 1.0f / 3.0f;
    {
        KeyRecord key(dir_, "VSN77");
        ASSERT_TRUE(key.ok);
        EXPECT_EQ(key.tax.GetPercent(), 0.077f);
        EXPECT_EQ(key.tax.GetQuote(), 1.077f);
        EXPECT_EQ(mandant::FormatPercent(0.077f), "7.7");
        EXPECT_EQ(mandant::FormatPercent(1.077f), "107.7");
        // A rate %g cannot carry gets the digits it needs to come back unchanged.
        std::memcpy(key.tax.GetBuffer() + Tax::kRateOffset, &odd, sizeof odd);
        ASSERT_EQ(key.tax.Update(), pendra::kOk);
    }
    KeyRecord copied(CopyThroughDump(dir_), "VSN77");
    ASSERT_TRUE(copied.ok);
    EXPECT_EQ(copied.tax.GetPercent(), odd);
}

TEST_F(MandantToolTest, Windows1252InputIsStoredAsUtf8) {
    ASSERT_EQ(RunToolInProcess({"load", dir_}, "account 1000 0 - B\xE4""ckerei \x80 M\xFCller\r\n").exitCode, 0);
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    BFile file(&mandate);
    ASSERT_EQ(file.Open(mandate.GetKontoName(), 0), pendra::kOk);
    Konto konto(&mandate);
    konto.UseFile(&file);
    ASSERT_EQ(konto.ReadKonto("1000"), pendra::kOk);
    EXPECT_EQ(konto.GetName(), "Bäckerei € Müller");
}

// Ids are six characters of Windows-1252, stored as the library stores them,
// whether the input is UTF-8 or Windows-1252; the dump gives them back as UTF-8.
TEST_F(MandantToolTest, UmlautIdsOfSixCharactersRoundTrip) {
    ASSERT_EQ(RunToolInProcess({"load", dir_}, "key NEUÄÄ1 8.1 108.1 netto 2200 Neu ÄÄ\n"
                                           "account 2200 1 NEUÄÄ1 Umsatz\n"
                                           "booking 1 20240110 2200 10 NEUÄÄ1 Verkauf\n").exitCode,
              0);
    ASSERT_EQ(RunToolInProcess({"load", dir_}, "key \x8C" "uvre 8.1 108.1 netto - \x80\n").exitCode, 0);
    EXPECT_EQ(Records(dir_), "key NEUÄÄ1 8.1 108.1 netto 2200 Neu ÄÄ\n"
                             "key Œuvre 8.1 108.1 netto - €\n"
                             "account 2200 1 NEUÄÄ1 Umsatz\n"
                             "booking 1 20240110 2200 10 NEUÄÄ1 Verkauf\n");
    KeyRecord key(dir_, "NEUÄÄ1");
    ASSERT_TRUE(key.ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(key.tax.GetBuffer()), 6), "NEU\xC4\xC4" "1");
}

struct BadLine {
    const char* line;
    const char* field;  // named in the message; "" when the line as a whole is wrong
};

class MandantToolBadInput : public MandantToolTest,
                            public ::testing::WithParamInterface<BadLine> {};

TEST_P(MandantToolBadInput, NamesLineAndFieldAndWritesNothing) {
    ASSERT_EQ(RunToolInProcess({"load", dir_}, "key VSN77 7.7 107.7 netto 1170\n").exitCode, 0);
    std::string before = Records(dir_);
    std::string input = std::string("# good lines first\naccount 1000 0 - Kasse\n") +
                        GetParam().line + "\nbooking 1 20231231 1000 5 -\n";
    ToolResult load = RunToolInProcess({"load", dir_}, input);
    EXPECT_EQ(load.exitCode, 1);
    EXPECT_NE(load.err.find("line 3"), std::string::npos) << load.err;
    if (*GetParam().field) {
        EXPECT_NE(load.err.find(std::string("field ") + GetParam().field), std::string::npos)
            << load.err;
    }
    EXPECT_NE(load.err.find("nothing loaded"), std::string::npos) << load.err;
    EXPECT_EQ(Records(dir_), before);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MandantToolBadInput,
    ::testing::Values(BadLine{"key VSN7700 7.7 107.7 netto 1170", "ID"},
                      BadLine{"key VSN81 7,7 107.7 netto 1170", "RATE"},
                      BadLine{"key VSN81 abc 107.7 netto 1170", "RATE"},
                      BadLine{"key VSN81 150 250 netto 1170", "RATE"},
                      BadLine{"key VSN81 8.1 nan netto 1170", "GROSS"},
                      BadLine{"key VSN81 8.1 108.1 net 1170", "netto|brutto"},
                      BadLine{"key VSN81 8.1 108.1 netto", "ACCOUNT"},
                      BadLine{"key VSN81 8.1 108.1 netto 12345678901234567", "ACCOUNT"},
                      BadLine{"key VSN81 8.1 108.1 netto 1170 "
                              "Ein Text, der viel zu lang ist für vierzig Bytes",
                              "TEXT"},
                      BadLine{"account 2000 x -", "TYPE"}, BadLine{"account 2000 99999 -", "TYPE"},
                      BadLine{"account 2000 0 VSN0770", "TAXID"},
                      BadLine{"key NEUÄÄ12 7.7 107.7 netto 1170", "ID"},
                      BadLine{"key ΩMEGA 7.7 107.7 netto 1170", "ID"},
                      BadLine{"account 2000 0 ÄÄÄÄÄÄÄ", "TAXID"},
                      BadLine{"booking 9 20231231 1000 5 €→", "TAXID"},
                      BadLine{"account 2000", "TYPE"},
                      BadLine{"booking 9 20230230 1000 5 -", "DATE"},
                      BadLine{"booking 9 2023123 1000 5 -", "DATE"},
                      BadLine{"booking 99999999999 20231231 1000 5 -", "NUMBER"},
                      BadLine{"booking 9 20231231 1000 5.0.0 -", "AMOUNT"},
                      // ISO dates that are no dates, or not written as ISO dates.
                      BadLine{"booking 2 2023-02-29 3000 5 -", "DATE"}, BadLine{"booking 2 2023-13-01 3000 5 -", "DATE"},
                      BadLine{"booking 2 2023-1-031 3000 5 -", "DATE"}, BadLine{"booking 2 2023/12/31 3000 5 -", "DATE"},
                      BadLine{"booking 2 2023-12-3x 3000 5 -", "DATE"},
                      BadLine{"setting 0 27", "VALUE"}, BadLine{"setting 0 27 1 2", "VALUE"},
                      BadLine{"setting x 27 1", "SECTION"},
                      // Conflicts with what the mandate holds are found on writing.
                      BadLine{"key VSN77 8.1 108.1 netto 1170", "ID"},
                      BadLine{"account 1000 0 - doppelt", "NUMBER"},
                      BadLine{"konto 1000 0 -", ""}));

TEST_F(MandantToolTest, LoadRefusesAFifoAtOnce) {
    const std::string fifo = temp_.Sub("records.txt");
    ASSERT_TRUE(testsupport::MakeFifo(fifo));
    ToolResult load{};
    EXPECT_TRUE(testsupport::FinishesWithoutWaitingOn(fifo, [&] { load = RunToolInProcess({"load", dir_, fifo}); }));
    EXPECT_EQ(load.exitCode, 1);
    EXPECT_NE(load.err.find(fifo + " is not a regular file; nothing loaded"), std::string::npos) << load.err;
}

// Reading needs no write: a mandate on a read-only medium dumps. The medium is
// a read-only bind mount in a mount namespace of a child process (root only).
TEST_F(MandantToolTest, DumpsAMandateOnAReadOnlyMedium) {
    ASSERT_EQ(RunToolInProcess({"load", dir_}, kInput).exitCode, 0);
    const std::string expected = Records(dir_);
    const std::string mountPoint = temp_.Sub("ro");
    ASSERT_TRUE(std::filesystem::create_directory(mountPoint));
    const std::string source = temp_.Path();
    ChildProcess child([&](ChildChannel&) {
        if (::unshare(CLONE_NEWNS) != 0) return 77;
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
        if (::mount(source.c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr) != 0) return 77;
        if (::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) return 77;
        const std::string roDir = mountPoint + "/Muster AG";
        if (::access(roDir.c_str(), W_OK) == 0 || errno != EROFS) return 3;
        ToolResult dump = RunToolInProcess({"dump", roDir});
        if (dump.exitCode != 0) {
            std::fprintf(stderr, "%s", dump.err.c_str());
            return 1;
        }
        return Records(roDir) == expected ? 0 : 2;
    });
    int code = child.Wait();
    if (code == 77) GTEST_SKIP() << "no mount namespace here (needs CAP_SYS_ADMIN)";
    EXPECT_EQ(code, 0) << "1: dump failed, 2: other records";
}

// A folder the user may read but not write (no -shm file can be created
// beside the database): dump reads it all the same.
TEST_F(MandantToolTest, DumpsAMandateInAFolderItMayNotWrite) {
    ASSERT_EQ(RunToolInProcess({"load", dir_}, kInput).exitCode, 0);
    const std::string expected = Records(dir_);
    std::filesystem::permissions(dir_, std::filesystem::perms(0555));
    ToolResult dump{};
    bool obeyed = false;
    {
        testsupport::ObeyFileModes obey;
        obeyed = obey.Obeyed();
        if (obeyed) dump = RunToolInProcess({"dump", dir_});
    }
    std::filesystem::permissions(dir_, std::filesystem::perms(0755));
    if (!obeyed) GTEST_SKIP() << "file modes cannot be enforced here";
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_NE(dump.out.find(expected.substr(0, expected.find('\n'))), std::string::npos) << dump.out;
}

TEST_F(MandantToolTest, ReportsEveryBadLine) {
    ToolResult load = RunToolInProcess({"load", dir_}, "key A 1 101 netto -\nkey B x 101 netto -\n"
                                          "key C 1 101 x -\n");
    EXPECT_EQ(load.exitCode, 1);
    EXPECT_NE(load.err.find("line 2, field RATE"), std::string::npos) << load.err;
    EXPECT_NE(load.err.find("line 3, field netto|brutto"), std::string::npos) << load.err;
    EXPECT_EQ(Records(dir_), "");
}

TEST_F(MandantToolTest, LoadReadsAFileAndRefusesReadOnlyMandates) {
    std::string file = temp_.Sub("records.txt");
    std::ofstream(file) << "account 1000 0 - Kasse\n";
    ASSERT_EQ(RunToolInProcess({"load", dir_, file}).exitCode, 0);
    EXPECT_EQ(Records(dir_), "account 1000 0 - Kasse\n");
    EXPECT_EQ(RunToolInProcess({"load", dir_, temp_.Sub("missing.txt")}).exitCode, 1);

    ASSERT_EQ(RunToolInProcess({"read-only", dir_, "on"}).exitCode, 0);
    ToolResult load = RunToolInProcess({"load", dir_}, "account 2000 0 - Bank\n");
    EXPECT_EQ(load.exitCode, 1);
    EXPECT_NE(load.err.find("read-only"), std::string::npos);
    EXPECT_EQ(Records(dir_), "account 1000 0 - Kasse\n");
    EXPECT_NE(RunToolInProcess({"dump", dir_}).out.find("# read-only: yes"), std::string::npos);
}

TEST(MandantToolCreate, OptionsReachTheMandate) {
    TempDir temp;
    std::string dir = temp.Sub("neu/tief/Saldo AG");
    ToolResult create = RunToolInProcess({"create", dir, "--name", "Saldo AG", "--version", "2299",
                             "--password", "pw", "--flat-rate", "--read-only"});
    ASSERT_EQ(create.exitCode, 0) << create.err;
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(mandate.GetName(), "Saldo AG");
    long version = 0;
    mandate.GetVersion(version, 1);
    EXPECT_EQ(version, 2299);
    EXPECT_EQ(mandate.GetIniLong(0, 27, 0), 1);
    EXPECT_EQ(mandate.IsReadOnly(), 1);
    ScriptedUi ui;
    ui.passwords = {"pw"};
    EXPECT_EQ(mandate.AskPassword(ui), 1);

    ToolResult again = RunToolInProcess({"create", dir, "--name", "Andere AG"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("a mandate exists there already"), std::string::npos);
}

TEST_F(MandantToolTest, OptionsMayStandAnywhereAfterTheCommand) {
    const std::string other = temp_.Sub("Zweit");
    ToolResult create = RunToolInProcess({"create", "--name", "Zweit AG", other, "--flat-rate"});
    ASSERT_EQ(create.exitCode, 0) << create.err;
    EXPECT_NE(Records(other).find("setting 0 27 1"), std::string::npos);
}

TEST(MandantToolConventions, HelpAndVersionExitWithZeroOnStandardOutput) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"help"}, {"create", "--help"}, {"load", "x", "-h"}}) {
        ToolResult result = RunToolInProcess(args);
        EXPECT_EQ(result.exitCode, 0) << args[0];
        EXPECT_EQ(result.out.rfind("usage: mwst-mandant", 0), 0u) << result.out;
        EXPECT_EQ(result.err, "");
    }
    ToolResult version = RunToolInProcess({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("mwst-mandant ", 0), 0u) << version.out;
}

TEST(MandantToolConventions, ArgumentBytesPassTheParserUnchanged) {
    // A folder name in Windows-1252 (not UTF-8) must reach the tool as it is.
    TempDir temp;
    const std::string dir = temp.Sub("M\xfcller");
    ToolResult create = RunToolInProcess({"create", dir, "--name", "M\xfcller \xe9t\xe9"});
    ASSERT_EQ(create.exitCode, 0) << create.err;
    EXPECT_TRUE(std::filesystem::exists(dir + "/pendra.db"));
    EXPECT_NE(create.out.find("\"M\xfcller \xe9t\xe9\""), std::string::npos) << create.out;
}

struct UsageCase {
    std::vector<std::string> args;
};

class MandantToolUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(MandantToolUsage, ExitsWithTwoAndUsage) {
    ToolResult result = RunToolInProcess(GetParam().args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("usage:"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MandantToolUsage,
    ::testing::Values(UsageCase{{}}, UsageCase{{"frobnicate", "/tmp"}}, UsageCase{{"create"}},
                      UsageCase{{"create", "/tmp/x"}}, UsageCase{{"create", "/tmp/x", "--name"}},
                      UsageCase{{"create", "/tmp/x", "--name", "A", "--version", "23a"}},
                      UsageCase{{"create", "/tmp/x", "--name", "A", "--colour"}},
                      UsageCase{{"dump"}}, UsageCase{{"dump", "/tmp/x", "extra"}},
                      UsageCase{{"read-only", "/tmp/x", "maybe"}}, UsageCase{{"--bogus"}},
                      UsageCase{{"dump", "/tmp/x", "--sql", "host=x"}},
                      UsageCase{{"demo", "/tmp/x", "--sql"}}));

TEST(MandantToolFailures, MissingOrForeignMandatesExitWithOne) {
    TempDir temp;
    ToolResult dump = RunToolInProcess({"dump", temp.Path()});
    EXPECT_EQ(dump.exitCode, 1);
    EXPECT_NE(dump.err.find("no mandate"), std::string::npos);
    std::ofstream(temp.Sub("pendra.db")) << "not a database";
    EXPECT_EQ(RunToolInProcess({"dump", temp.Path()}).exitCode, 1);
}

TEST(MandantToolProcess, HoldExcludesOtherProcessesUntilItsInputCloses) {
    TempDir temp;
    std::string dir = temp.Sub("Gehalten AG");
    ASSERT_EQ(RunTool({"create", dir, "--name", "Gehalten AG"}).exitCode, 0);

    ToolProcess holder({"hold", dir});
    ASSERT_EQ(holder.ReadLine(), "holding " + dir);

    ToolResult second = RunTool({"hold", dir});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("88"), std::string::npos) << second.err;

    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir), pendra::kMandateHeldExclusively);

    EXPECT_EQ(holder.Finish(), 0);
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);

    // And the other way round: our open mandate keeps the tool from holding it.
    ToolResult blocked = RunTool({"hold", dir});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_NE(blocked.err.find("in use"), std::string::npos) << blocked.err;
}

TEST(MandantToolProcess, RealProgramRoundTripAndExitCodes) {
    TempDir temp;
    std::string dir = temp.Sub("m");
    ASSERT_EQ(RunTool({"create", dir, "--name", "M"}).exitCode, 0);
    ASSERT_EQ(RunTool({"load", dir}, kInput).exitCode, 0);
    ToolResult dump = RunTool({"dump", dir});
    EXPECT_EQ(dump.exitCode, 0);
    EXPECT_NE(dump.out.find("# name: M\n"), std::string::npos);
    EXPECT_NE(dump.out.find(kExpectedRecords), std::string::npos) << dump.out;
    EXPECT_EQ(RunTool({}).exitCode, 2);
}

}  // namespace
