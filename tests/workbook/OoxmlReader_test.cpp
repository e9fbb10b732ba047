#include "workbook/OoxmlReader.h"

#include <gtest/gtest.h>

#include <map>

#include "base/CException.h"
#include "core/Strings.h"
#include "workbook/CVCF1.h"
#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"
#include "res/Resource.h"
#include "tests/workbook/WorkbookFiles.h"

namespace {

using namespace workbooktest;

// A package as LibreOffice would save it: one sheet, shared strings, no part of ours.
Parts ForeignPackage(const std::string& sheetData) {
    return {
        {"_rels/.rels", Rels(Rel("rId1", "officeDocument", "xl/workbook.xml"))},
        {"xl/workbook.xml", std::string("<workbook ") + kMain +
                                "><sheets><sheet name=\"Tabelle1\" sheetId=\"1\" r:id=\"rId2\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         Rels(Rel("rId2", "worksheet", "worksheets/sheet1.xml") + Rel("rId3", "sharedStrings", "sharedStrings.xml"))},
        {"xl/sharedStrings.xml",
         R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="2" uniqueCount="2">)"
         R"(<si><t xml:space="preserve"> shared </t></si><si><r><t>rich </t></r><r><rPr/><t>text</t></r></si></sst>)"},
        {"xl/worksheets/sheet1.xml", Worksheet(sheetData)},
    };
}

Workbook Read(const Parts& parts) { return ooxml::ReadPackage(Zip(parts), "test.vts"); }

std::string ValidFileBytes(const TempDir& dir) {
    CVCF1 vcf;
    vcf.SetTextRC(1, 1, "hello");
    for (int i = 1; i <= 200; ++i) vcf.SetFormulaRC(i, 2, "A" + std::to_string(i) + "+1");
    vcf.Write(dir.File("valid.vts"), CVCF1::kFileTypeOoxml);
    return ReadBytes(dir.File("valid.vts"));
}

// Reading `bytes` from a file must throw CFileException whose message names the
// file and contains `expected`.
void ExpectReadFails(const TempDir& dir, const std::string& bytes, const std::string& expected) {
    std::string path = dir.File("bad.vts");
    WriteBytes(path, bytes);
    CVCF1 vcf;
    const std::string message = ThrownMessage<CFileException>([&] { Load(vcf, path); });
    EXPECT_NE(message.find(path), std::string::npos) << message << "; expected: " << expected;
    EXPECT_NE(message.find(expected), std::string::npos) << message;
}

// ---- Packages other programs wrote -------------------------------------------

TEST(ForeignPackage, SharedAndRichStringsNumbersAndFormulas) {
    Workbook wb = Read(ForeignPackage(
        R"(<row r="1"><c r="A1" t="s" s="3"><v>0</v></c><c r="B1" t="s"><v>1</v></c></row>)"
        R"(<row r="2"><c r="A2"><v>2.5</v></c><c r="B2" t="b"><v>1</v></c><c r="C2" t="e"><v>#DIV/0!</v></c></row>)"
        R"(<row r="3"><c r="A3"><f>A2*2</f><v>5</v></c><c r="B3" t="str"><f>A1&amp;"x"</f><v>sx</v></c>)"
        R"(<c r="C3" s="1"/></row>)"));
    const Sheet& sheet = wb.SheetAt(1);
    EXPECT_EQ(sheet.Name(), "Tabelle1");
    EXPECT_EQ(sheet.Find({1, 1})->text, " shared ");
    EXPECT_EQ(sheet.Find({1, 2})->text, "rich text");
    EXPECT_EQ(sheet.Find({2, 1})->number, 2.5);
    EXPECT_EQ(sheet.Find({2, 2})->number, 1);
    EXPECT_EQ(sheet.Find({2, 3})->text, "#DIV/0!");
    EXPECT_EQ(sheet.Find({3, 1})->text, "A2*2");
    EXPECT_EQ(sheet.Find({3, 1})->number, 5);
    EXPECT_EQ(sheet.Find({3, 2})->text, "A1&\"x\"");
    EXPECT_EQ(sheet.Find({3, 2})->cachedText, "sx");
    EXPECT_EQ(sheet.Find({3, 3}), nullptr) << "a styled cell without value is empty";
}

TEST(ForeignPackage, CellsAndRowsWithoutReferencesFollowTheirPredecessor) {
    Workbook wb = Read(ForeignPackage(R"(<row><c><v>1</v></c><c><v>2</v></c></row><row><c r="C2"><v>3</v></c><c><v>4</v></c></row>)"));
    const Sheet& sheet = wb.SheetAt(1);
    EXPECT_EQ(sheet.Find({1, 1})->number, 1);
    EXPECT_EQ(sheet.Find({1, 2})->number, 2);
    EXPECT_EQ(sheet.Find({2, 3})->number, 3);
    EXPECT_EQ(sheet.Find({2, 4})->number, 4);
}

TEST(ForeignPackage, SheetViewGivesTheViewPropertiesItKnows) {
    Parts parts = ForeignPackage("");
    parts["xl/worksheets/sheet1.xml"] = Worksheet(
        "", R"(<sheetViews><sheetView showGridLines="false" showRowColHeaders="0" showZeros="0" showFormulas="1" )"
            R"(workbookViewId="0"><selection pane="topLeft" sqref="Z9"/><selection activeCell="C4" sqref="C4:D5"/>)"
            R"(</sheetView></sheetViews>)");
    Workbook wb = Read(parts);
    const Sheet& sheet = wb.SheetAt(1);
    EXPECT_EQ(sheet.View().Get(ViewProp::ShowGridLines), 0);
    EXPECT_EQ(sheet.View().Get(ViewProp::ShowRowHeading), 0);
    EXPECT_EQ(sheet.View().Get(ViewProp::ShowColHeading), 0);
    EXPECT_EQ(sheet.View().Get(ViewProp::ShowZeroValues), 0);
    EXPECT_EQ(sheet.View().Get(ViewProp::ShowFormulas), 1);
    EXPECT_EQ(sheet.View().Get(ViewProp::AllowDesigner), 0) << "others keep their defaults";
    EXPECT_EQ(sheet.Selection(), "C4:D5");
}

TEST(ForeignPackage, PrefixedElementsAbsoluteTargetsAndSheetLocalNames) {
    Parts parts = ForeignPackage("");
    parts["xl/workbook.xml"] =
        R"(<x:workbook xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
        R"(xmlns:rel="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
        R"(<x:sheets><x:sheet name="A" sheetId="1" rel:id="rId2"/></x:sheets><x:definedNames>)"
        R"(<x:definedName name="_xlnm.Print_Area" localSheetId="0">A!$A$1</x:definedName>)"
        R"(<x:definedName name="VERSION">2024</x:definedName></x:definedNames></x:workbook>)";
    parts["xl/_rels/workbook.xml.rels"] = Rels(Rel("rId2", "worksheet", "/xl/worksheets/../worksheets/sheet1.xml"));
    Workbook wb = Read(parts);
    EXPECT_EQ(wb.SheetAt(1).Name(), "A");
    ASSERT_EQ(wb.DefinedNames().size(), 1u);
    EXPECT_EQ(*wb.FindDefinedName("VERSION"), "2024");
}

// ---- Damaged files -------------------------------------------------------------

TEST(DamagedFile, MissingFileOrDirectory) {
    TempDir dir;
    CVCF1 vcf;
    const std::string message = ThrownMessage<CFileException>([&] { Load(vcf, dir.File("absent.vts")); });
    EXPECT_NE(message.find("absent.vts"), std::string::npos);
    EXPECT_NE(message.find("No such file"), std::string::npos) << message;
    EXPECT_THROW(Load(vcf, dir.Path().string()), CFileException);
}

TEST(DamagedFile, EmptyFile) {
    TempDir dir;
    // The user's words after the file's name; the reader has nothing of its own to add.
    const std::string empty = LoadString(IDS_WORKBOOK_EMPTY);
    ExpectReadFails(dir, "", empty.substr(empty.find("%s") + 2));
}

TEST(DamagedFile, Garbage) {
    TempDir dir;
    ExpectReadFails(dir, "this is not a workbook at all\n", "not a readable zip archive");
    ExpectReadFails(dir, std::string(1000, '\0'), "not a readable zip archive");
}

TEST(DamagedFile, TruncatedZip) {
    TempDir dir;
    std::string valid = ValidFileBytes(dir);
    for (size_t cut : {size_t{4}, valid.size() / 4, valid.size() / 2, valid.size() - 10, valid.size() - 1})
        ExpectReadFails(dir, valid.substr(0, cut), "zip");
}

TEST(DamagedFile, FlippedBytesNeverCrash) {
    TempDir dir;
    std::string valid = ValidFileBytes(dir);
    int failures = 0;
    for (size_t pos = 0; pos < valid.size(); pos += 7) {
        std::string bad = valid;
        bad[pos] = static_cast<char>(bad[pos] ^ 0x5A);
        WriteBytes(dir.File("flip.vts"), bad);
        CVCF1 vcf;
        try {
            Load(vcf, dir.File("flip.vts"));
        } catch (const CFileException&) {
            ++failures;
        }
    }
    EXPECT_GT(failures, 0) << "damage inside the archive must be noticed";
}

TEST(DamagedFile, ZipThatIsNoSpreadsheet) {
    TempDir dir;
    ExpectReadFails(dir, Zip({{"readme.txt", "hello"}}), "not a spreadsheet package");
}

TEST(DamagedFile, ReadFailureKeepsTheCurrentWorkbook) {
    TempDir dir;
    WriteBytes(dir.File("bad.vts"), "garbage");
    CVCF1 vcf;
    vcf.SetTextRC(1, 1, "kept");
    EXPECT_THROW(Load(vcf, dir.File("bad.vts")), CFileException);
    EXPECT_EQ(vcf.GetTextRC(1, 1), "kept");
}

struct DamageCase {
    const char* name;
    const char* part;
    std::string content;  // replaces the part; empty removes it
    const char* expected;
};

class DamagedPart : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedPart, ThrowsFileExceptionNamingTheFault) {
    TempDir dir;
    Parts parts = ForeignPackage(R"(<row r="1"><c r="A1"><v>1</v></c></row>)");
    if (GetParam().content.empty())
        parts.erase(GetParam().part);
    else
        parts[GetParam().part] = GetParam().content;
    ExpectReadFails(dir, Zip(parts), GetParam().expected);
}

std::string Row(const std::string& cells, const std::string& r = "1") { return "<row r=\"" + r + "\">" + cells + "</row>"; }

const DamageCase kDamage[] = {
    {"MalformedWorkbookXml", "xl/workbook.xml", "<workbook><sheets>", "malformed XML"},
    {"NotAWorkbook", "xl/workbook.xml", "<html/>", "not a workbook"},
    {"MalformedSheetXml", "xl/worksheets/sheet1.xml", "<worksheet><sheetData><row></sheetData>", "malformed XML"},
    {"MalformedRels", "xl/_rels/workbook.xml.rels", "<Relationships", "malformed XML"},
    {"MissingSheetPart", "xl/worksheets/sheet1.xml", "", "the part is missing"},
    {"SheetWithoutRelationship", "xl/_rels/workbook.xml.rels", Rels(""), "has no part"},
    {"NoSheets", "xl/workbook.xml", std::string("<workbook ") + kMain + "><sheets/></workbook>", "at least one sheet"},
    // Two sheets on one part: refused before the part is parsed a second time.
    {"SheetPartNamedTwice", "xl/workbook.xml",
     std::string("<workbook ") + kMain + R"(><sheets><sheet name="A" r:id="rId2"/><sheet name="B" r:id="rId2"/></sheets></workbook>)",
     "the part is referenced more than once"},
    {"ActiveTabOutOfRange", "xl/workbook.xml",
     std::string("<workbook ") + kMain +
         R"(><bookViews><workbookView activeTab="3"/></bookViews><sheets><sheet name="A" r:id="rId2"/></sheets></workbook>)",
     "active sheet index"},
    {"RowZero", "xl/worksheets/sheet1.xml", Worksheet(Row("", "0")), "row number \"0\""},
    {"RowBeyondTheSheet", "xl/worksheets/sheet1.xml", Worksheet(Row("", "1048577")), "out of range"},
    {"RowNotANumber", "xl/worksheets/sheet1.xml", Worksheet(Row("", "x1")), "row number"},
    {"CellRowZero", "xl/worksheets/sheet1.xml", Worksheet(Row(R"(<c r="A0"><v>1</v></c>)")), "\"A0\""},
    {"CellColumnBeyond", "xl/worksheets/sheet1.xml", Worksheet(Row(R"(<c r="XFE1"><v>1</v></c>)")), "\"XFE1\""},
    {"CellAbsurdRow", "xl/worksheets/sheet1.xml", Worksheet(Row(R"(<c r="A99999999999"><v>1</v></c>)")), "A99999999999"},
    {"CellGarbageRef", "xl/worksheets/sheet1.xml", Worksheet(Row(R"(<c r="1A"><v>1</v></c>)")), "\"1A\""},
    {"CellOutsideItsRow", "xl/worksheets/sheet1.xml", Worksheet(Row(R"(<c r="A2"><v>1</v></c>)")), "outside row 1"},
    {"CellTwice", "xl/worksheets/sheet1.xml", Worksheet(Row(R"(<c r="A1"><v>1</v></c><c r="A1"><v>2</v></c>)")),
     "appears twice"},
    {"BadNumber", "xl/worksheets/sheet1.xml", Worksheet(Row(R"(<c r="A1"><v>12abc</v></c>)")), "not a number"},
    {"SharedStringOutOfRange", "xl/worksheets/sheet1.xml", Worksheet(Row(R"(<c r="A1" t="s"><v>7</v></c>)")),
     "shared string index"},
    {"UnknownCellType", "xl/worksheets/sheet1.xml", Worksheet(Row(R"(<c r="A1" t="zz"><v>1</v></c>)")),
     "unknown cell type"},
    {"SharedFormulaFollower", "xl/worksheets/sheet1.xml",
     Worksheet(Row(R"(<c r="A1"><f t="shared" si="0"/><v>1</v></c>)")), "shared formulas"},
    {"InvalidUtf8", "xl/worksheets/sheet1.xml", Worksheet(Row("<c r=\"A1\" t=\"inlineStr\"><is><t>\xff</t></is></c>")),
     "UTF-8"},
    {"BadSelection", "xl/worksheets/sheet1.xml",
     Worksheet("", R"(<sheetViews><sheetView><selection sqref="nonsense"/></sheetView></sheetViews>)"), "selection"},
    {"BadViewFlag", "xl/worksheets/sheet1.xml",
     Worksheet("", R"(<sheetViews><sheetView showGridLines="maybe"/></sheetViews>)"), "showGridLines"},
};

INSTANTIATE_TEST_SUITE_P(Parts, DamagedPart, ::testing::ValuesIn(kDamage),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(DamagedPart, DuplicateSheetNames) {
    TempDir dir;
    Parts parts = ForeignPackage(Row(R"(<c r="A1"><v>1</v></c>)"));
    parts["xl/worksheets/sheet2.xml"] = Worksheet("");
    parts["xl/_rels/workbook.xml.rels"] =
        Rels(Rel("rId2", "worksheet", "worksheets/sheet1.xml") + Rel("rId4", "worksheet", "worksheets/sheet2.xml"));
    parts["xl/workbook.xml"] = std::string("<workbook ") + kMain +
                               R"(><sheets><sheet name="A" r:id="rId2"/><sheet name="a" r:id="rId4"/></sheets></workbook>)";
    ExpectReadFails(dir, Zip(parts), "already used");
}

// ---- Our view part --------------------------------------------------------------

Parts WithViewPart(const std::string& sheetElement) {
    Parts parts = ForeignPackage("");
    parts["xl/_rels/workbook.xml.rels"] =
        Rels(Rel("rId2", "worksheet", "worksheets/sheet1.xml") +
             R"(<Relationship Id="rId9" Type="urn:mwst-konvertierung:relationships:view" Target="mwstView.xml"/>)");
    parts["xl/mwstView.xml"] = R"(<mwstView xmlns="urn:mwst-konvertierung:view:2024">)" + sheetElement + "</mwstView>";
    return parts;
}

TEST(ViewPart, OverridesTheSheetView) {
    Workbook wb = Read(WithViewPart(R"(<sheet index="1" ShowGridLines="0" RowMode="1" ShowTabs="2" selection="$B$2"/>)"));
    EXPECT_EQ(wb.SheetAt(1).View().Get(ViewProp::ShowGridLines), 0);
    EXPECT_EQ(wb.SheetAt(1).View().Get(ViewProp::RowMode), 1);
    EXPECT_EQ(wb.SheetAt(1).View().Get(ViewProp::ShowTabs), 2);
    EXPECT_EQ(wb.SheetAt(1).Selection(), "$B$2");
}

class BadViewPart : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(BadViewPart, IsRejected) {
    TempDir dir;
    ExpectReadFails(dir, Zip(WithViewPart(GetParam().first)), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Values, BadViewPart,
                         ::testing::Values(std::pair{R"(<sheet index="2"/>)", "sheet index"},
                                           std::pair{R"(<sheet index="x"/>)", "sheet index"},
                                           std::pair{R"(<sheet index="1" RowMode="2"/>)", "RowMode value"},
                                           std::pair{R"(<sheet index="1" ShowTabs="99999"/>)", "ShowTabs value"},
                                           std::pair{R"(<sheet index="1" selection="A"/>)", "selection"},
                                           std::pair{R"(<sheet index="1")", "malformed XML"}));

}  // namespace
