// What the control does not model survives a read and a write: the parts of a
// workbook as LibreOffice saves it with column widths, row heights, bold text,
// number formats, merged cells, print settings, a zoomed view with a frozen
// pane, a print area, rich text and document properties. Only what the program
// sets changes: the view properties, the cells it changed, the names, and the
// flag that has the file recalculated when it is opened.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <map>
#include <set>

#include "workbook/CVCF1.h"
#include "workbook/CellFormats.h"
#include "workbook/Workbook.h"
#include "workbook/XmlText.h"
#include "workbook/ZipArchive.h"
#include "tests/workbook/WorkbookFiles.h"

namespace {

using namespace workbooktest;

const std::string kDecl = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)" "\n";
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

// The parts LibreOffice Calc 7.4 writes for a sheet "Ziffern" with a bold title
// in A1, "verbunden" merged over B1:C1, a formula and an amount formatted
// "#,##0.00" in row 2, an empty formatted cell B3, column widths, a custom row
// height, A4 landscape fitted to one page; trimmed where nothing depends on
// it, extended by what Excel adds (a print area, a drawing, a calculation
// chain, a frozen pane) and a second sheet.
Parts LibreOfficePackage() {
    Parts parts;
    parts["[Content_Types].xml"] =
        kDecl + R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
                R"(<Default Extension="xml" ContentType="application/xml"/>)"
                R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
                R"(<Default Extension="png" ContentType="image/png"/>)"
                R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
                R"(<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>)"
                R"(<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
                R"(<Override PartName="/xl/worksheets/sheet2.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
                R"(<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>)"
                R"(<Override PartName="/xl/calcChain.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml"/>)"
                R"(<Override PartName="/xl/drawings/drawing1.xml" ContentType="application/vnd.openxmlformats-officedocument.drawing+xml"/>)"
                R"(<Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>)"
                R"(<Override PartName="/docProps/app.xml" ContentType="application/vnd.openxmlformats-officedocument.extended-properties+xml"/>)"
                "\n</Types>";
    parts["_rels/.rels"] =
        kDecl + R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                R"(<Relationship Id="rId1" Type=")" + kRel + R"(officeDocument" Target="xl/workbook.xml"/>)"
                R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>)"
                R"(<Relationship Id="rId3" Type=")" + kRel + R"(extended-properties" Target="docProps/app.xml"/>)"
                "\n</Relationships>";
    parts["docProps/app.xml"] =
        kDecl + R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">)"
                R"(<Template></Template><TotalTime>2</TotalTime><Application>LibreOffice/7.4.7.2$Linux_X86_64</Application></Properties>)";
    parts["docProps/core.xml"] =
        kDecl + R"(<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" )"
                R"(xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:creator>Treuhand Muster</dc:creator><cp:revision>3</cp:revision></cp:coreProperties>)";
    parts["xl/_rels/workbook.xml.rels"] =
        kDecl + R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                R"(<Relationship Id="rId1" Type=")" + kRel + R"(styles" Target="styles.xml"/>)"
                R"(<Relationship Id="rId2" Type=")" + kRel + R"(worksheet" Target="worksheets/sheet1.xml"/>)"
                R"(<Relationship Id="rId3" Type=")" + kRel + R"(worksheet" Target="worksheets/sheet2.xml"/>)"
                R"(<Relationship Id="rId4" Type=")" + kRel + R"(sharedStrings" Target="sharedStrings.xml"/>)"
                R"(<Relationship Id="rId5" Type=")" + kRel + R"(calcChain" Target="calcChain.xml"/>)"
                "\n</Relationships>";
    parts["xl/workbook.xml"] =
        kDecl + R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r=")" +
        kRel.substr(0, kRel.size() - 1) +
        R"("><fileVersion appName="Calc"/><workbookPr backupFile="false" showObjects="all" date1904="false"/>)"
        R"(<workbookProtection/><bookViews><workbookView showHorizontalScroll="true" showVerticalScroll="true" )"
        R"(showSheetTabs="true" xWindow="0" yWindow="0" windowWidth="16384" windowHeight="8192" tabRatio="600" )"
        R"(firstSheet="0" activeTab="0"/></bookViews><sheets><sheet name="Ziffern" sheetId="1" state="visible" r:id="rId2"/>)"
        R"(<sheet name="Notizen" sheetId="2" state="hidden" r:id="rId3"/></sheets><definedNames>)"
        R"(<definedName function="false" hidden="false" localSheetId="0" name="_xlnm.Print_Area" vbProcedure="false">Ziffern!$A$1:$C$3</definedName>)"
        R"(<definedName function="false" hidden="false" name="VERSION" vbProcedure="false">2024</definedName></definedNames>)"
        R"(<calcPr iterateCount="100" refMode="A1" iterate="false" iterateDelta="0.001"/><extLst><ext xmlns:loext="http://schemas.libreoffice.org/" )"
        R"(uri="{7626C862-2A13-11E5-B345-FEFF819CDC9F}"><loext:extCalcPr stringRefSyntax="CalcA1ExcelA1"/></ext></extLst></workbook>)";
    parts["xl/worksheets/_rels/sheet1.xml.rels"] =
        kDecl + R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                R"(<Relationship Id="rId1" Type=")" + kRel + R"(drawing" Target="../drawings/drawing1.xml"/></Relationships>)";
    parts["xl/drawings/drawing1.xml"] =
        kDecl + R"(<xdr:wsDr xmlns:xdr="http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing"/>)";
    parts["xl/media/logo.png"] = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    parts["xl/calcChain.xml"] =
        kDecl + R"(<calcChain xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><c r="B2" i="1"/></calcChain>)";
    parts["xl/sharedStrings.xml"] =
        kDecl + R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="4" uniqueCount="4">)"
                R"(<si><t xml:space="preserve">Titel fett</t></si><si><t xml:space="preserve">verbunden</t></si>)"
                R"(<si><t xml:space="preserve">II_7_a</t></si><si><r><t>halb </t></r><r><rPr><b val="true"/></rPr><t>fett</t></r></si></sst>)";
    parts["xl/styles.xml"] =
        kDecl + R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts count="2">)"
                R"(<numFmt numFmtId="164" formatCode="General"/><numFmt numFmtId="165" formatCode="#,##0.00"/></numFmts>)"
                R"(<fonts count="2"><font><sz val="10"/><name val="DejaVu Sans"/><family val="2"/></font>)"
                R"(<font><b val="true"/><sz val="10"/><name val="DejaVu Sans"/><family val="2"/></font></fonts>)"
                R"(<fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills>)"
                R"(<borders count="1"><border diagonalUp="false" diagonalDown="false"><left/><right/><top/><bottom/><diagonal/></border></borders>)"
                R"(<cellStyleXfs count="1"><xf numFmtId="164" fontId="0" fillId="0" borderId="0"/></cellStyleXfs><cellXfs count="4">)"
                R"(<xf numFmtId="164" fontId="0" fillId="0" borderId="0" xfId="0"/><xf numFmtId="164" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="true"/>)"
                R"(<xf numFmtId="164" fontId="0" fillId="0" borderId="0" xfId="0"><alignment horizontal="center"/></xf>)"
                R"(<xf numFmtId="165" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>)"
                R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>)";
    parts["xl/worksheets/sheet1.xml"] =
        kDecl + R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r=")" +
        kRel.substr(0, kRel.size() - 1) +
        R"(" xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006"><sheetPr filterMode="false"><pageSetUpPr fitToPage="true"/></sheetPr>)"
        R"(<dimension ref="A1:E3"/><sheetViews><sheetView showFormulas="false" showGridLines="true" showRowColHeaders="true" )"
        R"(showZeros="true" rightToLeft="false" tabSelected="true" showOutlineSymbols="true" defaultGridColor="true" view="normal" )"
        R"(topLeftCell="A1" colorId="64" zoomScale="140" zoomScaleNormal="140" zoomScalePageLayoutView="60" workbookViewId="0">)"
        R"(<pane xSplit="0" ySplit="1" topLeftCell="A2" activePane="bottomLeft" state="frozen"/>)"
        R"(<selection pane="topLeft" activeCell="A1" activeCellId="0" sqref="A1"/>)"
        R"(<selection pane="bottomLeft" activeCell="B2" activeCellId="0" sqref="B2"/></sheetView></sheetViews>)"
        R"(<sheetFormatPr defaultColWidth="10.08203125" defaultRowHeight="12.8" zeroHeight="false" outlineLevelRow="0" outlineLevelCol="0"></sheetFormatPr>)"
        R"(<cols><col collapsed="false" customWidth="true" hidden="false" outlineLevel="0" max="1" min="1" style="0" width="22.32"/>)"
        R"(<col collapsed="false" customWidth="true" hidden="false" outlineLevel="0" max="3" min="2" style="3" width="11.16"/></cols>)"
        R"(<sheetData><row r="1" customFormat="false" ht="22.7" hidden="false" customHeight="true" outlineLevel="0" collapsed="false">)"
        R"(<c r="A1" s="1" t="s"><v>0</v></c><c r="B1" s="2" t="s"><v>1</v></c><c r="C1" s="2"/></row>)"
        R"(<row r="2" customFormat="false" ht="12.75" hidden="false" customHeight="false" outlineLevel="0" collapsed="false">)"
        R"(<c r="A2" s="0" t="s"><v>2</v></c><c r="B2" s="3" t="n"><f aca="false">usn81_st+VSN77</f><v>0</v></c>)"
        R"(<c r="C2" s="3" t="n"><v>1234.5</v></c><c r="D2" t="b"><v>1</v></c><c r="E2" s="1" t="s"><v>3</v></c></row>)"
        R"(<row r="3" customFormat="false" ht="12.75" hidden="false" customHeight="false" outlineLevel="0" collapsed="false">)"
        R"(<c r="B3" s="3"/></row><row r="9" customFormat="false" ht="30" hidden="false" customHeight="true" outlineLevel="0" collapsed="false"/>)"
        R"(</sheetData><mergeCells count="1"><mergeCell ref="B1:C1"/></mergeCells>)"
        R"(<printOptions headings="false" gridLines="false" gridLinesSet="true" horizontalCentered="false" verticalCentered="false"/>)"
        R"(<pageMargins left="0.7875" right="0.7875" top="1.575" bottom="1.575" header="0.7875" footer="0.7875"/>)"
        R"(<pageSetup paperSize="9" scale="100" fitToWidth="1" fitToHeight="1" pageOrder="downThenOver" orientation="landscape" )"
        R"(blackAndWhite="false" draft="false" cellComments="none" firstPageNumber="1" useFirstPageNumber="true" horizontalDpi="300" )"
        R"(verticalDpi="300" copies="1"/><headerFooter differentFirst="false" differentOddEven="false"><oddHeader>&amp;C&amp;A</oddHeader>)"
        R"(<oddFooter>Seite &amp;P</oddFooter></headerFooter><drawing r:id="rId1"/></worksheet>)";
    parts["xl/worksheets/sheet2.xml"] =
        kDecl + R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)"
                R"(<row r="1"><c r="A1" t="inlineStr"><is><t>Notiz</t></is></c></row></sheetData></worksheet>)";
    return parts;
}

// An element of a part, printed without formatting, for comparison.
std::string Xml(pugi::xml_node node) {
    std::ostringstream out;
    node.print(out, "", pugi::format_raw);
    return out.str();
}

class Lossless : public ::testing::Test {
protected:
    void SetUp() override {
        original = LibreOfficePackage();
        WriteBytes(dir.File("in.vts"), Zip(original));
        Load(vcf, dir.File("in.vts"));
    }

    Parts Written() {
        vcf.Write(dir.File("out.vts"), CVCF1::kFileTypeOoxml);
        return Unzip(dir.File("out.vts"));
    }

    pugi::xml_node Root(pugi::xml_document& doc, const std::string& xml) {
        EXPECT_TRUE(doc.load_string(xml.c_str(), pugi::parse_default | pugi::parse_ws_pcdata)) << xml;
        return doc.document_element();
    }

    // Every child of the original worksheet except those listed comes out unchanged, in order.
    void ExpectSameExcept(const std::string& before, const std::string& after, std::set<std::string> changed) {
        pugi::xml_document a, b;
        std::vector<std::string> left, right;
        for (pugi::xml_node child : Root(a, before).children())
            if (!changed.count(child.name())) left.push_back(Xml(child));
        for (pugi::xml_node child : Root(b, after).children())
            if (!changed.count(child.name())) right.push_back(Xml(child));
        EXPECT_EQ(left, right);
    }

    TempDir dir;
    Parts original;
    CVCF1 vcf;
};

TEST_F(Lossless, PartsTheModelDoesNotHoldStayByteForByte) {
    Parts written = Written();
    for (const char* part : {"_rels/.rels", "docProps/app.xml", "docProps/core.xml", "xl/styles.xml",
                             "xl/sharedStrings.xml", "xl/drawings/drawing1.xml", "xl/media/logo.png",
                             "xl/worksheets/_rels/sheet1.xml.rels"}) {
        ASSERT_TRUE(written.count(part)) << part;
        EXPECT_EQ(written[part], original[part]) << part;
    }
    std::set<std::string> names;
    for (const auto& [name, content] : written) names.insert(name);
    std::set<std::string> expected;
    for (const auto& [name, content] : original) expected.insert(name);
    expected.erase("xl/calcChain.xml");
    expected.insert("xl/mwstView.xml");
    EXPECT_EQ(names, expected) << "the calculation chain goes, our view part comes";
}

TEST_F(Lossless, WorksheetKeepsLayoutPrintSettingsAndUntouchedCells) {
    vcf.SetFormulaRC(2, 2, "USN81_ST+VSN77");
    Parts written = Written();
    const std::string before = original["xl/worksheets/sheet1.xml"];
    const std::string after = written["xl/worksheets/sheet1.xml"];
    ExpectSameExcept(before, after, {"sheetViews", "sheetData"});

    pugi::xml_document doc;
    pugi::xml_node data = Root(doc, after).child("sheetData");
    pugi::xml_node row1 = data.find_child_by_attribute("row", "r", "1");
    EXPECT_STREQ(row1.attribute("ht").value(), "22.7");
    EXPECT_STREQ(row1.attribute("customHeight").value(), "true");
    EXPECT_EQ(Xml(row1.find_child_by_attribute("c", "r", "A1")), R"(<c r="A1" s="1" t="s"><v>0</v></c>)");
    EXPECT_EQ(Xml(row1.find_child_by_attribute("c", "r", "C1")), R"(<c r="C1" s="2"/>)")
        << "a formatted empty cell stays";
    pugi::xml_node row2 = data.find_child_by_attribute("row", "r", "2");
    EXPECT_EQ(Xml(row2.find_child_by_attribute("c", "r", "B2")), R"(<c r="B2" s="3"><f aca="false">USN81_ST+VSN77</f></c>)")
        << "the changed formula keeps its format and carries no result";
    EXPECT_EQ(Xml(row2.find_child_by_attribute("c", "r", "C2")), R"(<c r="C2" s="3" t="n"><v>1234.5</v></c>)");
    EXPECT_EQ(Xml(row2.find_child_by_attribute("c", "r", "D2")), R"(<c r="D2" t="b"><v>1</v></c>)")
        << "a boolean stays a boolean";
    EXPECT_EQ(Xml(row2.find_child_by_attribute("c", "r", "E2")), R"(<c r="E2" s="1" t="s"><v>3</v></c>)")
        << "rich text stays in the shared strings";
    EXPECT_EQ(Xml(data.find_child_by_attribute("row", "r", "3").first_child()), R"(<c r="B3" s="3"/>)");
    EXPECT_STREQ(data.find_child_by_attribute("row", "r", "9").attribute("ht").value(), "30")
        << "a row with a height of its own stays without cells";
}

TEST_F(Lossless, SheetViewGetsTheViewPropertiesAndKeepsZoomAndPane) {
    vcf.SetShowGridLines(false);
    vcf.SetShowFormulas(true);
    vcf.SetShowZeroValues(false);
    vcf.SetSelection("C2:C3");
    Parts written = Written();
    pugi::xml_document before, after;
    pugi::xml_node oldView = Root(before, original["xl/worksheets/sheet1.xml"]).child("sheetViews").child("sheetView");
    pugi::xml_node view = Root(after, written["xl/worksheets/sheet1.xml"]).child("sheetViews").child("sheetView");
    EXPECT_STREQ(view.attribute("showGridLines").value(), "0");
    // Formulas and zeros are shown as the file had it; the control's switches
    // stay in our view part.
    EXPECT_STREQ(view.attribute("showFormulas").value(), oldView.attribute("showFormulas").value());
    EXPECT_STREQ(view.attribute("showZeros").value(), oldView.attribute("showZeros").value());
    EXPECT_STREQ(view.attribute("zoomScale").value(), "140");
    EXPECT_EQ(Xml(view.child("pane")), Xml(oldView.child("pane")));
    pugi::xml_node first = view.child("selection");
    EXPECT_EQ(Xml(first), Xml(oldView.child("selection")));
    EXPECT_STREQ(first.next_sibling("selection").attribute("sqref").value(), "C2:C3");
    EXPECT_EQ(first.next_sibling("selection").next_sibling("selection"), pugi::xml_node());

    CVCF1 again;
    Load(again, dir.File("out.vts"));
    EXPECT_EQ(again.GetSelection(), "C2:C3");
    EXPECT_EQ(again.GetViewProperty("ShowGridLines"), 0);
    EXPECT_EQ(again.GetViewProperty("ShowFormulas"), 1);
    EXPECT_EQ(again.GetViewProperty("ShowZeroValues"), 0);
}

TEST_F(Lossless, WorkbookPartKeepsSheetsNamesAndSettings) {
    vcf.SetDefinedName("NEU", "1");
    vcf.SetSheetName(1, "Formular");
    Parts written = Written();
    pugi::xml_document doc;
    pugi::xml_node root = Root(doc, written["xl/workbook.xml"]);
    EXPECT_STREQ(root.child("fileVersion").attribute("appName").value(), "Calc");
    EXPECT_TRUE(root.child("workbookProtection"));
    EXPECT_STREQ(root.child("bookViews").child("workbookView").attribute("windowWidth").value(), "16384");
    pugi::xml_node first = root.child("sheets").first_child();
    EXPECT_STREQ(first.attribute("name").value(), "Formular");
    EXPECT_STREQ(first.attribute("r:id").value(), "rId2");
    EXPECT_STREQ(first.next_sibling().attribute("state").value(), "hidden") << "a hidden sheet stays hidden";
    pugi::xml_node names = root.child("definedNames");
    EXPECT_STREQ(names.find_child_by_attribute("name", "_xlnm.Print_Area").text().get(), "Ziffern!$A$1:$C$3");
    EXPECT_STREQ(names.find_child_by_attribute("name", "VERSION").attribute("vbProcedure").value(), "false");
    EXPECT_STREQ(names.find_child_by_attribute("name", "NEU").text().get(), "1");
    pugi::xml_node calc = root.child("calcPr");
    EXPECT_STREQ(calc.attribute("fullCalcOnLoad").value(), "1");
    EXPECT_STREQ(calc.attribute("iterateCount").value(), "100");
    EXPECT_EQ(calc.next_sibling(), root.child("extLst"));
    EXPECT_EQ(written["xl/_rels/workbook.xml.rels"].find("calcChain"), std::string::npos);
    EXPECT_EQ(written["[Content_Types].xml"].find("calcChain"), std::string::npos);
}

TEST_F(Lossless, FormatsAreReadAndTextChangesKeepThem) {
    const Sheet& sheet = vcf.GetWorkbook().SheetAt(1);
    EXPECT_EQ(sheet.Format({1, 1}), 1);
    EXPECT_EQ(sheet.Format({3, 2}), 3) << "an empty cell's format";
    EXPECT_EQ(sheet.Format({2, 1}), 0);
    vcf.SetTextRC(1, 1, "Neuer Titel");
    vcf.SetNumberRC(5, 3, 7);  // a new cell in column C, formatted as a whole
    vcf.SetNumberRC(5, 1, 8);
    vcf.ClearRC(2, 3);
    Parts written = Written();
    pugi::xml_document doc;
    pugi::xml_node data = Root(doc, written["xl/worksheets/sheet1.xml"]).child("sheetData");
    EXPECT_EQ(Xml(data.find_child_by_attribute("row", "r", "1").first_child()),
              R"(<c r="A1" s="1" t="inlineStr"><is><t>Neuer Titel</t></is></c>)");
    pugi::xml_node row5 = data.find_child_by_attribute("row", "r", "5");
    EXPECT_EQ(Xml(row5.find_child_by_attribute("c", "r", "C5")), R"(<c r="C5" s="3"><v>7</v></c>)");
    EXPECT_EQ(Xml(row5.find_child_by_attribute("c", "r", "A5")), R"(<c r="A5"><v>8</v></c>)");
    EXPECT_EQ(Xml(data.find_child_by_attribute("row", "r", "2").find_child_by_attribute("c", "r", "C2")),
              R"(<c r="C2" s="3"/>)")
        << "an emptied cell keeps its format";
    pugi::xml_document top;
    EXPECT_STREQ(Root(top, written["xl/worksheets/sheet1.xml"]).child("dimension").attribute("ref").value(), "A1:E5");
}

TEST_F(Lossless, WritingTwiceGivesTheSameParts) {
    Parts once = Written();
    CVCF1 again;
    Load(again, dir.File("out.vts"));
    again.Write(dir.File("twice.vts"), CVCF1::kFileTypeOoxml);
    EXPECT_EQ(Unzip(dir.File("twice.vts")), once);
    // The same content, apart from the formula results that are not written.
    Workbook expected = vcf.GetWorkbook();
    Sheet& first = expected.SheetAt(1);
    Cell formula = *first.Find({2, 2});
    formula.cached = Cell::Cached::None;
    formula.number = 0;
    first.Put({2, 2}, formula);
    EXPECT_TRUE(again.GetWorkbook() == expected);
}

TEST_F(Lossless, SheetsAddedAndDropped) {
    vcf.SetNumSheets(3);
    Parts grown = Written();
    EXPECT_TRUE(grown.count("xl/worksheets/sheet3.xml"));
    EXPECT_NE(grown["[Content_Types].xml"].find("/xl/worksheets/sheet3.xml"), std::string::npos);
    CVCF1 back;
    Load(back, dir.File("out.vts"));
    EXPECT_EQ(back.GetNumSheets(), 3);
    EXPECT_EQ(back.GetSheetName(3), "Sheet3");

    vcf.SetNumSheets(1);
    Parts shrunk = Written();
    EXPECT_FALSE(shrunk.count("xl/worksheets/sheet2.xml"));
    EXPECT_FALSE(shrunk.count("xl/worksheets/sheet3.xml"));
    EXPECT_EQ(shrunk["[Content_Types].xml"].find("sheet2.xml"), std::string::npos);
    EXPECT_EQ(shrunk["xl/_rels/workbook.xml.rels"].find("sheet2.xml"), std::string::npos);
    EXPECT_NE(shrunk["xl/workbook.xml"].find("_xlnm.Print_Area"), std::string::npos) << "sheet 1 is still there";
    Load(back, dir.File("out.vts"));
    EXPECT_EQ(back.GetNumSheets(), 1);
}

// ---- Workbooks of our own ----------------------------------------------------------

TEST(OwnWorkbook, GetsTheBuiltInFormatsAndIsRecalculatedOnOpen) {
    TempDir dir;
    CVCF1 vcf;
    vcf.SetFormulaRC(1, 1, "B1*2");
    vcf.GetWorkbook().SheetAt(1).SetFormat({1, 1}, *cellformats::FromName("amount"));
    vcf.Write(dir.File("own.vts"), CVCF1::kFileTypeOoxml);
    Parts parts = Unzip(dir.File("own.vts"));
    EXPECT_EQ(parts["xl/styles.xml"], cellformats::StyleSheetXml());
    EXPECT_NE(parts["xl/styles.xml"].find("#,##0.00"), std::string::npos);
    EXPECT_NE(parts["xl/workbook.xml"].find(R"(<calcPr fullCalcOnLoad="1"/>)"), std::string::npos)
        << parts["xl/workbook.xml"];
    EXPECT_NE(parts["xl/worksheets/sheet1.xml"].find(R"(<c r="A1" s="3"><f>B1*2</f></c>)"), std::string::npos)
        << parts["xl/worksheets/sheet1.xml"];
    CVCF1 back;
    Load(back, dir.File("own.vts"));
    EXPECT_EQ(back.GetWorkbook().SheetAt(1).Format({1, 1}), 3);
}

TEST(OwnWorkbook, AFormulaReadWithAResultIsWrittenWithout) {
    TempDir dir;
    Parts parts = LibreOfficePackage();
    WriteBytes(dir.File("in.vts"), Zip(parts));
    CVCF1 vcf;
    Load(vcf, dir.File("in.vts"));
    EXPECT_EQ(vcf.GetTextRC(2, 2), "0") << "the result LibreOffice stored";
    vcf.SetNumberRC(2, 3, 99);  // B2 itself unchanged, but what it shows may be
    vcf.Write(dir.File("out.vts"), CVCF1::kFileTypeOoxml);
    pugi::xml_document doc;
    doc.load_string(Unzip(dir.File("out.vts"))["xl/worksheets/sheet1.xml"].c_str());
    pugi::xml_node b2 = doc.document_element().child("sheetData").find_child_by_attribute("row", "r", "2").find_child_by_attribute("c", "r", "B2");
    EXPECT_TRUE(b2.child("f"));
    EXPECT_FALSE(b2.child("v"));
    EXPECT_FALSE(b2.attribute("t"));
}

}  // namespace
