// Checks with LibreOffice itself: it opens our workbooks and the templates
// without error values, computes what we write, keeps the templates' layout,
// and what it saves (formatting, key names in lower case) comes through our
// read, write and the conversion commands. Skipped where LibreOffice is not
// installed; the same round trips are tested without it on files that
// reproduce what it writes (Lossless_test, KeyCase_test, LetterCase_test).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <pugixml.hpp>

#include <cstdlib>
#include <map>
#include <regex>

#include "base/Format.h"

#include "templates/TemplateSet.h"
#include "workbook/CVCF1.h"
#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"
#include "tests/forms/LibreOfficeCase.h"
#include "tests/support/Office.h"
#include "tests/workbook/WorkbookFiles.h"

namespace fs = std::filesystem;
using namespace workbooktest;

namespace {

const std::string kBin = MWST_TEST_BIN_DIR;
const char* const kTemplates[] = {"MWST2018eff", "MWST2018pau", "_MWST2018eff", "_MWST2018pau",
                                  "MWST2024eff", "MWST2024pau", "_MWST2024eff", "_MWST2024pau"};
using testsupport::kCsvAsShown;

using formstest::Program;

std::string Template(const std::string& name) { return kBin + "/mwst/" + name + ".vts"; }

// The custom column widths of a worksheet part, as "min-max:width" in file
// order; what LibreOffice writes for a width depends on the fonts it has.
std::vector<std::string> CustomWidths(const std::string& sheetXml) {
    std::vector<std::string> widths;
    pugi::xml_document doc;
    if (!doc.load_string(sheetXml.c_str())) return widths;
    for (pugi::xml_node col : doc.document_element().child("cols").children("col")) {
        const std::string_view custom = col.attribute("customWidth").value();
        if (custom != "true" && custom != "1") continue;
        widths.push_back(std::string(col.attribute("min").value()) + "-" + col.attribute("max").value() + ":" +
                         col.attribute("width").value());
    }
    return widths;
}

std::string SheetPart(const std::string& file, int sheet) {
    ZipReader zip(ReadBytes(file), file);
    return zip.Read("xl/worksheets/sheet" + std::to_string(sheet) + ".xml").value_or("");
}

// An error value as LibreOffice shows or stores one.
bool IsErrorValue(const std::string& text) {
    static const std::regex error(R"(#(NAME\?|REF!|VALUE!|DIV/0!|N/A|NUM!|NULL!)|Err:\d+)");
    return std::regex_search(text, error);
}

// The workbook as LibreOffice saved it has the four sheets of `before` with
// their names, its version and every formula: those of the mapping sheet with
// the names in lower case, those of the form sheets exactly.
void ExpectSheetsAndFormulasKept(const CVCF1& before, const CVCF1& saved) {
    ASSERT_EQ(saved.GetNumSheets(), 4);
    EXPECT_EQ(saved.GetDefinedName("VERSION"), before.GetDefinedName("VERSION"));
    for (long s = 1; s <= 4; ++s) {
        EXPECT_EQ(saved.GetSheetName(s), before.GetSheetName(s));
        for (const auto& [pos, cell] : before.GetWorkbook().SheetAt(s).Cells()) {
            if (cell.kind != Cell::Kind::Formula) continue;
            const Cell* kept = saved.GetWorkbook().SheetAt(s).Find(pos);
            ASSERT_NE(kept, nullptr) << "sheet " << s << " row " << pos.row << " col " << pos.col;
            EXPECT_EQ(kept->text, s == 4 ? formstest::LowerNamesAsLibreOffice(cell.text) : cell.text);
        }
    }
}

int PdfPages(const std::string& pdf) {
    static const std::regex page(R"(/Type\s*/Page[^s])");
    return static_cast<int>(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

class LibreOffice : public ::testing::Test {
protected:
    void SetUp() override {
        office_ = testsupport::FindOffice();
        if (office_.empty())
            GTEST_SKIP() << "LibreOffice (soffice or libreoffice) is not on PATH: the checks with LibreOffice "
                            "itself are skipped; install libreoffice-calc-nogui to run them";
    }

    // Converts the files with the LibreOffice filter `to` into `outDir` (default
    // dir_/out); false on failure.
    bool Convert(const std::vector<std::string>& files, const std::string& to, std::string outDir = "") {
        if (outDir.empty()) outDir = dir_.File("out");
        return testsupport::OfficeConvert(office_, dir_.File("profile"), files, to, outDir, dir_.File("log"));
    }
    bool Convert(const std::string& file, const std::string& to) { return Convert(std::vector{file}, to); }
    std::string Log() const { return ReadBytes(dir_.File("log")); }

    std::string WriteSample() {
        CVCF1 vcf;
        vcf.SetSheetName(1, "Ziffern");
        vcf.SetSheetName(2, "Zweite");
        vcf.SetTextRC(1, 1, "II_7_a");
        vcf.SetNumberRC(2, 1, 20);
        vcf.SetNumberRC(2, 2, 22);
        vcf.SetFormulaRC(3, 1, "A2+B2");
        vcf.SetTextRC(4, 1, "Ümlaut & <x>");
        vcf.SetFormulaRC(5, 1, "VERSION*2");
        vcf.SetDefinedName("VERSION", "2018");
        vcf.SetSheet(2);
        vcf.SetTextRC(1, 1, "zwei");
        vcf.SetFormulaRC(1, 2, "Ziffern!A2*3");
        vcf.SetSheet(1);
        // The .xlsx name only helps LibreOffice pick its filter for the output file name.
        std::string path = dir_.File("sample.xlsx");
        vcf.Write(path, CVCF1::kFileTypeOoxml);
        return path;
    }

    // A workbook as LibreOffice saves it from what a user set up: bold title,
    // merged cells, column widths, a row height, amounts "#,##0.00", A4
    // landscape on one page, formulas with their results.
    std::string SavedByLibreOffice() {
        const std::string fods = dir_.File("formatted.fods");
        WriteBytes(fods, R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:styles><number:number-style style:name="N4"><number:number number:decimal-places="2" number:min-decimal-places="2" number:min-integer-digits="1" number:grouping="true"/></number:number-style></office:styles>
 <office:automatic-styles>
  <style:style style:name="co1" style:family="table-column"><style:table-column-properties style:column-width="5cm"/></style:style>
  <style:style style:name="co2" style:family="table-column"><style:table-column-properties style:column-width="2.5cm"/></style:style>
  <style:style style:name="ro1" style:family="table-row"><style:table-row-properties style:row-height="0.8cm" style:use-optimal-row-height="false"/></style:style>
  <style:style style:name="ce1" style:family="table-cell"><style:text-properties fo:font-weight="bold"/></style:style>
  <style:style style:name="ce2" style:family="table-cell" style:data-style-name="N4"/>
  <style:page-layout style:name="pm1"><style:page-layout-properties fo:page-width="29.7cm" fo:page-height="21cm" style:print-orientation="landscape" style:scale-to-X="1" style:scale-to-Y="1"/></style:page-layout>
 </office:automatic-styles>
 <office:master-styles><style:master-page style:name="Default" style:page-layout-name="pm1"/></office:master-styles>
 <office:body><office:spreadsheet><table:table table:name="Ziffern">
  <table:table-column table:style-name="co1"/><table:table-column table:style-name="co2" table:number-columns-repeated="2"/>
  <table:table-row table:style-name="ro1"><table:table-cell table:style-name="ce1" office:value-type="string"><text:p>Titel fett</text:p></table:table-cell><table:table-cell table:number-columns-spanned="2" office:value-type="string"><text:p>verbunden</text:p></table:table-cell><table:covered-table-cell/></table:table-row>
  <table:table-row><table:table-cell table:style-name="ce2" office:value-type="float" office:value="1"/><table:table-cell table:style-name="ce2" table:formula="of:=[.A2]+1" office:value-type="float" office:value="2"/><table:table-cell table:style-name="ce2" table:formula="of:=[.B2]*10" office:value-type="float" office:value="20"/></table:table-row>
 </table:table></office:spreadsheet></office:body>
</office:document>
)");
        EXPECT_TRUE(Convert(fods, "xlsx")) << Log();
        return dir_.File("out/formatted.xlsx");
    }

    // The installed templates copied into dir_/in (LibreOffice names its output after them).
    std::vector<std::string> TemplateCopies() {
        std::vector<std::string> copies;
        fs::create_directories(dir_.File("in"));
        for (const char* name : kTemplates) {
            copies.push_back(dir_.File(std::string("in/") + name + ".vts"));
            fs::copy_file(Template(name), copies.back());
        }
        return copies;
    }

    std::string office_;
    TempDir dir_;
};

TEST_F(LibreOffice, OpensSheetsTextsAndFormulas) {
    std::string sample = WriteSample();
    ASSERT_TRUE(Convert(sample, kCsvAsShown)) << Log();
    std::string first = ReadBytes(dir_.File("out/sample-Ziffern.csv"));
    std::string second = ReadBytes(dir_.File("out/sample-Zweite.csv"));
    EXPECT_NE(first.find("II_7_a"), std::string::npos) << first;
    EXPECT_NE(first.find("Ümlaut & <x>"), std::string::npos) << first;
    EXPECT_NE(first.find("\n42"), std::string::npos) << "A2+B2 computed: " << first;
    EXPECT_NE(first.find("\n4036"), std::string::npos) << "the defined name resolved: " << first;
    EXPECT_NE(second.find("zwei,60"), std::string::npos) << second;
    EXPECT_TRUE(std::filesystem::exists(dir_.File("out/sample-Sheet3.csv")));
    EXPECT_TRUE(std::filesystem::exists(dir_.File("out/sample-Sheet4.csv")));
}

TEST_F(LibreOffice, WhatItSavesReadsBack) {
    std::string sample = WriteSample();
    std::filesystem::create_directory(dir_.File("in"));
    std::string copy = dir_.File("in/resaved.vts");
    std::filesystem::copy_file(sample, copy);
    ASSERT_TRUE(Convert(copy, "xlsx")) << Log();
    CVCF1 vcf;
    Load(vcf, dir_.File("out/resaved.xlsx"));
    EXPECT_EQ(vcf.GetNumSheets(), 4);
    EXPECT_EQ(vcf.GetSheetName(1), "Ziffern");
    EXPECT_EQ(vcf.GetTextRC(1, 1), "II_7_a");
    EXPECT_EQ(vcf.GetTextRC(4, 1), "Ümlaut & <x>");
    EXPECT_EQ(vcf.GetFormulaRC(3, 1), "A2+B2");
    EXPECT_EQ(vcf.GetTextRC(3, 1), "42") << "LibreOffice stores the computed result";
    EXPECT_EQ(vcf.GetDefinedName("VERSION"), "2018");
    vcf.SetSheet(2);
    EXPECT_EQ(vcf.GetFormulaRC(1, 2), "Ziffern!A2*3");
}

// Formatting set in LibreOffice survives our read and write, and LibreOffice
// computes the formulas anew when it opens what we wrote.
TEST_F(LibreOffice, FormattingSurvivesAndChangedFiguresAreRecalculated) {
    const std::string formatted = SavedByLibreOffice();
    CVCF1 vcf;
    short type = 0;
    vcf.Read(formatted, type);
    ASSERT_EQ(vcf.GetFormulaRC(2, 2), "A2+1");
    ASSERT_EQ(vcf.GetTextRC(2, 3), "20") << "the result LibreOffice stored";
    vcf.SetNumberRC(2, 1, 5);
    vcf.SetFormulaRC(3, 2, "A2*3");
    fs::create_directories(dir_.File("ours"));
    const std::string ours = dir_.File("ours/ours.vts");
    vcf.Write(ours, type);

    ASSERT_TRUE(Convert(std::vector{ours}, "xlsx", dir_.File("again"))) << Log();
    const std::string again = dir_.File("again/ours.xlsx");
    CVCF1 back;
    Load(back, again);
    EXPECT_EQ(back.GetTextRC(2, 2), "6") << "A2+1 with the new A2";
    EXPECT_EQ(back.GetTextRC(2, 3), "60") << "B2*10, whose own text did not change";
    EXPECT_EQ(back.GetTextRC(3, 2), "15");

    Parts zip = Unzip(again);
    const std::string sheet = zip["xl/worksheets/sheet1.xml"];
    const std::string styles = zip["xl/styles.xml"];
    EXPECT_NE(styles.find(R"(formatCode="#,##0.00")"), std::string::npos) << styles;
    EXPECT_NE(styles.find("<b val=\"true\"/>"), std::string::npos) << styles;
    EXPECT_NE(sheet.find(R"(<mergeCell ref="B1:C1"/>)"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find(R"(customHeight="true")"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find(R"(orientation="landscape")"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find(R"(<pageSetUpPr fitToPage="true"/>)"), std::string::npos) << sheet;
    const std::vector<std::string> widths = CustomWidths(SheetPart(formatted, 1));
    EXPECT_FALSE(widths.empty()) << "LibreOffice wrote the widths of the columns set to 5 and 2.5 cm";
    EXPECT_EQ(CustomWidths(sheet), widths) << "the widths as LibreOffice itself wrote them before our write";
    EXPECT_TRUE(std::regex_search(sheet, std::regex(R"(<c r="A1" s="[1-9])"))) << "the title keeps its format";
}

TEST_F(LibreOffice, TemplatesOpenWithTheirSheetsFormulasAndNoErrorValues) {
    const std::vector<std::string> copies = TemplateCopies();
    ASSERT_TRUE(Convert(copies, "xlsx")) << Log();
    ASSERT_TRUE(Convert(copies, kCsvAsShown)) << Log();
    for (const char* name : kTemplates) {
        SCOPED_TRACE(name);
        CVCF1 original, saved;
        Load(original, Template(name));
        Load(saved, dir_.File(std::string("out/") + name + ".xlsx"));
        ASSERT_NO_FATAL_FAILURE(ExpectSheetsAndFormulasKept(original, saved));
        for (long s = 1; s <= 3; ++s) {
            for (const auto& [pos, cell] : saved.GetWorkbook().SheetAt(s).Cells()) {
                const std::string shown = cell.kind == Cell::Kind::Formula && cell.cached == Cell::Cached::Text
                                              ? cell.cachedText
                                              : cell.text;
                EXPECT_FALSE(IsErrorValue(shown)) << "sheet " << s << " row " << pos.row << " col " << pos.col;
            }
            const std::string csv =
                ReadBytes(dir_.File(std::string("out/") + name + "-" + original.GetSheetName(s) + ".csv"));
            EXPECT_FALSE(IsErrorValue(csv)) << csv;
            if (s <= 2) {
                EXPECT_NE(csv.find(",0.00"), std::string::npos) << "amounts without data: " << csv;
            }
        }
    }
}

// Sheets 1 to 3 each print on one A4 page in portrait (the mapping sheet is
// emptied in the copies: it prints as it always did).
TEST_F(LibreOffice, TemplateFormSheetsPrintOnOneA4PagePortrait) {
    std::vector<std::string> copies;
    fs::create_directories(dir_.File("in"));
    for (const char* name : kTemplates) {
        CVCF1 form;
        Load(form, Template(name));
        form.SetSheet(4);
        for (long row = form.GetLastRow(); row >= 1; --row)
            for (long col = form.GetLastCol(); col >= 1; --col) form.ClearRC(row, col);
        copies.push_back(dir_.File(std::string("in/") + name + ".vts"));
        form.Write(copies.back(), CVCF1::kFileTypeOoxml);
    }
    ASSERT_TRUE(Convert(copies, "pdf")) << Log();
    const std::regex box(R"(/MediaBox\s*\[\s*([0-9.]+) ([0-9.]+) ([0-9.]+) ([0-9.]+)\s*\])");
    for (const char* name : kTemplates) {
        const std::string pdf = ReadBytes(dir_.File(std::string("out/") + name + ".pdf"));
        EXPECT_EQ(PdfPages(pdf), 3) << name;
        for (std::sregex_iterator it(pdf.begin(), pdf.end(), box), end; it != end; ++it) {
            EXPECT_NEAR(std::stod((*it)[3]), 595.3, 1) << name << ": A4 width";
            EXPECT_NEAR(std::stod((*it)[4]), 841.9, 1) << name << ": A4 height, portrait";
        }
    }
}

// Each sheet prints on one page, the mapping sheet too: its columns are wide
// enough for labels and key sums (the 2018 templates printed the ends of its
// labels on a fifth page), so the 2018 sets print as many pages as LibreOffice
// prints of the 2024 sets.
TEST_F(LibreOffice, TemplatesPrintOnePagePerSheet) {
    const std::vector<std::string> copies = TemplateCopies();
    ASSERT_TRUE(Convert(copies, "pdf")) << Log();
    std::map<std::string, int> pages;
    for (const char* name : kTemplates) {
        CVCF1 form;
        Load(form, Template(name));
        pages[name] = PdfPages(ReadBytes(dir_.File(std::string("out/") + name + ".pdf")));
        EXPECT_EQ(pages[name], form.GetNumSheets()) << name;
    }
    for (const char* set : {"MWST%seff", "MWST%spau", "_MWST%seff", "_MWST%spau"}) {
        const std::string of2018 = Format(set, "2018"), of2024 = Format(set, "2024");
        EXPECT_EQ(pages[of2018], pages[of2024]) << of2018;
    }
}

class LibreOfficeOnDemo : public LibreOffice {
protected:
    void SetUp() override {
        LibreOffice::SetUp();
        if (IsSkipped()) return;
        for (const char* tree : {"plain", "saved"})
            ASSERT_EQ(Program("mwst-mandant", "demo " + dir_.File(tree)), 0) << tree;
    }
    std::string Bakery(const char* tree) const { return dir_.File(std::string(tree) + "/baeckerei-mueller"); }
    int Batch(const std::string& command, const std::string& mandate) {
        return Program("mwst-batch", command + " --yes " + mandate);
    }
};

// A demo workbook as the conversion leaves it opens in LibreOffice with its
// sheets, formulas and version, and without error values on the form sheets.
TEST_F(LibreOfficeOnDemo, ConvertedWorkbookOpensWithoutErrorValues) {
    const std::string bakery = Bakery("plain");
    ASSERT_EQ(Batch("insert-keys", bakery), 0);
    fs::create_directories(dir_.File("in"));
    fs::copy_file(bakery + "/MWSTFORM.VTS", dir_.File("in/extended2018.vts"));
    ASSERT_EQ(Batch("form-2024", bakery), 0);
    fs::copy_file(bakery + "/MWSTFORM.VTS", dir_.File("in/activated2024.vts"));
    ASSERT_TRUE(Convert({dir_.File("in/extended2018.vts"), dir_.File("in/activated2024.vts")}, "xlsx")) << Log();
    for (const char* name : {"extended2018", "activated2024"}) {
        SCOPED_TRACE(name);
        CVCF1 ours, saved;
        Load(ours, dir_.File(std::string("in/") + name + ".vts"));
        Load(saved, dir_.File(std::string("out/") + name + ".xlsx"));
        ASSERT_NO_FATAL_FAILURE(ExpectSheetsAndFormulasKept(ours, saved));
        for (long s = 1; s <= 4; ++s) {
            // As LibreOffice showed the sheet: zeros as 0.00. It keeps one zero
            // display for the whole document, the active sheet's, and does not
            // take the formula display from the file (Excel keeps both per sheet).
            pugi::xml_document part;
            ASSERT_TRUE(part.load_string(SheetPart(dir_.File(std::string("out/") + name + ".xlsx"), s).c_str()));
            const pugi::xml_node view = part.document_element().child("sheetViews").child("sheetView");
            EXPECT_STREQ(view.attribute("showZeros").value(), "true") << "sheet " << s;
            if (s < 4) {
                EXPECT_STREQ(view.attribute("showFormulas").value(), "false") << "sheet " << s;
            }
            for (const auto& [pos, cell] : ours.GetWorkbook().SheetAt(s).Cells()) {
                if (cell.kind == Cell::Kind::Formula && s < 4) {
                    EXPECT_FALSE(IsErrorValue(saved.GetWorkbook().SheetAt(s).Find(pos)->cachedText))
                        << "sheet " << s << " row " << pos.row;
                }
            }
        }
    }
}

// The workbook opened and saved in LibreOffice for real, then insert-keys:
// the same formulas as on the untouched workbook.
TEST_F(LibreOfficeOnDemo, InsertionAfterASaveInLibreOfficeGivesTheSameFormulas) {
    const std::string saved = Bakery("saved");
    ASSERT_TRUE(Convert(saved + "/MWSTFORM.VTS", "xlsx")) << Log();
    fs::copy_file(dir_.File("out/MWSTFORM.xlsx"), saved + "/MWSTFORM.VTS", fs::copy_options::overwrite_existing);
    ASSERT_NE(formstest::MappingRows(saved + "/MWSTFORM.VTS"), formstest::MappingRows(Bakery("plain") + "/MWSTFORM.VTS"))
        << "LibreOffice wrote the names in lower case";

    ASSERT_EQ(Batch("insert-keys", Bakery("plain")), 0);
    ASSERT_EQ(Batch("insert-keys", saved), 0);
    const auto plainRows = formstest::MappingRows(Bakery("plain") + "/MWSTFORM.VTS");
    const auto savedRows = formstest::MappingRows(saved + "/MWSTFORM.VTS");
    const std::set<std::string> ids = formstest::TaxIds(saved);
    ASSERT_EQ(savedRows.size(), plainRows.size());
    for (std::size_t row = 0; row < plainRows.size(); ++row)
        for (std::size_t col = 1; col < 3; ++col)
            EXPECT_TRUE(formstest::Alike(savedRows[row][col], plainRows[row][col], ids))
                << "row " << row + 1 << ": " << savedRows[row][col] << " against " << plainRows[row][col];
}

}  // namespace

// The mapping sheet as the program writes it, and as the template has it, is
// protected against inserting and deleting rows and columns (which would
// rename its key names), and the protection survives a save in LibreOffice;
// the other sheets stay open. Its cells stay unlocked there, so that LibreOffice
// lets the user type, fill and format them under the protection.
TEST_F(LibreOfficeOnDemo, MappingSheetProtectionSurvivesALibreOfficeSave) {
    ASSERT_EQ(Batch("insert-keys", Bakery("plain")), 0);
    const std::string form = Bakery("plain") + "/MWSTFORM.VTS";
    std::filesystem::create_directory(dir_.File("in"));
    const std::string copy = dir_.File("in/form.vts");
    std::filesystem::copy_file(form, copy);
    const std::string templateCopy = dir_.File("in/MWST2024eff.vts");
    std::filesystem::copy_file(Template("MWST2024eff"), templateCopy);
    ASSERT_TRUE(Convert({copy, templateCopy}, "xlsx")) << Log();
    for (const std::string& path : {form, dir_.File("out/form.xlsx"), dir_.File("out/MWST2024eff.xlsx")}) {
        CVCF1 vcf;
        Load(vcf, path);
        ASSERT_EQ(vcf.GetSheetName(4), "Zuordnung") << path;
        for (long sheet = 1; sheet <= vcf.GetNumSheets(); ++sheet) {
            vcf.SetSheet(sheet);
            EXPECT_EQ(vcf.GetProtectStructure(), sheet == 4) << path << " sheet " << sheet;
        }
    }
    for (const char* saved : {"out/form.xlsx", "out/MWST2024eff.xlsx"}) {
        SCOPED_TRACE(saved);
        const std::string mapping = SheetPart(dir_.File(saved), 4);
        EXPECT_NE(mapping.find("<c "), std::string::npos) << mapping;
        EXPECT_EQ(LockedCells(mapping, Unzip(dir_.File(saved))["xl/styles.xml"]), std::vector<std::string>());
        // What LibreOffice wrote, read with the schema's defaults: an action
        // missing from sheetProtection is refused.
        pugi::xml_document part;
        ASSERT_TRUE(part.load_string(mapping.c_str()));
        const pugi::xml_node protection = part.document_element().child("sheetProtection");
        EXPECT_TRUE(protection.attribute("sheet").as_bool()) << mapping;
        for (const char* action : {"insertRows", "insertColumns", "deleteRows", "deleteColumns"})
            EXPECT_TRUE(protection.attribute(action).as_bool(true)) << action << " allowed: " << mapping;
    }
}
