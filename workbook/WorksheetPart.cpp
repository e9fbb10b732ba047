#include "workbook/WorksheetPart.h"

#include <pugixml.hpp>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "workbook/CellRef.h"
#include "workbook/NumberText.h"
#include "workbook/OoxmlEdit.h"
#include "workbook/OoxmlNames.h"
#include "workbook/Sheet.h"
#include "workbook/SheetViewXml.h"
#include "workbook/UnlockedFormats.h"
#include "workbook/XmlText.h"

namespace ooxml {
namespace {

using edit::Bool;
using edit::Ensure;
using edit::Integer;
using edit::kSheetViewOrder;
using edit::kWorksheetOrder;
using edit::NewRoot;
using edit::Parse;
using edit::PrefixOf;
using edit::Set;
using xmltext::Attribute;
using xmltext::Child;
using xmltext::LocalName;
using xmltext::Serialize;
using xmltext::SetText;

struct SourceRow {
    pugi::xml_node row;
    std::map<long, pugi::xml_node> cells;  // by column
};

// The rows and cells of a sheet part by position, with the reader's rule for
// rows and cells that carry no reference.
std::map<long, SourceRow> SourceCells(pugi::xml_node sheetData) {
    std::map<long, SourceRow> rows;
    long rowIndex = 0;
    for (pugi::xml_node row : sheetData.children()) {
        if (row.type() != pugi::node_element || LocalName(row.name()) != "row") continue;
        if (pugi::xml_attribute r = Attribute(row, "r"))
            rowIndex = Integer(r.value()).value_or(rowIndex + 1);
        else
            ++rowIndex;
        SourceRow& source = rows[rowIndex];
        source.row = row;
        long colIndex = 0;
        for (pugi::xml_node c : row.children()) {
            if (c.type() != pugi::node_element || LocalName(c.name()) != "c") continue;
            std::optional<CellPos> pos;
            if (pugi::xml_attribute ref = Attribute(c, "r")) pos = cellref::Parse(ref.value());
            colIndex = pos ? pos->col : colIndex + 1;
            source.cells[colIndex] = c;
        }
    }
    return rows;
}

// Formats of whole rows and columns: a cell that is new in the file takes the
// one of its row, else the one of its column, as a spreadsheet program does
// for a value typed into an empty cell.
struct LineFormats {
    std::map<long, int> rows;
    std::vector<std::tuple<long, long, int>> cols;  // min, max, format

    int For(CellPos pos) const {
        if (auto row = rows.find(pos.row); row != rows.end()) return row->second;
        for (const auto& [min, max, format] : cols)
            if (pos.col >= min && pos.col <= max) return format;
        return 0;
    }
};

LineFormats ReadLineFormats(pugi::xml_node worksheet, const std::map<long, SourceRow>& rows) {
    LineFormats formats;
    for (const auto& [index, source] : rows) {
        std::string_view custom = Attribute(source.row, "customFormat").value();
        if (custom != "1" && custom != "true") continue;
        if (auto s = Integer(Attribute(source.row, "s").value()); s && *s > 0)
            formats.rows[index] = static_cast<int>(*s);
    }
    for (pugi::xml_node col : Child(worksheet, "cols").children()) {
        if (col.type() != pugi::node_element || LocalName(col.name()) != "col") continue;
        auto min = Integer(Attribute(col, "min").value());
        auto max = Integer(Attribute(col, "max").value());
        auto style = Integer(Attribute(col, "style").value());
        if (min && max && style && *style > 0) formats.cols.emplace_back(*min, *max, static_cast<int>(*style));
    }
    return formats;
}

// Format 0 goes without "s", as OOXML reads a cell without one, except on a
// protected sheet (`unlocked`), where every cell names an unlocked format.
void SetFormat(pugi::xml_node c, int format, UnlockedFormats* unlocked) {
    if (unlocked && unlocked->Has(format))
        Set(c, "s", std::to_string(unlocked->For(format)));
    else if (format == 0)
        c.remove_attribute("s");
    else
        Set(c, "s", std::to_string(format));
}

// A cell as the model holds it. A formula keeps the attributes its formula
// element had in the file (an array formula stays one), never its result.
void WriteContent(pugi::xml_node c, const std::string& prefix, const Cell& cell, pugi::xml_node sourceFormula) {
    switch (cell.kind) {
    case Cell::Kind::Text:
        c.append_attribute("t") = "inlineStr";
        SetText(c.append_child((prefix + "is").c_str()).append_child((prefix + "t").c_str()),
                xmltext::EncodeXstring(cell.text));
        break;
    case Cell::Kind::Number:
        c.append_child((prefix + "v").c_str()).text() = numbertext::Exact(cell.number).c_str();
        break;
    case Cell::Kind::Formula: {
        pugi::xml_node f = c.append_child((prefix + "f").c_str());
        const bool shared = std::string_view(Attribute(sourceFormula, "t").value()) == "shared";
        for (pugi::xml_attribute attr : sourceFormula.attributes()) {
            std::string_view name = LocalName(attr.name());
            if (shared && (name == "t" || name == "ref" || name == "si")) continue;
            f.append_attribute(attr.name()) = attr.value();
        }
        SetText(f, cell.text);
        break;
    }
    case Cell::Kind::Empty:
        break;
    }
}

void WriteSheetData(pugi::xml_node worksheet, const Sheet& sheet, UnlockedFormats* unlocked) {
    const std::string prefix = PrefixOf(worksheet);
    pugi::xml_node old = Child(worksheet, "sheetData");
    std::map<long, SourceRow> source = old ? SourceCells(old) : std::map<long, SourceRow>();
    const LineFormats lineFormats = ReadLineFormats(worksheet, source);
    static const std::map<CellPos, Cell> kNone;
    const std::map<CellPos, Cell>& asRead = sheet.Origin() ? sheet.Origin()->cells : kNone;

    std::set<CellPos> positions;
    for (const auto& [pos, cell] : sheet.Cells()) positions.insert(pos);
    for (const auto& [pos, format] : sheet.Formats()) positions.insert(pos);
    std::set<long> rows;
    for (const CellPos& pos : positions) rows.insert(pos.row);
    // Rows that carry a height or a format of their own stay, even without cells.
    for (const auto& [index, row] : source) {
        for (pugi::xml_attribute attr : row.row.attributes()) {
            std::string_view name = LocalName(attr.name());
            if (name != "r" && name != "spans") {
                rows.insert(index);
                break;
            }
        }
    }

    pugi::xml_node data = old ? worksheet.insert_child_before((prefix + "sheetData").c_str(), old)
                              : Ensure(worksheet, "sheetData", kWorksheetOrder);
    auto nextPos = positions.begin();
    for (long rowIndex : rows) {
        pugi::xml_node row = data.append_child((prefix + "row").c_str());
        row.append_attribute("r") = rowIndex;
        auto sourceRow = source.find(rowIndex);
        if (sourceRow != source.end()) {
            // "spans" is only a hint for the cells the row had; it may not fit now.
            for (pugi::xml_attribute attr : sourceRow->second.row.attributes()) {
                std::string_view name = LocalName(attr.name());
                if (name != "r" && name != "spans") row.append_attribute(attr.name()) = attr.value();
            }
        }
        for (; nextPos != positions.end() && nextPos->row == rowIndex; ++nextPos) {
            const CellPos pos = *nextPos;
            const Cell* cell = sheet.Find(pos);
            pugi::xml_node original;
            if (sourceRow != source.end()) {
                auto found = sourceRow->second.cells.find(pos.col);
                if (found != sourceRow->second.cells.end()) original = found->second;
            }
            auto read = asRead.find(pos);
            const bool unchanged = cell ? read != asRead.end() && read->second == *cell && cell->kind != Cell::Kind::Formula
                                        : read == asRead.end();
            if (original && unchanged) {
                // As it came: shared strings with their runs, booleans, errors.
                SetFormat(row.append_copy(original), sheet.Format(pos), unlocked);
                continue;
            }
            pugi::xml_node c = row.append_child((prefix + "c").c_str());
            c.append_attribute("r") = cellref::Format(pos).c_str();
            SetFormat(c, original || sheet.Format(pos) != 0 ? sheet.Format(pos) : lineFormats.For(pos), unlocked);
            if (cell) WriteContent(c, prefix, *cell, Child(original, "f"));
        }
    }
    if (old) worksheet.remove_child(old);
}

// The used range for the dimension element, "A1" for an empty sheet.
std::string UsedRange(const Sheet& sheet) {
    long top = 0, left = 0, bottom = 0, right = 0;
    auto widen = [&](CellPos pos) {
        if (top == 0 || pos.row < top) top = pos.row;
        if (left == 0 || pos.col < left) left = pos.col;
        bottom = std::max(bottom, pos.row);
        right = std::max(right, pos.col);
    };
    for (const auto& [pos, cell] : sheet.Cells()) widen(pos);
    for (const auto& [pos, format] : sheet.Formats()) widen(pos);
    if (top == 0) return "A1";
    const std::string from = cellref::Format({top, left});
    const std::string to = cellref::Format({bottom, right});
    return from == to ? from : from + ":" + to;
}

// The selection the reader takes, or a new one.
pugi::xml_node SelectionOf(pugi::xml_node view) {
    pugi::xml_node chosen = sheetviewxml::ActiveSelection(view);
    return chosen ? chosen : Ensure(view, "selection", kSheetViewOrder);
}

// Whether a spreadsheet program shows formulas instead of values, and zeros,
// is the file's own choice: the template's (amounts of 0.00 on the printed
// form, the key sums on the mapping sheet) or the user's. The control's
// ShowFormulas and ShowZeroValues, which the program switches on every load
// and save, live in our view part; they set a sheet view only when the sheet
// gets its first one (a workbook built from text, a new sheet).
void WriteDisplayChoice(pugi::xml_node view, const ViewProperties& v) {
    Set(view, "showFormulas", Bool(v.Get(ViewProp::ShowFormulas)));
    Set(view, "showZeros", Bool(v.Get(ViewProp::ShowZeroValues)));
}

// The first sheet view gets what the model holds; zoom, panes and whatever
// else the view has stay.
void WriteSheetView(pugi::xml_node worksheet, const Sheet& sheet, bool active) {
    const ViewProperties& v = sheet.View();
    pugi::xml_node views = Ensure(worksheet, "sheetViews", kWorksheetOrder);
    pugi::xml_node view = Child(views, "sheetView");
    if (!view) {
        view = views.append_child((PrefixOf(worksheet) + "sheetView").c_str());
        WriteDisplayChoice(view, v);
    }
    Set(view, "tabSelected", Bool(active));
    Set(view, "showGridLines", Bool(v.Get(ViewProp::ShowGridLines)));
    Set(view, "showRowColHeaders", Bool(v.Get(ViewProp::ShowRowHeading) || v.Get(ViewProp::ShowColHeading)));
    if (!view.attribute("workbookViewId")) view.append_attribute("workbookViewId") = 0;
    pugi::xml_node selection = SelectionOf(view);
    Set(selection, "activeCell", cellref::Format(cellref::FirstCell(sheet.Selection())));
    Set(selection, "sqref", cellref::ToSqref(sheet.Selection()));
    // The active cell is the first of the selection's ranges.
    if (selection.attribute("activeCellId")) Set(selection, "activeCellId", "0");
}

// No password: the protection guards against an accident, not against the
// user. Formatting and editing cells stay allowed (the cells are written with
// unlocked formats, UnlockedFormats); inserting, deleting and sorting do not.
void ProtectStructure(pugi::xml_node worksheet) {
    pugi::xml_node protection = Ensure(worksheet, "sheetProtection", kWorksheetOrder);
    for (const char* name : {"password", "algorithmName", "hashValue", "saltValue", "spinCount"})
        protection.remove_attribute(name);
    for (const auto& [name, value] :
         {std::pair{"sheet", "1"}, {"objects", "0"}, {"scenarios", "0"}, {"formatCells", "0"},
          {"formatColumns", "0"}, {"formatRows", "0"}, {"insertColumns", "1"}, {"insertRows", "1"},
          {"insertHyperlinks", "0"}, {"deleteColumns", "1"}, {"deleteRows", "1"}, {"selectLockedCells", "0"},
          {"sort", "1"}, {"autoFilter", "0"}, {"pivotTables", "0"}, {"selectUnlockedCells", "0"}})
        Set(protection, name, value);
}

}  // namespace

std::string WorksheetPart(const Sheet& sheet, bool active, const std::string& part, UnlockedFormats* unlocked) {
    pugi::xml_document doc;
    pugi::xml_node root;
    if (sheet.Origin() && !sheet.Origin()->xml.empty()) {
        root = Parse(doc, sheet.Origin()->xml, part);
    } else {
        root = NewRoot(doc, "worksheet", kMainNs);
        root.append_attribute("xmlns:r") = std::string(kRelNs).c_str();
    }
    if (pugi::xml_node dimension = Child(root, "dimension")) Set(dimension, "ref", UsedRange(sheet));
    WriteSheetView(root, sheet, active);
    WriteSheetData(root, sheet, unlocked);
    if (sheet.StructureProtected()) ProtectStructure(root);
    return Serialize(doc);
}

}  // namespace ooxml
