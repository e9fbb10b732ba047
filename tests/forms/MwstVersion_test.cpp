// The form version query: the number rule of "VERSION", the change flag, and
// that a query never writes the workbook.
#include <sys/stat.h>

#include <filesystem>
#include <ostream>

#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "tests/forms/FormsFixture.h"
#include "tests/support/CommaLocale.h"

namespace fs = std::filesystem;
using formstest::FileBytes;
using formstest::WriteForm;

namespace {

struct VersionCase {
    const char* definition;  // nullptr: no "VERSION" name at all
    unsigned expected;
};

std::ostream& operator<<(std::ostream& out, const VersionCase& c) {
    return out << (c.definition ? "\"" + std::string(c.definition) + "\"" : std::string("no VERSION name"));
}

class VersionTexts : public StartedForms, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTexts, ReadFromTheWorkbook) {
    const std::string path = TempPath("form.vts");
    const VersionCase& c = GetParam();
    WriteForm(path, {}, c.definition ? c.definition : "");
    EXPECT_EQ(MwstGetVersion(path), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, VersionTexts,
                         ::testing::Values(VersionCase{"2024", 2024}, VersionCase{"2018", 2018},
                                           VersionCase{"2018abc", 2018}, VersionCase{"2001.5", 2001},
                                           VersionCase{"  2024", 2024}, VersionCase{"+2024", 2024},
                                           VersionCase{"V2024", 0}, VersionCase{"", 0},
                                           VersionCase{nullptr, 0}, VersionCase{"-2024", 0},
                                           VersionCase{"99999999999", 0}, VersionCase{"4294967295", 4294967295u}));

TEST(VersionNumberRule, SameUnderADecimalCommaLocale) {
    const auto comma = commalocale::Find();
    if (!comma) GTEST_SKIP() << commalocale::kMissing;
    commalocale::Scoped locale(*comma);
    EXPECT_EQ(MwstVersionNumber(" 2024"), 2024u);
    EXPECT_EQ(MwstVersionNumber("2001,5"), 2001u);
    EXPECT_EQ(MwstVersionNumber("\xa0" "2024"), 0u) << "a no-break space is no blank";
}

TEST(VersionNumberRule, StopsAtTheFirstOtherCharacter) {
    EXPECT_EQ(MwstVersionNumber("2024 neu"), 2024u);
    EXPECT_EQ(MwstVersionNumber("\t 7x8"), 7u);
    EXPECT_EQ(MwstVersionNumber("+"), 0u);
    EXPECT_EQ(MwstVersionNumber("- 5"), 0u);
}

class VersionQuery : public StartedForms {};

TEST_F(VersionQuery, NeverWritesAndLeavesTheCommandsFlag) {
    const std::string path = TempPath("form.vts");
    WriteForm(path, {{"II_7_a", "A+C", ""}}, "2018");
    const std::string before = FileBytes(path);
    const auto stamp = fs::last_write_time(path);
    app->m_changeFlag = 1;
    EXPECT_EQ(MwstGetVersion(path), 2018u);
    EXPECT_EQ(app->m_changeFlag, 1) << "a version query has no command's flag to reach";
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(fs::last_write_time(path), stamp);
}

TEST_F(VersionQuery, MissingFileGivesZeroAndLeavesTheFlag) {
    app->m_changeFlag = 1;
    EXPECT_EQ(MwstGetVersion(TempPath("fehlt.vts")), 0u);
    EXPECT_EQ(MwstGetVersion(""), 0u);
    EXPECT_EQ(app->m_changeFlag, 1);
}

TEST_F(VersionQuery, UnreadableWorkbookCountsAsNotLoaded) {
    const std::string path = TempPath("kaputt.vts");
    formstest::WriteFileBytes(path, "PK\x03\x04 not really a workbook");
    app->m_changeFlag = 1;
    EXPECT_EQ(MwstGetVersion(path), 0u);
    EXPECT_EQ(app->m_changeFlag, 1);
    EXPECT_EQ(FileBytes(path), "PK\x03\x04 not really a workbook");
}

TEST_F(VersionQuery, TheReasonOfAnUnreadableWorkbookIsGiven) {
    const std::string path = TempPath("kaputt.vts");
    formstest::WriteFileBytes(path, "keine Tabelle");
    std::string failure;
    EXPECT_EQ(MwstGetVersion(path, &failure), 0u);
    EXPECT_NE(failure.find(path), std::string::npos) << failure;
    failure = "alt";
    EXPECT_EQ(MwstGetVersion(TempPath("fehlt.vts"), &failure), 0u);
    EXPECT_EQ(failure, "") << "a missing file is no failure";
    WriteForm(path, {}, "2018");
    EXPECT_EQ(MwstGetVersion(path, &failure), 2018u);
    EXPECT_EQ(failure, "");
}

TEST_F(VersionQuery, ReadOnlyWorkbookIsRead) {
    const std::string path = TempPath("nurlesen.vts");
    WriteForm(path, {}, "2024");
    ::chmod(path.c_str(), 0444);
    formstest::AsOrdinaryUser nobody;
    EXPECT_EQ(MwstGetVersion(path), 2024u);
}

TEST_F(VersionQuery, OfTheMandatesActiveWorkbook) {
    OpenMandate({}, {}, /*flatRate=*/true);
    WriteForm(InMandate("MWSTFORM.VTS"), {}, "2018");
    WriteForm(InMandate("MWSTPAU.VTS"), {}, "2024");
    EXPECT_EQ(MwstGetVersion(MwstMandateSheetName(Open(), MwstMandateUsesFlatRate(Open()))), 2024u);
}

}  // namespace
