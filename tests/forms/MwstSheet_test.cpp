// Where the mandate's form workbook is found, how it loads and saves, and the
// template names beside the program.
#include <sys/stat.h>

#include <filesystem>
#include <ostream>

#include "base/CException.h"
#include "forms/MwstSheet.h"
#include "workbook/CVCF1.h"
#include "tests/forms/FormsFixture.h"

namespace fs = std::filesystem;
using formstest::AsOrdinaryUser;
using formstest::InDirectory;
using formstest::FileBytes;
using formstest::WriteForm;

namespace {

std::string VersionOf(CVCF1& form) { return form.HasDefinedName("VERSION") ? form.GetDefinedName("VERSION") : ""; }

// ---- Location ----------------------------------------------------------------

class SheetLocation : public FormsFixture {};

TEST_F(SheetLocation, MandateOwnWorkbookOfEachMethod) {
    StartWithTemplates(templatesDir);
    OpenMandate();
    WriteForm(InMandate("MWSTFORM.VTS"), {});
    WriteForm(InMandate("MWSTPAU.VTS"), {});
    WriteForm(InTemplates("MWSTFORM.VTS"), {});
    EXPECT_EQ(MwstMandateSheetName(Open(), false), InMandate("MWSTFORM.VTS"));
    EXPECT_EQ(MwstMandateSheetName(Open(), true), InMandate("MWSTPAU.VTS"));
}

TEST_F(SheetLocation, MissingOwnWorkbookFallsBackToTheTemplatesDirectory) {
    StartWithTemplates(templatesDir);
    OpenMandate();
    WriteForm(InTemplates("MWSTPAU.VTS"), {});
    EXPECT_EQ(MwstMandateSheetName(Open(), true), InTemplates("MWSTPAU.VTS"));
    EXPECT_EQ(MwstMandateSheetName(Open(), false), "");
}

TEST_F(SheetLocation, FlatRateMandateWithOnlyTheEffectiveWorkbookHasNone) {
    StartWithTemplates(templatesDir);
    OpenMandate({}, {}, /*flatRate=*/true);
    WriteForm(InMandate("MWSTFORM.VTS"), {});
    EXPECT_TRUE(MwstMandateUsesFlatRate(Open()));
    EXPECT_EQ(MwstMandateSheetName(Open(), true), "");
}

TEST_F(SheetLocation, ReadOnlyOwnWorkbookGivesWayToAWritableTemplate) {
    StartWithTemplates(templatesDir);
    OpenMandate();
    WriteForm(InMandate("MWSTFORM.VTS"), {}, "2018");
    WriteForm(InTemplates("MWSTFORM.VTS"), {}, "2001");
    ::chmod(InMandate("MWSTFORM.VTS").c_str(), 0444);
    ::chmod(InTemplates("MWSTFORM.VTS").c_str(), 0666);
    AsOrdinaryUser nobody;
    EXPECT_EQ(MwstMandateSheetName(Open(), false), InTemplates("MWSTFORM.VTS"));

    std::string name;
    short type = 0;
    CVCF1 form;
    EXPECT_EQ(MwstLoadMandateSheet(Open(), name, type, form), 1);
    EXPECT_EQ(name, InTemplates("MWSTFORM.VTS"));
    EXPECT_EQ(VersionOf(form), "2001");
}

// A mandate copied from Windows: its workbook in any letter case is its own.
TEST_F(SheetLocation, WorkbookInOtherLetterCaseIsTheMandatesOwn) {
    StartWithTemplates(templatesDir);
    OpenMandate();
    WriteForm(InMandate("mwstform.vts"), {});
    WriteForm(InTemplates("MWSTFORM.VTS"), {});
    EXPECT_EQ(MwstMandateSheetName(Open(), false), InMandate("mwstform.vts"));
    EXPECT_EQ(MwstMandateOwnSheetName(Open(), false), InMandate("mwstform.vts"));
    EXPECT_EQ(MwstMandateOwnSheetName(Open(), true), InMandate("MWSTPAU.VTS")) << "none there: the usual spelling";
}

TEST_F(SheetLocation, OfTwoSpellingsTheExactOneWins) {
    StartWithTemplates(templatesDir);
    OpenMandate();
    WriteForm(InMandate("Mwstform.VTS"), {});
    WriteForm(InMandate("mwstform.vts"), {});
    EXPECT_EQ(MwstMandateSheetName(Open(), false), InMandate("Mwstform.VTS")) << "first in byte order";
    WriteForm(InMandate("MWSTFORM.VTS"), {});
    EXPECT_EQ(MwstMandateSheetName(Open(), false), InMandate("MWSTFORM.VTS"));
}

TEST_F(SheetLocation, NoMandateAndNoTemplatesSettingGiveNothing) {
    StartWithTemplates("");
    EXPECT_EQ(MwstMandateSheetName(Open(), false), "");
    EXPECT_EQ(MwstMandateOwnSheetName(Open(), false), "");
}

// ---- Loading ----------------------------------------------------------------

// The program started with the templates directory set, and a control to load into.
class SheetCase : public StartedForms {
protected:
    int LoadOwn() { return MwstLoadMandateSheet(Open(), name, type, form); }
    int LoadNamed(const std::string& path) {
        name = path;
        return MwstLoadNamedMandateSheet(name, type, form);
    }

    std::string name;
    short type = 0;
    CVCF1 form;
};

class SheetLoad : public SheetCase {};

// A "MWSTFORM.VTS" in the working directory belongs to no mandate: without a
// usable workbook of its own or in the templates directory nothing is loaded.
TEST_F(SheetLoad, WithoutAUsableWorkbookNothingIsLoadedFromTheWorkingDirectory) {
    OpenMandate({}, {}, /*flatRate=*/true);
    WriteForm(InMandate("MWSTFORM.VTS"), {}, "2018");
    const std::string cwd = TempPath("arbeit");
    fs::create_directories(cwd);
    WriteForm(cwd + "/MWSTFORM.VTS", {}, "2001");
    InDirectory here(cwd);

    name = "stale";
    type = 7;
    form.SetDefinedName("VERSION", "1999");
    EXPECT_EQ(LoadOwn(), 0);
    EXPECT_EQ(name, "");
    EXPECT_EQ(type, 0);
    EXPECT_EQ(VersionOf(form), "1999") << "the control is left as it was";
}

TEST_F(SheetLoad, MandateWorkbookThatCannotBeReadRaisesTheControlsException) {
    OpenMandate();
    formstest::WriteFileBytes(InMandate("MWSTFORM.VTS"), "keine Tabelle");
    EXPECT_THROW(LoadOwn(), CFileException);
    EXPECT_EQ(name, InMandate("MWSTFORM.VTS"));
}

TEST_F(SheetLoad, WorkbookCopiedFromWindowsInOtherLetterCaseIsLoaded) {
    OpenMandate({}, {}, /*flatRate=*/true);
    WriteForm(InMandate("Mwstpau.VTS"), {}, "2018");
    WriteForm(InTemplates("MWSTPAU.VTS"), {}, "2001");
    EXPECT_EQ(LoadOwn(), 1);
    EXPECT_EQ(name, InMandate("Mwstpau.VTS"));
    EXPECT_EQ(VersionOf(form), "2018");
}

TEST_F(SheetLoad, NamedWorkbookThatIsMissingLeavesTheControlAlone) {
    form.SetDefinedName("VERSION", "1999");
    type = 5;
    EXPECT_EQ(LoadNamed(TempPath("fehlt.vts")), 0);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(VersionOf(form), "1999");
}

TEST_F(SheetLoad, NamedWorkbookNeedsOnlyReadAccess) {
    const std::string path = TempPath("nurlesen.vts");
    WriteForm(path, {}, "2024");
    ::chmod(path.c_str(), 0444);
    AsOrdinaryUser nobody;
    EXPECT_EQ(LoadNamed(path), 1);
    EXPECT_EQ(type, CVCF1::kFileTypeOoxml);
    EXPECT_EQ(VersionOf(form), "2024");
}

TEST_F(SheetLoad, LoadingLocksSheetsOneToFourWithSheetOneActive) {
    const std::string path = TempPath("form.vts");
    WriteForm(path, {});
    ASSERT_EQ(LoadNamed(path), 1);
    EXPECT_EQ(form.GetSheet(), 1);
    for (long sheet = 1; sheet <= 4; ++sheet) {
        form.SetSheet(sheet);
        EXPECT_EQ(form.GetViewProperty("ShowGridLines"), 0) << sheet;
        EXPECT_EQ(form.GetViewProperty("ShowFormulas"), 0) << sheet;
        EXPECT_EQ(form.GetViewProperty("ShowTabs"), 0) << sheet;
        EXPECT_EQ(form.GetViewProperty("PrintNoColor"), 1) << sheet;
        EXPECT_EQ(form.GetViewProperty("AllowSelections"), 1) << sheet;
    }
}

// ---- Saving -------------------------------------------------------------------

class SheetSave : public SheetCase {};

// Every property and the value the editing state gives it.
const std::pair<const char*, int> kEditingState[] = {
    {"ShowGridLines", 1},  {"ShowRowHeading", 1},   {"ShowColHeading", 1},     {"ShowSelections", 1},
    {"AllowResize", 1},    {"AllowSelections", 1},  {"AllowInCellEditing", 1}, {"AllowFillRange", 1},
    {"AllowMoveRange", 1}, {"AllowArrows", 1},      {"AllowTabs", 1},          {"RowMode", 0},
    {"AllowDelete", 1},    {"AllowEditHeaders", 1}, {"ShowFormulas", 1},       {"ShowZeroValues", 0},
    {"ShowTabs", 1},       {"ShowEditBar", 1},      {"AllowDesigner", 1},      {"AllowAutoFill", 1},
    {"PrintNoColor", 0},
};

TEST_F(SheetSave, LoadAndSaveKeepsContentAndStoresTheEditingState) {
    const std::string path = TempPath("form.vts");
    WriteForm(path, {{"II_7_a", "VSN77+VSB77_x", "UST25"}, {"Z1", "(A+C)", ""}}, "2018");
    ASSERT_EQ(LoadNamed(path), 1);
    form.SetSheet(3);
    MwstSaveMandateSheet(name, type, form);

    CVCF1 saved;
    workbooktest::Load(saved, path);
    EXPECT_EQ(saved.GetSheet(), 1);
    EXPECT_EQ(saved.GetDefinedName("VERSION"), "2018");
    for (long sheet = 1; sheet <= 4; ++sheet) {
        saved.SetSheet(sheet);
        for (const auto& [property, value] : kEditingState)
            EXPECT_EQ(saved.GetViewProperty(property), value) << property << " on sheet " << sheet;
    }
    saved.SetSheet(4);
    EXPECT_EQ(saved.GetTextRC(1, 1), "II_7_a");
    EXPECT_EQ(saved.GetFormulaRC(1, 2), "VSN77+VSB77_x");
    EXPECT_EQ(saved.GetFormulaRC(1, 3), "UST25");
    EXPECT_EQ(saved.GetFormulaRC(2, 2), "(A+C)");
    EXPECT_EQ(saved.GetTypeRC(2, 3), 0);
}

TEST_F(SheetSave, EmptyNameWritesNothing) {
    InDirectory here(templatesDir);
    type = CVCF1::kFileTypeOoxml;
    MwstSaveMandateSheet(name, type, form);
    EXPECT_TRUE(fs::is_empty(templatesDir));
}

// A write that stops half-way (the file size limit stands in for a full disk
// or a crash) must leave the old workbook as it was and no stray file behind.
TEST_F(SheetSave, InterruptedSaveKeepsTheOldFile) {
    const std::string path = InTemplates("MWSTFORM.VTS");
    WriteForm(path, {{"II_7_a", "A+C", ""}}, "2018");
    const std::string before = FileBytes(path);
    ASSERT_EQ(LoadNamed(path), 1);
    form.SetSheet(4);
    form.SetFormulaRC(1, 2, "A+B+C");

    {
        formstest::FileSizeLimit limit(512);
        EXPECT_THROW(MwstSaveMandateSheet(name, type, form), CFileException);
    }
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(templatesDir), fs::directory_iterator()), 1);
}

// ---- Template names -------------------------------------------------------------

struct NameCase {
    const char* program;
    const char* name;
    const char* expected;
};

std::ostream& operator<<(std::ostream& out, const NameCase& c) { return out << '"' << c.program << '"'; }

class TemplateNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(TemplateNames, JoinTheProgramDirectory) {
    EXPECT_EQ(MwstNewSheetName(GetParam().program, GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TemplateNames,
                         ::testing::Values(NameCase{"/opt/mwst/bin/mwst-konvertierung", "mwst/MWST2024eff.vts",
                                                    "/opt/mwst/bin/mwst/MWST2024eff.vts"},
                                           NameCase{"mwst-konvertierung", "mwst/x.vts", "mwst/x.vts"},
                                           NameCase{"/mwst-konvertierung", "mwst/x.vts", "mwst/x.vts"},
                                           NameCase{"", "mwst/x.vts", "mwst/x.vts"},
                                           NameCase{"bin/prog", "a.vts", "bin/a.vts"}));

TEST(TemplateNamesOfThisProgram, UseTheRunningProgramsDirectory) {
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(MwstNewSheetName("mwst/MWST2024eff.vts"), exe.parent_path().string() + "/mwst/MWST2024eff.vts");
}

}  // namespace
