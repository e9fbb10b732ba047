// Opening mandates: statuses, recognising our database, meta data and settings.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "tests/pendra/MandateTestSupport.h"
#include "pendra/IDbAccess.h"
#include "pendra/IMandateConfiguration.h"
#include "pendra/SqliteSchema.h"
#include "tests/support/FileBytes.h"

using namespace testsupport;

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void ExecSql(const std::string& dbPath, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dbPath.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

// A directory prepared in some way, and what opening it must answer.
struct DirectoryCase {
    const char* what;
    std::function<void(const std::string& dir)> prepare;
    int openStatus;
    bool isMandate;
};

class MandateDirectories : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(MandateDirectories, AnswerTheRightStatusAndNeverCrash) {
    TempDir temp;
    std::string dir = temp.Sub("m");
    GetParam().prepare(dir);
    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir, 1, true), GetParam().openStatus);
    EXPECT_EQ(mandate.IsMandantOpen(), GetParam().openStatus == pendra::kOk ? 1 : 0);
    EXPECT_EQ(Mandate::PathContainsMandate(dir), GetParam().isMandate);
}

std::string Db(const std::string& dir) { return dir + "/pendra.db"; }

void MakeOurs(const std::string& dir) {
    MandateCreateOptions options;
    options.name = "Muster AG";
    ASSERT_EQ(CreateMandate(dir, options), pendra::kOk);
}

// A directory whose database file holds `bytes`.
auto DbFileWith(std::string bytes) {
    return [bytes](const std::string& d) {
        std::filesystem::create_directories(d);
        WriteFile(Db(d), bytes);
    };
}

// Our mandate with `sql` run on its database.
auto OursAfter(std::string sql) {
    return [sql](const std::string& d) {
        MakeOurs(d);
        ExecSql(Db(d), sql);
    };
}

void MakeForeignSqlite(const std::string& dir, const char* extraSql) {
    std::filesystem::create_directories(dir);
    ExecSql(Db(dir), std::string("CREATE TABLE t(x);") + extraSql);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MandateDirectories,
    ::testing::Values(
        DirectoryCase{"ours", MakeOurs, pendra::kOk, true},
        DirectoryCase{"ours with trailing slash", [](const std::string& d) { MakeOurs(d + "/"); },
                      pendra::kOk, true},
        DirectoryCase{"no directory", [](const std::string&) {}, pendra::kFileNotFound, false},
        DirectoryCase{"empty directory",
                      [](const std::string& d) { std::filesystem::create_directories(d); },
                      pendra::kFileNotFound, false},
        DirectoryCase{"a file instead of the directory",
                      [](const std::string& d) { WriteFile(d, "x"); }, pendra::kFileNotFound,
                      false},
        DirectoryCase{"text file of that name", DbFileWith("Kontenplan 2023\n"), pendra::kNotADatabase, false},
        DirectoryCase{"empty file of that name", DbFileWith(""), pendra::kNotADatabase, false},
        DirectoryCase{"directory of that name",
                      [](const std::string& d) { std::filesystem::create_directories(Db(d)); },
                      pendra::kNotADatabase, false},
        DirectoryCase{"fifo of that name",
                      [](const std::string& d) {
                          std::filesystem::create_directories(d);
                          ASSERT_EQ(mkfifo(Db(d).c_str(), 0600), 0);
                      },
                      pendra::kNotADatabase, false},
        DirectoryCase{"sqlite database of someone else",
                      [](const std::string& d) { MakeForeignSqlite(d, ""); },
                      pendra::kNotADatabase, false},
        DirectoryCase{"foreign database carrying our application id",
                      [](const std::string& d) {
                          MakeForeignSqlite(d, "PRAGMA application_id=1346719300;");
                      },
                      pendra::kNotADatabase, false},
        DirectoryCase{"our header, garbage behind it",
                      [](const std::string& d) {
                          MakeOurs(d);
                          std::string bytes = testsupport::FileBytes(Db(d));
                          for (std::size_t i = 100; i < bytes.size(); ++i) {
                              bytes[i] = static_cast<char>(i * 7919 % 251);
                          }
                          WriteFile(Db(d), bytes);
                      },
                      pendra::kNotADatabase, false},
        DirectoryCase{"our database cut inside its header",
                      [](const std::string& d) {
                          MakeOurs(d);
                          std::filesystem::resize_file(Db(d), 60);
                      },
                      pendra::kNotADatabase, false},
        DirectoryCase{"old format", OursAfter("UPDATE meta SET value = 1 WHERE name = 'format_version'"),
                      pendra::kFormatTooOld, true},
        DirectoryCase{"format of a newer library",
                      OursAfter("UPDATE meta SET value = 99 WHERE name = 'format_version'"), pendra::kNotADatabase,
                      false},
        DirectoryCase{"a table missing", OursAfter("DROP TABLE buch"), pendra::kNotADatabase, false}),
    [](const auto& param) {
        std::string name;
        for (char c : std::string(param.param.what)) name += std::isalnum(c) ? c : '_';
        return name;
    });

TEST(MandateOpen, TruncatedDatabaseGivesStatusesNeverCrashes) {
    TempDir temp;
    std::string dir = NewMandate(temp);
    {
        Mandate mandate;
        ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
        RecordFile<Buch> buch(mandate);
        for (int i = 0; i < 5000; ++i) {
            FillBuch(buch, i, "VSN77");
            ASSERT_EQ(buch.Insert(), pendra::kOk);
        }
    }
    std::uintmax_t size = std::filesystem::file_size(Db(dir));
    std::filesystem::resize_file(Db(dir), size / 2);

    Mandate mandate;
    int status = mandate.OpenMandateFiles(dir);
    if (status != pendra::kOk) {
        EXPECT_EQ(status, pendra::kNotADatabase);
        return;
    }
    RecordFile<Buch> buch(mandate);
    int count = 0;
    for (status = buch.ReadFirst(); status == pendra::kOk; status = buch.ReadNext()) ++count;
    EXPECT_LT(count, 5000);
    EXPECT_EQ(status, pendra::kNotADatabase);
}

TEST(MandateOpen, MetaDataAndFileNames) {
    TempDir temp;
    MandateCreateOptions options;
    options.dataVersion = 2299;
    std::string dir = NewMandate(temp, "Boulangerie Dubois SA", options);
    Mandate mandate;
    long version = 0;
    EXPECT_EQ(mandate.GetVersion(version, 1), 0);
    ASSERT_EQ(mandate.OpenMandateFiles(dir, 1, true), pendra::kOk);
    EXPECT_EQ(mandate.GetName(), "Boulangerie Dubois SA");
    EXPECT_NE(mandate.GetVersion(version, 1), 0);
    EXPECT_EQ(version, 2299);
    EXPECT_EQ(mandate.GetPath(), dir);
    EXPECT_EQ(mandate.GetTaxName(), dir + "/pendra.db#tax");
    EXPECT_EQ(mandate.IsSQLMandate(), 0);
    EXPECT_EQ(mandate.IsReadOnly(), 0);
    EXPECT_FALSE(mandate.TryGetExclusiveLock(0));
    EXPECT_EQ(mandate.GetDbAccess(), nullptr);
    EXPECT_EQ(mandate.GetMandateConfiguration(), nullptr);
    EXPECT_EQ(mandate.CloseMandateFiles(), pendra::kOk);
    EXPECT_EQ(mandate.IsMandantOpen(), 0);
    EXPECT_EQ(mandate.GetPath(), "");
}

TEST(MandateOpen, CreateRefusesAnExistingMandate) {
    TempDir temp;
    std::string dir = NewMandate(temp, "Erste AG");
    MandateCreateOptions options;
    options.name = "Zweite AG";
    EXPECT_EQ(CreateMandate(dir, options), pendra::kDuplicateKey);
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(mandate.GetName(), "Erste AG");
}

TEST(MandateSettings, DefaultsStoredValuesAndFlatRate) {
    TempDir temp;
    MandateCreateOptions options;
    options.settings = {{0, 27, 1}, {3, 4, -70000}};
    std::string dir = NewMandate(temp, "Saldo GmbH", options);
    Mandate mandate;
    EXPECT_EQ(mandate.GetIniLong(0, 27, 5), 5);  // closed: the default
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(mandate.GetIniLong(0, 27, 0), 1);
    EXPECT_EQ(mandate.GetIniLong(3, 4, 0), -70000);
    EXPECT_EQ(mandate.GetIniLong(0, 28, 42), 42);
    ASSERT_EQ(mandate.SetIniLong(0, 27, 0), pendra::kOk);
    Mandate other;
    ASSERT_EQ(other.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(other.GetIniLong(0, 27, 9), 0);
}

TEST(MandateReadOnly, FlagRefusesWritesEvenThroughUpdateHandles) {
    TempDir temp;
    std::string dir = NewMandate(temp);
    {
        Mandate mandate;
        ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
        InsertTaxes(mandate, {"VSN77"});
    }
    ASSERT_EQ(SetMandateReadOnly(dir, true), pendra::kOk);
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(mandate.IsReadOnly(), 1);
    RecordFile<Tax> tax(mandate);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(tax.Update(), pendra::kAccessDenied);
    EXPECT_EQ(tax.Delete(), pendra::kAccessDenied);
    EXPECT_EQ(mandate.SetIniLong(1, 1, 1), pendra::kAccessDenied);
    EXPECT_EQ(tax.Read("VSN77"), pendra::kOk);
}

TEST(MandateReadOnly, DatabaseFileNotWritableMakesTheMandateReadOnly) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
    TempDir temp;
    std::string dir = NewMandate(temp);
    ASSERT_EQ(chmod(Db(dir).c_str(), 0444), 0);
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(mandate.IsReadOnly(), 1);
}

// A folder of `length` characters below `temp`, links resolved (as the database sees it).
std::string FolderOfLength(const TempDir& temp, std::size_t length) {
    std::string folder = std::filesystem::canonical(temp.Path()).string();
    while (folder.size() + 1 < length)
        folder += "/" + std::string(std::min<std::size_t>(100, length - folder.size() - 1), 'a');
    return folder;
}

TEST(MandateOpen, AFolderTooLongForTheDatabaseHoldsAMandateThatSaysWhyItCannotOpen) {
    TempDir temp;
    const std::string made = NewMandate(temp);
    const std::size_t limit = pendra::schema::MaxMandateFolderLength();
    for (const std::size_t length : {limit, limit + 1}) {
        const std::string deep = FolderOfLength(temp, length);
        ASSERT_EQ(deep.size(), length);
        std::filesystem::create_directories(std::filesystem::path(deep).parent_path());
        ASSERT_EQ(::rename(made.c_str(), deep.c_str()), 0);
        EXPECT_TRUE(Mandate::PathContainsMandate(deep)) << length;
        Mandate mandate;
        EXPECT_EQ(mandate.OpenMandateFiles(deep), length <= limit ? pendra::kOk : pendra::kPathTooLong) << length;
        mandate.CloseMandateFiles();
        ASSERT_EQ(::rename(deep.c_str(), made.c_str()), 0);
    }
}

TEST(MandateSelect, CopiesTheChoiceAndChecksIt) {
    TempDir temp;
    std::string dir = NewMandate(temp);
    ScriptedUi ui;
    char buffer[256] = "/proposal";
    ui.directories = {dir};
    EXPECT_NE(Mandate::SelectMandate(buffer, sizeof buffer, 0, ui, nullptr, true), 0);
    EXPECT_EQ(std::string(buffer), dir);
    EXPECT_EQ(ui.proposals.at(0), "/proposal");

    ui.directories = {temp.Path()};  // no mandate there
    EXPECT_EQ(Mandate::SelectMandate(buffer, sizeof buffer, 0, ui, nullptr, true), 0);

    ui.directories = {std::nullopt};  // cancelled
    EXPECT_EQ(Mandate::SelectMandate(buffer, sizeof buffer, 0, ui, nullptr, true), 0);

    char small[8] = "/x";
    ui.directories = {dir};  // does not fit: refused, buffer untouched
    EXPECT_EQ(Mandate::SelectMandate(small, sizeof small, 0, ui, nullptr, true), 0);
    EXPECT_EQ(std::string(small), "/x");
}

TEST(MandateSelect, SilentUiCancels) {
    char buffer[64] = "";
    EXPECT_EQ(Mandate::SelectMandate(buffer, sizeof buffer, 0, PendraUi::Silent(), nullptr, true), 0);
}

}  // namespace
