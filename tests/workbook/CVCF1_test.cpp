#include "workbook/CVCF1.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "base/CException.h"
#include "workbook/ViewProperties.h"
#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"
#include "tests/support/CommaLocale.h"
#include "tests/workbook/WorkbookFiles.h"

using namespace workbooktest;

namespace {

// Writes the control's workbook and reads it into a fresh control.
void RoundTrip(CVCF1& source, CVCF1& target, const TempDir& dir) {
    std::string path = dir.File("book.vts");
    source.Write(path, CVCF1::kFileTypeOoxml);
    short type = 0;
    target.Read(path, type);
    EXPECT_EQ(type, CVCF1::kFileTypeOoxml);
}

// ---- A new workbook -------------------------------------------------------

TEST(NewWorkbook, HasFourNamedSheetsAndTheFirstActive) {
    CVCF1 vcf;
    EXPECT_EQ(vcf.GetNumSheets(), 4);
    EXPECT_EQ(vcf.GetSheet(), 1);
    for (long i = 1; i <= 4; ++i) EXPECT_EQ(vcf.GetSheetName(i), "Sheet" + std::to_string(i));
    EXPECT_EQ(vcf.GetSelection(), "A1");
    EXPECT_EQ(vcf.GetLastRow(), 0);
    EXPECT_EQ(vcf.GetLastCol(), 0);
}

TEST(NewWorkbook, EmptyCellsReadAsEmpty) {
    CVCF1 vcf;
    EXPECT_EQ(vcf.GetTypeRC(5, 5), 0);
    EXPECT_EQ(vcf.GetTextRC(5, 5), "");
    EXPECT_EQ(vcf.GetFormulaRC(5, 5), "");
    EXPECT_EQ(vcf.GetNumberRC(5, 5), 0);
}

// ---- Cells ----------------------------------------------------------------

TEST(Cells, KindsAndTheirTexts) {
    CVCF1 vcf;
    vcf.SetTextRC(1, 1, "II_7_a");
    vcf.SetNumberRC(1, 2, 8.1);
    vcf.SetFormulaRC(1, 3, "VSN77+VSB77");
    EXPECT_EQ(vcf.GetTypeRC(1, 1), 1);
    EXPECT_EQ(vcf.GetTypeRC(1, 2), 2);
    EXPECT_EQ(vcf.GetTypeRC(1, 3), 3);
    EXPECT_EQ(vcf.GetTextRC(1, 1), "II_7_a");
    EXPECT_EQ(vcf.GetTextRC(1, 2), "8.1");
    EXPECT_EQ(vcf.GetTextRC(1, 3), "") << "a formula without a stored result shows nothing";
    EXPECT_EQ(vcf.GetFormulaRC(1, 1), "");
    EXPECT_EQ(vcf.GetFormulaRC(1, 2), "");
    EXPECT_EQ(vcf.GetFormulaRC(1, 3), "VSN77+VSB77");
    EXPECT_EQ(vcf.GetNumberRC(1, 2), 8.1);
    EXPECT_EQ(vcf.GetLastRow(), 1);
    EXPECT_EQ(vcf.GetLastCol(), 3);
}

struct NumberCase {
    double value;
    const char* text;
};

class NumberDisplay : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberDisplay, ShowsShortestFifteenDigitText) {
    CVCF1 vcf;
    vcf.SetNumberRC(2, 2, GetParam().value);
    EXPECT_EQ(vcf.GetTextRC(2, 2), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, NumberDisplay,
                         ::testing::Values(NumberCase{0, "0"}, NumberCase{-0.0, "0"}, NumberCase{2024, "2024"},
                                           NumberCase{-1.5, "-1.5"}, NumberCase{0.1 + 0.2, "0.3"},
                                           NumberCase{1e20, "1e+20"}, NumberCase{123456.789, "123456.789"}));

// QApplication adopts the user's locale; a number must still show, be
// written and read back with its point (de_DE would give "1,5").
TEST(NumbersUnderADecimalCommaLocale, ShowWriteAndReadWithAPoint) {
    const auto comma = commalocale::Find();
    if (!comma) GTEST_SKIP() << commalocale::kMissing;
    commalocale::Scoped locale(*comma);
    TempDir dir;
    CVCF1 source;
    source.SetNumberRC(1, 1, 1.5);
    source.SetNumberRC(1, 2, 123456.789);
    source.GetWorkbook().SheetAt(1).Put({1, 3}, Cell::MakeFormula("A1*2").WithCachedNumber(0.25));
    EXPECT_EQ(source.GetTextRC(1, 1), "1.5");
    EXPECT_EQ(source.GetTextRC(1, 2), "123456.789");
    EXPECT_EQ(source.GetTextRC(1, 3), "0.25");
    CVCF1 target;
    RoundTrip(source, target, dir);
    EXPECT_EQ(target.GetNumberRC(1, 1), 1.5);
    EXPECT_EQ(target.GetTextRC(1, 2), "123456.789");
    EXPECT_EQ(target.GetTextRC(1, 3), "") << "formula results are not written";
    // A result stored by LibreOffice or Excel reads with its point.
    const std::string path = dir.File("book.vts");
    Parts stored = Unzip(path);
    std::string& sheet = stored["xl/worksheets/sheet1.xml"];
    const std::string formula = "<f>A1*2</f>";
    sheet.insert(sheet.find(formula) + formula.size(), "<v>0.25</v>");
    WriteBytes(path, Zip(stored));
    Load(target, path);
    EXPECT_EQ(target.GetTextRC(1, 3), "0.25");
}

TEST(Cells, EmptyTextOrFormulaEmptiesTheCell) {
    CVCF1 vcf;
    vcf.SetTextRC(3, 3, "x");
    vcf.SetTextRC(3, 3, "");
    EXPECT_EQ(vcf.GetTypeRC(3, 3), 0);
    vcf.SetFormulaRC(3, 3, "A1");
    vcf.SetFormulaRC(3, 3, "");
    EXPECT_EQ(vcf.GetTypeRC(3, 3), 0);
}

TEST(Cells, ClearRemovesTheCell) {
    CVCF1 vcf;
    vcf.SetNumberRC(7, 9, 1);
    vcf.ClearRC(7, 9);
    EXPECT_EQ(vcf.GetTypeRC(7, 9), 0);
    EXPECT_EQ(vcf.GetLastRow(), 0);
}

TEST(Cells, BelongToTheActiveSheet) {
    CVCF1 vcf;
    vcf.SetTextRC(1, 1, "one");
    vcf.SetSheet(2);
    EXPECT_EQ(vcf.GetTypeRC(1, 1), 0);
    vcf.SetTextRC(1, 1, "two");
    vcf.SetSheet(1);
    EXPECT_EQ(vcf.GetTextRC(1, 1), "one");
}

struct Position {
    long row;
    long col;
};

class OutOfRangeCell : public ::testing::TestWithParam<Position> {};

TEST_P(OutOfRangeCell, EveryCellOperationRejectsIt) {
    CVCF1 vcf;
    auto [row, col] = GetParam();
    EXPECT_THROW(vcf.GetTextRC(row, col), CInvalidArgException);
    EXPECT_THROW(vcf.SetTextRC(row, col, "x"), CInvalidArgException);
    EXPECT_THROW(vcf.GetFormulaRC(row, col), CInvalidArgException);
    EXPECT_THROW(vcf.SetFormulaRC(row, col, "A1"), CInvalidArgException);
    EXPECT_THROW(vcf.SetNumberRC(row, col, 1), CInvalidArgException);
    EXPECT_THROW(vcf.GetNumberRC(row, col), CInvalidArgException);
    EXPECT_THROW(vcf.GetTypeRC(row, col), CInvalidArgException);
    EXPECT_THROW(vcf.ClearRC(row, col), CInvalidArgException);
}

INSTANTIATE_TEST_SUITE_P(Positions, OutOfRangeCell,
                         ::testing::Values(Position{0, 1}, Position{1, 0}, Position{-1, 1},
                                           Position{CVCF1::kMaxRow + 1, 1}, Position{1, CVCF1::kMaxCol + 1}));

TEST(Cells, TheLastRowAndColumnAreUsable) {
    CVCF1 vcf;
    vcf.SetTextRC(CVCF1::kMaxRow, CVCF1::kMaxCol, "corner");
    EXPECT_EQ(vcf.GetTextRC(CVCF1::kMaxRow, CVCF1::kMaxCol), "corner");
}

TEST(Cells, ContentAFileCannotHoldIsRejected) {
    CVCF1 vcf;
    EXPECT_THROW(vcf.SetTextRC(1, 1, "bad \xff utf8"), CInvalidArgException);
    EXPECT_THROW(vcf.SetTextRC(1, 1, std::string("nul\0here", 8)), CInvalidArgException);
    EXPECT_THROW(vcf.SetFormulaRC(1, 1, "A1\x01"), CInvalidArgException);
    EXPECT_THROW(vcf.SetNumberRC(1, 1, std::numeric_limits<double>::quiet_NaN()), CInvalidArgException);
    EXPECT_THROW(vcf.SetNumberRC(1, 1, std::numeric_limits<double>::infinity()), CInvalidArgException);
    EXPECT_EQ(vcf.GetTypeRC(1, 1), 0);
}

// ---- Sheets ---------------------------------------------------------------

TEST(Sheets, OutOfRangeIsRejected) {
    CVCF1 vcf;
    for (long bad : {0L, -1L, 5L}) {
        EXPECT_THROW(vcf.SetSheet(bad), CInvalidArgException) << bad;
        EXPECT_THROW(vcf.GetSheetName(bad), CInvalidArgException) << bad;
        EXPECT_THROW(vcf.SetSheetName(bad, "x"), CInvalidArgException) << bad;
    }
    EXPECT_THROW(vcf.SetNumSheets(0), CInvalidArgException);
    EXPECT_EQ(vcf.GetSheet(), 1);
}

TEST(Sheets, CountGrowsAndShrinks) {
    CVCF1 vcf;
    vcf.SetNumSheets(6);
    EXPECT_EQ(vcf.GetSheetName(6), "Sheet6");
    vcf.SetSheet(6);
    vcf.SetNumSheets(3);
    EXPECT_EQ(vcf.GetNumSheets(), 3);
    EXPECT_EQ(vcf.GetSheet(), 3) << "the active sheet moves to the last remaining one";
}

TEST(Sheets, NamesMustBeValidAndUnique) {
    CVCF1 vcf;
    vcf.SetSheetName(1, "Ziffern");
    EXPECT_THROW(vcf.SetSheetName(2, "ziffern"), CInvalidArgException);
    for (const char* bad : {"", "a/b", "a[b]", "a:b", "a*b", "a?b", "a\\b", "'quoted'",
                            "0123456789012345678901234567890123"})
        EXPECT_THROW(vcf.SetSheetName(2, bad), CInvalidArgException) << bad;
    vcf.SetSheetName(1, "Ziffern");  // renaming to itself is fine
    EXPECT_EQ(vcf.GetSheetName(2), "Sheet2");
}

// ---- Selection, defined names, view properties ------------------------------

TEST(Selection, AcceptsCellsAndRangesOnly) {
    CVCF1 vcf;
    for (const char* good : {"A1", "B2:C3", "$B$2:$C$3", "A1 B2:C3", "A1,B2"}) {
        vcf.SetSelection(good);
        EXPECT_EQ(vcf.GetSelection(), good);
    }
    for (const char* bad : {"", "A0", "1A", "A1:", "XFE1", "A1048577", "A1;B2", "Sheet1!A1"})
        EXPECT_THROW(vcf.SetSelection(bad), CInvalidArgException) << bad;
}

TEST(DefinedNames, MissingNameThrowsAndSetNameReadsBack) {
    CVCF1 vcf;
    EXPECT_FALSE(vcf.HasDefinedName("VERSION"));
    EXPECT_THROW(vcf.GetDefinedName("VERSION"), CInvalidArgException);
    vcf.SetDefinedName("VERSION", "2024");
    EXPECT_TRUE(vcf.HasDefinedName("VERSION"));
    EXPECT_EQ(vcf.GetDefinedName("VERSION"), "2024");
    for (const char* bad : {"", "with space", "1abc", "a+b"})
        EXPECT_THROW(vcf.SetDefinedName(bad, "1"), CInvalidArgException) << bad;
}

TEST(ViewProperties, UnknownNameIsRejected) {
    CVCF1 vcf;
    EXPECT_THROW(vcf.GetViewProperty("ShowNothing"), CInvalidArgException);
}

TEST(ViewProperties, SettersReachTheNamedProperty) {
    CVCF1 vcf;
    for (auto set : {&CVCF1::SetAllowDesigner, &CVCF1::SetPrintNoColor, &CVCF1::SetRowMode, &CVCF1::SetShowFormulas})
        (vcf.*set)(true);
    for (auto set : {&CVCF1::SetShowGridLines, &CVCF1::SetShowRowHeading, &CVCF1::SetAllowResize,
                     &CVCF1::SetAllowSelections, &CVCF1::SetAllowInCellEditing, &CVCF1::SetAllowFillRange,
                     &CVCF1::SetAllowMoveRange, &CVCF1::SetShowColHeading, &CVCF1::SetAllowArrows, &CVCF1::SetAllowTabs,
                     &CVCF1::SetAllowDelete, &CVCF1::SetAllowEditHeaders, &CVCF1::SetShowZeroValues,
                     &CVCF1::SetShowEditBar, &CVCF1::SetAllowAutoFill})
        (vcf.*set)(false);
    vcf.SetShowSelections(2);
    vcf.SetShowTabs(0);
    for (const auto& info : ViewProperties::All()) {
        int expected = info.maxValue == 1 ? 1 - info.defaultValue : (info.name == "ShowTabs" ? 0 : 2);
        EXPECT_EQ(vcf.GetViewProperty(std::string(info.name)), expected) << info.name;
        EXPECT_NE(expected, info.defaultValue) << info.name << ": the test must change every property";
    }
    vcf.SetSheet(2);
    EXPECT_EQ(vcf.GetViewProperty("ShowGridLines"), 1) << "other sheets keep their own properties";
}

// ---- Round trips through a file ----------------------------------------------

class FormulaBytes : public ::testing::TestWithParam<std::string> {};

TEST_P(FormulaBytes, SurviveWriteAndRead) {
    TempDir dir;
    CVCF1 out, in;
    out.SetFormulaRC(4, 2, GetParam());
    out.SetTextRC(4, 3, GetParam());
    out.SetDefinedName("NAME", GetParam());
    RoundTrip(out, in, dir);
    EXPECT_EQ(in.GetFormulaRC(4, 2), GetParam());
    EXPECT_EQ(in.GetTextRC(4, 3), GetParam());
    EXPECT_EQ(in.GetDefinedName("NAME"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Texts, FormulaBytes,
                         ::testing::Values("VSN77+VSB77_x+ABC", "A++C", "(A+C)", "=odd", "A-C+B",
                                           "IF(A1<B1,\"<&>\",'x')", "Ümlaut äöü € 中", "  leading",
                                           "trailing  ", " both ", "two  blanks", "tab\there",
                                           "line\nbreak", "\n", " ", "_x0041_ stays literal",
                                           "&amp; stays literal"));

TEST(RoundTrip, CellTextsWithControlCharacters) {
    TempDir dir;
    CVCF1 out, in;
    const std::string text = "cr\rlf\nbell\x07 esc\x1b";
    out.SetTextRC(1, 1, text);
    RoundTrip(out, in, dir);
    EXPECT_EQ(in.GetTextRC(1, 1), text);
}

TEST(RoundTrip, EveryCellKindOnEverySheet) {
    TempDir dir;
    CVCF1 out, in;
    out.SetNumSheets(5);
    for (long s = 1; s <= 5; ++s) {
        out.SetSheet(s);
        out.SetTextRC(1, 1, "text " + std::to_string(s));
        out.SetNumberRC(2, 2, s * 0.1);
        out.SetNumberRC(3, 2, 0);
        out.SetNumberRC(3, 3, -1e-300);
        out.SetFormulaRC(2, 3, "B2*" + std::to_string(s));
        out.SetTextRC(CVCF1::kMaxRow, CVCF1::kMaxCol, "far");
    }
    out.SetSheet(1);
    RoundTrip(out, in, dir);
    ASSERT_EQ(in.GetNumSheets(), 5);
    for (long s = 1; s <= 5; ++s) {
        in.SetSheet(s);
        out.SetSheet(s);
        EXPECT_EQ(in.GetTextRC(1, 1), "text " + std::to_string(s));
        EXPECT_EQ(in.GetTypeRC(2, 2), 2);
        EXPECT_EQ(in.GetNumberRC(2, 2), s * 0.1) << "numbers keep every bit";
        EXPECT_EQ(in.GetTypeRC(3, 2), 2);
        EXPECT_EQ(in.GetTextRC(3, 2), "0");
        EXPECT_EQ(in.GetNumberRC(3, 3), -1e-300);
        EXPECT_EQ(in.GetFormulaRC(2, 3), "B2*" + std::to_string(s));
        EXPECT_EQ(in.GetTextRC(CVCF1::kMaxRow, CVCF1::kMaxCol), "far");
    }
    EXPECT_TRUE(in.GetWorkbook() == out.GetWorkbook());
}

// A stored result would be shown by LibreOffice as it is, even after the
// formulas it depends on changed; so formulas go out without one and are
// computed when the file is opened.
TEST(RoundTrip, FormulaResultsAreNotStored) {
    TempDir dir;
    CVCF1 out, in;
    Sheet& sheet = out.GetWorkbook().SheetAt(1);
    sheet.Put({1, 1}, Cell::MakeFormula("B1*2").WithCachedNumber(42));
    sheet.Put({1, 2}, Cell::MakeFormula("C1&\"x\"").WithCachedText(" a<b> "));
    EXPECT_EQ(out.GetTextRC(1, 1), "42") << "a result read stays in memory";
    RoundTrip(out, in, dir);
    EXPECT_EQ(in.GetTextRC(1, 1), "");
    EXPECT_EQ(in.GetNumberRC(1, 1), 0);
    EXPECT_EQ(in.GetFormulaRC(1, 1), "B1*2");
    EXPECT_EQ(in.GetTextRC(1, 2), "");
    EXPECT_EQ(in.GetFormulaRC(1, 2), "C1&\"x\"");
}

TEST(RoundTrip, SheetNamesActiveSheetSelectionsAndNames) {
    TempDir dir;
    CVCF1 out, in;
    const char* names[] = {"Ziffern", "Saldo & Satz", "Übersicht", "Sheet 4"};
    const char* selections[] = {"A1", "B2:C3", "$D$4", "A1:B2 C3"};
    for (long s = 1; s <= 4; ++s) {
        out.SetSheetName(s, names[s - 1]);
        out.SetSheet(s);
        out.SetSelection(selections[s - 1]);
    }
    out.SetSheet(3);
    out.SetDefinedName("VERSION", "2018");
    out.SetDefinedName("VSN77", "Ziffern!$B$3");
    RoundTrip(out, in, dir);
    EXPECT_EQ(in.GetSheet(), 3);
    for (long s = 1; s <= 4; ++s) {
        EXPECT_EQ(in.GetSheetName(s), names[s - 1]);
        in.SetSheet(s);
        EXPECT_EQ(in.GetSelection(), selections[s - 1]);
    }
    EXPECT_EQ(in.GetDefinedName("VERSION"), "2018");
    EXPECT_EQ(in.GetDefinedName("VSN77"), "Ziffern!$B$3");
}

TEST(RoundTrip, AllViewPropertiesOnEachSheet) {
    TempDir dir;
    CVCF1 out, in;
    // Each sheet gets its own pattern so swapped or shared properties show up.
    for (long s = 1; s <= 4; ++s) {
        ViewProperties& view = out.GetWorkbook().SheetAt(s).View();
        int k = 0;
        for (const auto& info : ViewProperties::All()) {
            bool on = (k++ + s) % 2 == 0;
            view.Set(info.prop, info.maxValue == 1 ? on : static_cast<int>(s) - 1);
        }
    }
    RoundTrip(out, in, dir);
    for (long s = 1; s <= 4; ++s) {
        out.SetSheet(s);
        in.SetSheet(s);
        for (const auto& info : ViewProperties::All())
            EXPECT_EQ(in.GetViewProperty(std::string(info.name)), out.GetViewProperty(std::string(info.name)))
                << "sheet " << s << " " << info.name;
    }
}

TEST(RoundTrip, ReadReplacesTheWholeWorkbook) {
    TempDir dir;
    CVCF1 out, in;
    in.SetNumSheets(7);
    in.SetTextRC(9, 9, "old");
    in.SetDefinedName("OLD", "1");
    RoundTrip(out, in, dir);
    EXPECT_EQ(in.GetNumSheets(), 4);
    EXPECT_EQ(in.GetTypeRC(9, 9), 0);
    EXPECT_FALSE(in.HasDefinedName("OLD"));
}

// ---- Write ----------------------------------------------------------------------

TEST(Write, UnknownFileTypeIsRejectedAndWritesNothing) {
    TempDir dir;
    CVCF1 vcf;
    for (short type : {short{0}, short{2}, short{-1}, short{100}}) {
        EXPECT_THROW(vcf.Write(dir.File("x.vts"), type), CInvalidArgException) << type;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.vts")));
}

TEST(Write, IntoAMissingDirectoryThrowsFileException) {
    TempDir dir;
    CVCF1 vcf;
    const std::string message =
        ThrownMessage<CFileException>([&] { vcf.Write(dir.File("no/such/dir/x.vts"), CVCF1::kFileTypeOoxml); });
    EXPECT_NE(message.find("no/such/dir/x.vts"), std::string::npos) << message;
}

TEST(Write, ProducesTheStandardParts) {
    TempDir dir;
    CVCF1 vcf;
    vcf.Write(dir.File("x.vts"), CVCF1::kFileTypeOoxml);
    std::string bytes = ReadBytes(dir.File("x.vts"));
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 2), "PK");
    for (const char* part : {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                             "xl/worksheets/sheet1.xml", "xl/worksheets/sheet4.xml", "xl/styles.xml"})
        EXPECT_NE(bytes.find(part), std::string::npos) << part;
}

}  // namespace

// A sheet protected in its structure reads back so, without a password, and
// its cells are written with unlocked formats, so that they still take input.
TEST(Protection, StructureOnlyAndEveryCellFormatUnlocked) {
    TempDir dir;
    CVCF1 source;
    source.SetSheet(4);
    source.SetProtectStructure(true);
    source.SetFormulaRC(1, 2, "USN77+USB77");
    CVCF1 target;
    RoundTrip(source, target, dir);
    for (long sheet = 1; sheet <= 4; ++sheet) {
        target.SetSheet(sheet);
        EXPECT_EQ(target.GetProtectStructure(), sheet == 4) << sheet;
    }
    const std::string path = dir.File("book.vts");
    Parts written = Unzip(path);
    const std::string sheet4 = written["xl/worksheets/sheet4.xml"];
    for (const char* attr : {"insertRows=\"1\"", "deleteRows=\"1\"", "insertColumns=\"1\"", "deleteColumns=\"1\"",
                             "formatCells=\"0\""})
        EXPECT_NE(sheet4.find(attr), std::string::npos) << attr;
    EXPECT_EQ(sheet4.find("password"), std::string::npos);
    const std::string styles = written["xl/styles.xml"];
    std::size_t formats = 0, unlocked = 0;
    for (std::size_t at = styles.find("<xf ", styles.find("<cellXfs")); at != std::string::npos;
         at = styles.find("<xf ", at + 1))
        ++formats;
    for (std::size_t at = styles.find("locked=\"0\""); at != std::string::npos; at = styles.find("locked=\"0\"", at + 1))
        ++unlocked;
    EXPECT_GT(formats, 0u);
    EXPECT_EQ(unlocked, formats);
    EXPECT_EQ(LockedCells(sheet4, styles), std::vector<std::string>()) << "each cell names its format, also 0";
    EXPECT_EQ(written["xl/worksheets/sheet1.xml"].find(" s=\"0\""), std::string::npos) << "only there";

    // A read workbook whose formats are locked keeps them; the cells of the
    // protected sheet get an unlocked twin, appended once and found again.
    pugi::xml_document lockedDoc;
    ASSERT_TRUE(lockedDoc.load_string(styles.c_str()));
    for (pugi::xml_node xf : lockedDoc.document_element().child("cellXfs").children("xf")) {
        xf.remove_attribute("applyProtection");
        xf.remove_child("protection");
    }
    std::ostringstream lockedXml;
    lockedDoc.save(lockedXml, "", pugi::format_raw);
    const std::string locked = lockedXml.str();
    written["xl/styles.xml"] = locked;
    WriteBytes(path, Zip(written));
    CVCF1 reread;
    Load(reread, path);
    reread.SetSheet(4);
    reread.SetTextRC(2, 1, "neu");
    reread.Write(path, CVCF1::kFileTypeOoxml);
    Parts twice = Unzip(path);
    auto formatList = [](const std::string& xml) {
        const std::size_t from = xml.find('>', xml.find("<cellXfs")) + 1;
        return xml.substr(from, xml.find("</cellXfs>") - from);
    };
    EXPECT_EQ(formatList(twice["xl/styles.xml"]).rfind(formatList(locked), 0), 0u)
        << "the formats the file had come first, as they were: " << twice["xl/styles.xml"];
    EXPECT_GT(formatList(twice["xl/styles.xml"]).size(), formatList(locked).size());
    EXPECT_EQ(LockedCells(twice["xl/worksheets/sheet4.xml"], twice["xl/styles.xml"]), std::vector<std::string>());
    Load(reread, path);
    reread.Write(dir.File("again.vts"), CVCF1::kFileTypeOoxml);
    EXPECT_EQ(Unzip(dir.File("again.vts"))["xl/styles.xml"], twice["xl/styles.xml"]) << "no second twin";
}
