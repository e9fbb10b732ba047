#include "workbook/tools/WorkbookText.h"

#include <gtest/gtest.h>

#include "workbook/CVCF1.h"
#include "workbook/CellFormats.h"
#include "workbook/Workbook.h"

namespace {

using workbooktext::ParseError;
using workbooktext::Parse;
using workbooktext::Print;

// ---- Hand-written texts ---------------------------------------------------------

TEST(Parse, MinimalTextGivesFourDefaultSheets) {
    Workbook wb = Parse("workbook\n");
    EXPECT_TRUE(wb == Workbook());
}

TEST(Parse, StatementsReachTheModel) {
    Workbook wb = Parse(R"(# a template
workbook
active 2

sheet 2 "Zweite"   # trailing comments are fine
selection "A1 B2:C3"
view RowMode 1
view ShowTabs 2
cell 1 1 text "II_7_a"
cell B3 number -0.5
cell 4 4 formula "VSN77+VSB77" cached number 12
cell 4 5 formula "A1&B1" cached text "x\ty"
sheet 1
cell 9 9 text "tab\there \"quoted\" back\\slash \x01"
name VERSION "2018"
)");
    EXPECT_EQ(wb.ActiveSheet(), 2);
    EXPECT_EQ(wb.SheetCount(), 4);
    EXPECT_EQ(wb.SheetAt(1).Name(), "Sheet1");
    const Sheet& two = wb.SheetAt(2);
    EXPECT_EQ(two.Name(), "Zweite");
    EXPECT_EQ(two.Selection(), "A1 B2:C3");
    EXPECT_EQ(two.View().Get(ViewProp::RowMode), 1);
    EXPECT_EQ(two.View().Get(ViewProp::ShowTabs), 2);
    EXPECT_EQ(two.View().Get(ViewProp::ShowGridLines), 1) << "omitted properties keep their defaults";
    EXPECT_EQ(*two.Find({1, 1}), Cell::MakeText("II_7_a"));
    EXPECT_EQ(*two.Find({3, 2}), Cell::MakeNumber(-0.5));
    EXPECT_EQ(*two.Find({4, 4}), Cell::MakeFormula("VSN77+VSB77").WithCachedNumber(12));
    EXPECT_EQ(*two.Find({4, 5}), Cell::MakeFormula("A1&B1").WithCachedText("x\ty"));
    EXPECT_EQ(wb.SheetAt(1).Find({9, 9})->text, "tab\there \"quoted\" back\\slash \x01");
    EXPECT_EQ(*wb.FindDefinedName("VERSION"), "2018");
}

TEST(Parse, FormatsColumnWidthsAndPage) {
    Workbook wb = Parse(R"(workbook
sheet 1 "Formular"
column A width 6
column B:C width 12.5
page A4 portrait fit
cell A1 text "Titel"
format A1 title
format D6:E7 amount
format E7 total
sheet 2
page letter landscape
)");
    const Sheet& one = wb.SheetAt(1);
    EXPECT_EQ(one.Format({1, 1}), *cellformats::FromName("title"));
    EXPECT_EQ(one.Format({6, 4}), *cellformats::FromName("amount"));
    EXPECT_EQ(one.Format({7, 5}), *cellformats::FromName("total")) << "a later line wins";
    EXPECT_EQ(one.Format({5, 4}), 0);
    EXPECT_EQ(one.Find({6, 4}), nullptr) << "a format makes no cell";
    ASSERT_NE(one.Origin(), nullptr);
    const std::string& layout = one.Origin()->xml;
    EXPECT_NE(layout.find(R"(<col min="1" max="1" width="6" customWidth="1"/>)"), std::string::npos) << layout;
    EXPECT_NE(layout.find(R"(<col min="3" max="3" width="12.5" customWidth="1"/>)"), std::string::npos) << layout;
    EXPECT_NE(layout.find(R"(<pageSetUpPr fitToPage="1"/>)"), std::string::npos) << layout;
    EXPECT_NE(layout.find(R"(<pageSetup paperSize="9" orientation="portrait" fitToWidth="1" fitToHeight="1"/>)"),
              std::string::npos)
        << layout;
    EXPECT_NE(wb.SheetAt(2).Origin()->xml.find(R"(<pageSetup paperSize="1" orientation="landscape"/>)"),
              std::string::npos);
    EXPECT_EQ(wb.SheetAt(3).Origin(), nullptr);
}

TEST(Parse, SheetsBeyondFourAndSwappedNames) {
    Workbook wb = Parse("workbook\nsheet 1 \"Sheet2\"\nsheet 2 \"Sheet1\"\nsheet 6 \"Six\"\n");
    EXPECT_EQ(wb.SheetCount(), 6);
    EXPECT_EQ(wb.SheetAt(1).Name(), "Sheet2");
    EXPECT_EQ(wb.SheetAt(2).Name(), "Sheet1");
    EXPECT_EQ(wb.SheetAt(5).Name(), "Sheet5");
    EXPECT_EQ(wb.SheetAt(6).Name(), "Six");
}

// ---- Bad lines --------------------------------------------------------------------

struct BadText {
    const char* name;
    const char* text;
    int line;
    const char* expected;
};

class ParseBad : public ::testing::TestWithParam<BadText> {};

TEST_P(ParseBad, NamesTheLineAndTheFault) {
    try {
        Parse(GetParam().text);
        FAIL() << "no error";
    } catch (const ParseError& e) {
        EXPECT_EQ(e.Line(), GetParam().line) << e.what();
        EXPECT_NE(std::string(e.what()).find(GetParam().expected), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("line " + std::to_string(GetParam().line) + ": ", 0), 0u) << e.what();
    }
}

const BadText kBad[] = {
    {"Empty", "", 1, "empty"},
    {"OnlyComments", "# nothing\n\n", 3, "empty"},
    {"NoHeader", "sheet 1\n", 1, "begin with 'workbook'"},
    {"HeaderTwice", "workbook\nworkbook\n", 2, "only once"},
    {"UnknownStatement", "workbook\ncel 1 1 text \"x\"\n", 2, "unknown statement \"cel\""},
    {"CellBeforeSheet", "workbook\ncell 1 1 text \"x\"\n", 2, "put a 'sheet' line before"},
    {"RowZero", "workbook\nsheet 1\ncell 0 1 text \"x\"\n", 3, "row 0 is out of range"},
    {"RowTooBig", "workbook\nsheet 1\ncell 1048577 1 number 1\n", 3, "row 1048577 is out of range"},
    {"ColTooBig", "workbook\nsheet 1\ncell 1 16385 number 1\n", 3, "column 16385"},
    {"RowNotANumber", "workbook\nsheet 1\ncell 1x 1 number 1\n", 3, "row \"1x\" is not a whole number"},
    {"BadA1", "workbook\nsheet 1\ncell ZZZZ1 number 1\n", 3, "\"ZZZZ1\" is not a cell"},
    {"UnknownKind", "workbook\nsheet 1\ncell 1 1 date \"x\"\n", 3, "expected: cell"},
    {"UnquotedText", "workbook\nsheet 1\ncell 1 1 text hello\n", 3, "must be a quoted string"},
    {"BadNumber", "workbook\nsheet 1\ncell 1 1 number 1,5\n", 3, "\"1,5\" is not a number"},
    {"NaN", "workbook\nsheet 1\ncell 1 1 number nan\n", 3, "not a number"},
    {"MissingValue", "workbook\nsheet 1\ncell 1 1 text\n", 3, "expected: cell"},
    {"ExtraToken", "workbook\nsheet 1\ncell 1 1 text \"a\" \"b\"\n", 3, "expected: cell"},
    {"BadCached", "workbook\nsheet 1\ncell 1 1 formula \"A\" cached date 1\n", 3, "cached result"},
    {"EmptyFormula", "workbook\nsheet 1\ncell 1 1 formula \"\"\n", 3, "formula is empty"},
    {"DuplicateCell", "workbook\nsheet 1\ncell 1 1 number 1\ncell A1 number 2\n", 4, "already set on line 3"},
    {"OpenString", "workbook\nsheet 1 \"Ziffern\n", 2, "without closing quote"},
    {"BadEscape", "workbook\nsheet 1\ncell 1 1 text \"a\\q\"\n", 3, "unknown escape \\q"},
    {"ShortHexEscape", "workbook\nsheet 1\ncell 1 1 text \"\\x4\"\n", 3, "two hex digits"},
    {"InvalidUtf8", "workbook\nsheet 1\ncell 1 1 text \"\\xFF\"\n", 3, "UTF-8"},
    {"GlueAfterQuote", "workbook\nsheet 1\ncell 1 1 text \"a\"b\n", 3, "blank must follow"},
    {"SheetTwice", "workbook\nsheet 1\nsheet 1\n", 3, "appears twice"},
    {"SheetZero", "workbook\nsheet 0\n", 2, "sheet number 0"},
    {"BadSheetName", "workbook\nsheet 1 \"a/b\"\n", 2, "sheet name"},
    {"DuplicateSheetName", "workbook\nsheet 1 \"A\"\nsheet 2 \"a\"\n", 3, "already used by sheet 1"},
    {"NameTakesADefault", "workbook\nsheet 1 \"Sheet2\"\n", 2, "give sheet 2 a name"},
    {"UnknownView", "workbook\nsheet 1\nview ShowNothing 1\n", 3, "unknown view property"},
    {"ViewOutOfRange", "workbook\nsheet 1\nview RowMode 2\n", 3, "RowMode 2 is out of range 0..1"},
    {"BadSelection", "workbook\nsheet 1\nselection A0\n", 3, "selection"},
    {"ActiveMissingSheet", "workbook\nactive 5\n", 2, "active sheet 5 does not exist"},
    {"BadName", "workbook\nname 1X \"1\"\n", 2, "begins with a digit"},
    {"NameTwice", "workbook\nname A \"1\"\nname A \"2\"\n", 3, "appears twice"},
    {"UnquotedDefinition", "workbook\nname A 1\n", 2, "quoted string"},
    {"FormatBeforeSheet", "workbook\nformat A1 bold\n", 2, "put a 'sheet' line before"},
    {"UnknownFormat", "workbook\nsheet 1\nformat A1 fat\n", 3, "unknown format \"fat\"; formats are normal, bold"},
    {"BackwardRange", "workbook\nsheet 1\nformat C3:A1 bold\n", 3, "\"C3:A1\" is not a cell or range"},
    {"HugeRange", "workbook\nsheet 1\nformat A1:Z10000 bold\n", 3, "more than 100000 cells"},
    {"BadColumn", "workbook\nsheet 1\ncolumn 2 width 8\n", 3, "\"2\" is not a column"},
    {"ColumnWithoutWidth", "workbook\nsheet 1\ncolumn B wide 8\n", 3, "expected: column"},
    {"ColumnTooWide", "workbook\nsheet 1\ncolumn B width 300\n", 3, "out of range"},
    {"ColumnZero", "workbook\nsheet 1\ncolumn B width 0\n", 3, "out of range"},
    {"UnknownPaper", "workbook\nsheet 1\npage A5 portrait\n", 3, "expected: page"},
    {"UnknownOrientation", "workbook\nsheet 1\npage A4 upright\n", 3, "expected: page"},
    {"PageTwice", "workbook\nsheet 1\npage A4 portrait\npage A4 landscape\n", 4, "page line already"},
};

INSTANTIATE_TEST_SUITE_P(Lines, ParseBad, ::testing::ValuesIn(kBad),
                         [](const auto& param) { return std::string(param.param.name); });

// ---- Printing -----------------------------------------------------------------------

TEST(Print, ListsEverythingAndReadsBackIdentically) {
    Workbook wb;
    wb.SetSheetCount(5);
    wb.RenameSheet(1, "Ziffern \"2024\"");
    wb.SetActiveSheet(3);
    wb.SheetAt(1).SetSelection("$B$2:C3 D4");
    wb.SheetAt(1).View().Set(ViewProp::ShowSelections, -7);
    wb.SheetAt(1).Put({1, 1}, Cell::MakeText("a\\b\tc\nd\re\x7f"));
    wb.SheetAt(1).Put({1, 2}, Cell::MakeText(""));
    wb.SheetAt(1).Put({2, 1}, Cell::MakeNumber(0.1 + 0.2));
    wb.SheetAt(1).Put({2, 2}, Cell::MakeNumber(-1e-300));
    wb.SheetAt(2).Put({3, 3}, Cell::MakeFormula(" A++C ").WithCachedText("\"r\""));
    wb.SheetAt(5).Put({9, 9}, Cell::MakeFormula("=odd").WithCachedNumber(1.0 / 3));
    wb.SetDefinedName("VERSION", "2024");
    wb.SetDefinedName("Ümlaut", " x < y & \"z\" ");

    std::string text = Print(wb);
    Workbook again = Parse(text);
    EXPECT_TRUE(again == wb) << text;
    EXPECT_EQ(Print(again), text);
    EXPECT_NE(text.find("cell 1 1 text \"a\\\\b\\tc\\nd\\re\\x7F\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("cell 2 1 number 0.30000000000000004\n"), std::string::npos) << text;
    EXPECT_NE(text.find("selection \"$B$2:C3 D4\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("name VERSION \"2024\"\n"), std::string::npos) << text;
}

TEST(Print, EveryViewPropertyOnEverySheet) {
    std::string text = Print(Workbook());
    size_t count = 0;
    for (size_t at = text.find("\nview "); at != std::string::npos; at = text.find("\nview ", at + 1)) ++count;
    EXPECT_EQ(count, 4 * ViewProperties::kCount);
}

}  // namespace
