#include "forms/vcf/OoxmlWriter.h"

#include <pugixml.hpp>

#include "forms/vcf/CellRef.h"
#include "forms/vcf/NumberText.h"
#include "forms/vcf/OoxmlNames.h"
#include "forms/vcf/Workbook.h"
#include "forms/vcf/XmlText.h"
#include "forms/vcf/ZipArchive.h"

namespace ooxml {
namespace {

using xmltext::Serialize;
using xmltext::SetText;

std::string SheetPart(long index) { return "xl/worksheets/sheet" + std::to_string(index) + ".xml"; }
std::string RelId(long n) { return "rId" + std::to_string(n); }
const char* Bool(bool v) { return v ? "1" : "0"; }

pugi::xml_node Root(pugi::xml_document& doc, const char* name, std::string_view ns) {
    pugi::xml_node root = doc.append_child(name);
    root.append_attribute("xmlns") = std::string(ns).c_str();
    return root;
}

void AddRelationship(pugi::xml_node rels, const std::string& id, std::string_view type, const std::string& target) {
    pugi::xml_node rel = rels.append_child("Relationship");
    rel.append_attribute("Id") = id.c_str();
    rel.append_attribute("Type") = std::string(type).c_str();
    rel.append_attribute("Target") = target.c_str();
}

void AddOverride(pugi::xml_node types, const std::string& part, std::string_view type) {
    pugi::xml_node o = types.append_child("Override");
    o.append_attribute("PartName") = ("/" + part).c_str();
    o.append_attribute("ContentType") = std::string(type).c_str();
}

std::string ContentTypes(const Workbook& wb) {
    pugi::xml_document doc;
    pugi::xml_node types = Root(doc, "Types", kContentTypesNs);
    pugi::xml_node rels = types.append_child("Default");
    rels.append_attribute("Extension") = "rels";
    rels.append_attribute("ContentType") = std::string(kTypeRels).c_str();
    pugi::xml_node xml = types.append_child("Default");
    xml.append_attribute("Extension") = "xml";
    xml.append_attribute("ContentType") = "application/xml";
    AddOverride(types, std::string(kPartWorkbook), kTypeWorkbook);
    for (long i = 1; i <= wb.SheetCount(); ++i) AddOverride(types, SheetPart(i), kTypeWorksheet);
    AddOverride(types, std::string(kPartStyles), kTypeStyles);
    AddOverride(types, std::string(kPartView), kTypeView);
    return Serialize(doc);
}

std::string RootRels() {
    pugi::xml_document doc;
    pugi::xml_node rels = Root(doc, "Relationships", kPackageRelNs);
    AddRelationship(rels, "rId1", kRelOfficeDocument, std::string(kPartWorkbook));
    return Serialize(doc);
}

// Sheets are rId1..rIdN, then styles and our view part.
std::string WorkbookRels(const Workbook& wb) {
    pugi::xml_document doc;
    pugi::xml_node rels = Root(doc, "Relationships", kPackageRelNs);
    long n = wb.SheetCount();
    for (long i = 1; i <= n; ++i)
        AddRelationship(rels, RelId(i), kRelWorksheet, "worksheets/sheet" + std::to_string(i) + ".xml");
    AddRelationship(rels, RelId(n + 1), kRelStyles, "styles.xml");
    AddRelationship(rels, RelId(n + 2), kRelView, "mwstView.xml");
    return Serialize(doc);
}

std::string WorkbookPart(const Workbook& wb) {
    pugi::xml_document doc;
    pugi::xml_node root = Root(doc, "workbook", kMainNs);
    root.append_attribute("xmlns:r") = std::string(kRelNs).c_str();
    pugi::xml_node view = root.append_child("bookViews").append_child("workbookView");
    view.append_attribute("activeTab") = wb.ActiveSheet() - 1;
    view.append_attribute("showSheetTabs") = Bool(wb.SheetAt(wb.ActiveSheet()).View().Get(ViewProp::ShowTabs) != 0);
    pugi::xml_node sheets = root.append_child("sheets");
    for (long i = 1; i <= wb.SheetCount(); ++i) {
        pugi::xml_node sheet = sheets.append_child("sheet");
        sheet.append_attribute("name") = wb.SheetAt(i).Name().c_str();
        sheet.append_attribute("sheetId") = i;
        sheet.append_attribute("r:id") = RelId(i).c_str();
    }
    if (!wb.DefinedNames().empty()) {
        pugi::xml_node names = root.append_child("definedNames");
        for (const auto& [name, definition] : wb.DefinedNames()) {
            pugi::xml_node defined = names.append_child("definedName");
            defined.append_attribute("name") = name.c_str();
            SetText(defined, definition);
        }
    }
    return Serialize(doc);
}

void AddSheetView(pugi::xml_node worksheet, const Sheet& sheet, bool active) {
    const ViewProperties& v = sheet.View();
    pugi::xml_node view = worksheet.append_child("sheetViews").append_child("sheetView");
    view.append_attribute("tabSelected") = Bool(active);
    view.append_attribute("showGridLines") = Bool(v.Get(ViewProp::ShowGridLines));
    view.append_attribute("showRowColHeaders") =
        Bool(v.Get(ViewProp::ShowRowHeading) || v.Get(ViewProp::ShowColHeading));
    view.append_attribute("showFormulas") = Bool(v.Get(ViewProp::ShowFormulas));
    view.append_attribute("showZeros") = Bool(v.Get(ViewProp::ShowZeroValues));
    view.append_attribute("workbookViewId") = 0;
    pugi::xml_node selection = view.append_child("selection");
    selection.append_attribute("activeCell") = cellref::Format(cellref::FirstCell(sheet.Selection())).c_str();
    selection.append_attribute("sqref") = cellref::ToSqref(sheet.Selection()).c_str();
}

void AddCell(pugi::xml_node row, CellPos pos, const Cell& cell) {
    pugi::xml_node c = row.append_child("c");
    c.append_attribute("r") = cellref::Format(pos).c_str();
    switch (cell.kind) {
    case Cell::Kind::Text:
        c.append_attribute("t") = "inlineStr";
        SetText(c.append_child("is").append_child("t"), xmltext::EncodeXstring(cell.text));
        break;
    case Cell::Kind::Number:
        c.append_child("v").text() = numbertext::Exact(cell.number).c_str();
        break;
    case Cell::Kind::Formula:
        if (cell.cached == Cell::Cached::Text) c.append_attribute("t") = "str";
        SetText(c.append_child("f"), cell.text);
        if (cell.cached == Cell::Cached::Text)
            SetText(c.append_child("v"), xmltext::EncodeXstring(cell.cachedText));
        else if (cell.cached == Cell::Cached::Number)
            c.append_child("v").text() = numbertext::Exact(cell.number).c_str();
        break;
    case Cell::Kind::Empty:
        break;
    }
}

std::string WorksheetPart(const Sheet& sheet, bool active) {
    pugi::xml_document doc;
    pugi::xml_node root = Root(doc, "worksheet", kMainNs);
    root.append_attribute("xmlns:r") = std::string(kRelNs).c_str();
    AddSheetView(root, sheet, active);
    pugi::xml_node data = root.append_child("sheetData");
    pugi::xml_node row;
    long rowIndex = 0;
    for (const auto& [pos, cell] : sheet.Cells()) {
        if (pos.row != rowIndex) {
            rowIndex = pos.row;
            row = data.append_child("row");
            row.append_attribute("r") = rowIndex;
        }
        AddCell(row, pos, cell);
    }
    return Serialize(doc);
}

// The smallest style sheet LibreOffice and Excel accept: one font, the two
// mandatory fills, one border, one cell format.
std::string StylesPart() {
    pugi::xml_document doc;
    pugi::xml_node root = Root(doc, "styleSheet", kMainNs);
    pugi::xml_node fonts = root.append_child("fonts");
    fonts.append_attribute("count") = 1;
    pugi::xml_node font = fonts.append_child("font");
    font.append_child("sz").append_attribute("val") = 10;
    font.append_child("name").append_attribute("val") = "Arial";
    pugi::xml_node fills = root.append_child("fills");
    fills.append_attribute("count") = 2;
    fills.append_child("fill").append_child("patternFill").append_attribute("patternType") = "none";
    fills.append_child("fill").append_child("patternFill").append_attribute("patternType") = "gray125";
    pugi::xml_node borders = root.append_child("borders");
    borders.append_attribute("count") = 1;
    pugi::xml_node border = borders.append_child("border");
    for (const char* side : {"left", "right", "top", "bottom", "diagonal"}) border.append_child(side);
    for (const char* list : {"cellStyleXfs", "cellXfs"}) {
        pugi::xml_node xfs = root.append_child(list);
        xfs.append_attribute("count") = 1;
        pugi::xml_node xf = xfs.append_child("xf");
        for (const char* attr : {"numFmtId", "fontId", "fillId", "borderId"}) xf.append_attribute(attr) = 0;
        if (std::string_view(list) == "cellXfs") xf.append_attribute("xfId") = 0;
    }
    pugi::xml_node styles = root.append_child("cellStyles");
    styles.append_attribute("count") = 1;
    pugi::xml_node normal = styles.append_child("cellStyle");
    normal.append_attribute("name") = "Normal";
    normal.append_attribute("xfId") = 0;
    normal.append_attribute("builtinId") = 0;
    return Serialize(doc);
}

// Every view property and the exact selection text of each sheet, by position.
std::string ViewPart(const Workbook& wb) {
    pugi::xml_document doc;
    pugi::xml_node root = Root(doc, "mwstView", kViewNs);
    for (long i = 1; i <= wb.SheetCount(); ++i) {
        const Sheet& sheet = wb.SheetAt(i);
        pugi::xml_node node = root.append_child("sheet");
        node.append_attribute("index") = i;
        node.append_attribute("selection") = sheet.Selection().c_str();
        for (const auto& info : ViewProperties::All())
            node.append_attribute(std::string(info.name).c_str()) = sheet.View().Get(info.prop);
    }
    return Serialize(doc);
}

}  // namespace

std::string WritePackage(const Workbook& wb) {
    ZipWriter zip;
    zip.Add(std::string(kPartContentTypes), ContentTypes(wb));
    zip.Add(std::string(kPartRootRels), RootRels());
    zip.Add(std::string(kPartWorkbook), WorkbookPart(wb));
    zip.Add(std::string(kPartWorkbookRels), WorkbookRels(wb));
    for (long i = 1; i <= wb.SheetCount(); ++i)
        zip.Add(SheetPart(i), WorksheetPart(wb.SheetAt(i), i == wb.ActiveSheet()));
    zip.Add(std::string(kPartStyles), StylesPart());
    zip.Add(std::string(kPartView), ViewPart(wb));
    return zip.Finish();
}

}  // namespace ooxml
