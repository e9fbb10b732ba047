#include "workbook/OoxmlWriter.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "base/CException.h"
#include "workbook/CellFormats.h"
#include "workbook/CellRef.h"
#include "workbook/NumberText.h"
#include "workbook/OoxmlNames.h"
#include "workbook/PackagePaths.h"
#include "workbook/SheetViewXml.h"
#include "workbook/Workbook.h"
#include "workbook/XmlText.h"
#include "workbook/ZipArchive.h"

// A workbook read from a file is written back into the parts it came from:
// every part the model does not hold stays as it was, and the workbook and
// worksheet parts are changed only where the model speaks (sheets and their
// names, active sheet, defined names, sheet views, cells and their formats).
// A workbook of our own starts from empty parts and the built-in style sheet.
//
// Formula results are never written: the tool changes formulas without being
// able to compute them, and a stored result would be shown as it is (LibreOffice
// keeps stored results on load even when asked to recalculate). Without one,
// LibreOffice computes every formula when it opens the file, and the workbook's
// fullCalcOnLoad flag makes Excel do the same.
namespace ooxml {
namespace {

using packagepaths::EndsWith;
using packagepaths::Folder;
using packagepaths::RelsPartOf;
using packagepaths::ResolveTarget;
using packagepaths::TargetFrom;
using xmltext::Attribute;
using xmltext::Child;
using xmltext::LocalName;
using xmltext::Serialize;
using xmltext::SetText;

using Parts = std::map<std::string, std::string>;

const char* Bool(bool v) { return v ? "1" : "0"; }

// Child element order of the workbook and worksheet parts (the schema's
// sequences): an element we add goes before the first sibling that must follow
// it, since Excel refuses parts whose elements are out of order.
constexpr std::string_view kWorkbookOrder[] = {
    "fileVersion", "fileSharing",   "workbookPr",         "AlternateContent", "revisionPtr", "absPath",
    "workbookProtection", "bookViews", "sheets",          "functionGroups",   "externalReferences",
    "definedNames", "calcPr",       "oleSize",            "customWorkbookViews", "pivotCaches", "smartTagPr",
    "smartTagTypes", "webPublishing", "fileRecoveryPr",   "webPublishObjects", "extLst"};
constexpr std::string_view kWorksheetOrder[] = {
    "sheetPr",       "dimension",      "sheetViews",   "sheetFormatPr",   "cols",          "sheetData",
    "sheetCalcPr",   "sheetProtection", "protectedRanges", "scenarios",   "autoFilter",    "sortState",
    "dataConsolidate", "customSheetViews", "mergeCells", "phoneticPr",    "conditionalFormatting",
    "dataValidations", "hyperlinks",   "printOptions", "pageMargins",     "pageSetup",     "headerFooter",
    "rowBreaks",     "colBreaks",      "customProperties", "cellWatches", "ignoredErrors", "smartTags",
    "drawing",       "legacyDrawing",  "legacyDrawingHF", "drawingHF",    "picture",       "oleObjects",
    "controls",      "webPublishItems", "tableParts",  "extLst"};
constexpr std::string_view kSheetViewOrder[] = {"pane", "selection", "pivotSelection", "extLst"};

template <size_t N>
int Rank(const std::string_view (&order)[N], std::string_view localName) {
    for (size_t i = 0; i < N; ++i)
        if (order[i] == localName) return static_cast<int>(i);
    return -1;
}

// "x:" when the element is written with the prefix "x", else "".
std::string PrefixOf(pugi::xml_node node) {
    std::string_view name = node.name();
    size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(name.substr(0, colon + 1));
}

// The parent's child of that local name; created in schema order when missing.
template <size_t N>
pugi::xml_node Ensure(pugi::xml_node parent, std::string_view localName, const std::string_view (&order)[N]) {
    if (pugi::xml_node existing = Child(parent, localName)) return existing;
    const int rank = Rank(order, localName);
    const std::string name = PrefixOf(parent) + std::string(localName);
    for (pugi::xml_node child : parent.children()) {
        if (child.type() != pugi::node_element) continue;
        if (Rank(order, LocalName(child.name())) > rank) return parent.insert_child_before(name.c_str(), child);
    }
    return parent.append_child(name.c_str());
}

void Set(pugi::xml_node node, const char* name, const std::string& value) {
    pugi::xml_attribute attr = node.attribute(name);
    if (!attr) attr = node.append_attribute(name);
    attr.set_value(value.c_str());
}

void ReplaceText(pugi::xml_node node, const std::string& text) {
    while (node.first_child()) node.remove_child(node.first_child());
    node.remove_attribute("xml:space");
    SetText(node, text);
}

std::optional<long> Integer(std::string_view text) {
    long value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// Parses a part we read before (or wrote ourselves); a failure here is a fault
// of ours, not of the file.
pugi::xml_node Parse(pugi::xml_document& doc, const std::string& xml, const std::string& part) {
    if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata))
        throw CFileException("cannot write the workbook: its part " + part + " cannot be parsed again");
    return doc.document_element();
}

pugi::xml_node NewRoot(pugi::xml_document& doc, const char* name, std::string_view ns) {
    pugi::xml_node root = doc.append_child(name);
    root.append_attribute("xmlns") = std::string(ns).c_str();
    return root;
}

// The qualified name of r:id on this root: the prefix bound to the
// relationships namespace, declared as "r" when there is none.
std::string RelIdAttribute(pugi::xml_node root) {
    for (pugi::xml_attribute attr : root.attributes()) {
        std::string_view name = attr.name();
        if (name.rfind("xmlns:", 0) == 0 && attr.value() == kRelNs) return std::string(name.substr(6)) + ":id";
    }
    std::string prefix = "r";
    while (root.attribute(("xmlns:" + prefix).c_str())) prefix += "r";
    root.append_attribute(("xmlns:" + prefix).c_str()) = std::string(kRelNs).c_str();
    return prefix + ":id";
}

// ---- Worksheets ------------------------------------------------------------------

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

bool IsTrue(std::string_view value) { return value == "1" || value == "true"; }

// The formats written for the cells of a sheet protected in its structure, so
// that each of them takes input. LibreOffice gives a cell without "s" its
// default cell style, which is locked whatever format 0 says; so every cell
// there names its format. A format that is locked (an xf without a protection
// element is locked) gives way to an unlocked twin, one the style sheet already
// has or one appended to it; the formats of the file stay as they are.
class UnlockedFormats {
public:
    UnlockedFormats(const std::string& xml, const std::string& part) {
        list_ = Child(Parse(doc_, xml, part), "cellXfs");
        for (pugi::xml_node xf : list_.children())
            if (xf.type() == pugi::node_element && LocalName(xf.name()) == "xf") xfs_.push_back(xf);
    }

    // Whether the style sheet has that format; an index it does not have is
    // written as it is, the file named it so.
    bool Has(int format) const { return format >= 0 && static_cast<size_t>(format) < xfs_.size(); }

    // The format a cell of format `format` (one the style sheet has) is written with.
    int For(int format) {
        const auto index = static_cast<size_t>(format);
        if (!Has(format) || Unlocked(xfs_[index])) return format;
        if (auto known = twins_.find(format); known != twins_.end()) return known->second;
        pugi::xml_document scratch;
        pugi::xml_node twin = scratch.append_copy(xfs_[index]);
        Unlock(twin);
        const std::string text = Text(twin);
        if (texts_.empty())
            for (pugi::xml_node xf : xfs_) texts_.push_back(Text(xf));
        auto same = std::find(texts_.begin(), texts_.end(), text);
        if (same == texts_.end()) {
            xfs_.push_back(list_.append_copy(twin));
            texts_.push_back(text);
            same = texts_.end() - 1;
            if (Attribute(list_, "count")) Set(list_, "count", std::to_string(xfs_.size()));
            changed_ = true;
        }
        return twins_[format] = static_cast<int>(same - texts_.begin());
    }

    bool Changed() const { return changed_; }
    std::string Xml() const { return Serialize(doc_); }

private:
    static bool Unlocked(pugi::xml_node xf) {
        pugi::xml_attribute locked = Attribute(Child(xf, "protection"), "locked");
        return IsTrue(Attribute(xf, "applyProtection").value()) && locked && !IsTrue(locked.value());
    }
    static void Unlock(pugi::xml_node xf) {
        Set(xf, "applyProtection", "1");
        pugi::xml_node protection = Child(xf, "protection");
        // In schema order: after an alignment, before an extension list.
        const std::string name = PrefixOf(xf) + "protection";
        if (!protection)
            protection = Child(xf, "extLst") ? xf.insert_child_before(name.c_str(), Child(xf, "extLst"))
                                              : xf.append_child(name.c_str());
        Set(protection, "locked", "0");
    }
    static std::string Text(pugi::xml_node xf) {
        std::ostringstream out;
        xf.print(out, "", pugi::format_raw);
        return out.str();
    }

    pugi::xml_document doc_;
    pugi::xml_node list_;
    std::vector<pugi::xml_node> xfs_;
    std::vector<std::string> texts_;  // of xfs_, made when first needed
    std::map<int, int> twins_;
    bool changed_ = false;
};

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

// `unlocked` is the workbook's style sheet for a protected sheet, else null.
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

// ---- Workbook part ---------------------------------------------------------------

// Where each sheet of the model goes: its part and the relationship to it.
struct SheetSlot {
    std::string part;
    std::string relId;
};

void WriteBookView(pugi::xml_node root, const Workbook& wb) {
    pugi::xml_node views = Ensure(root, "bookViews", kWorkbookOrder);
    pugi::xml_node view = Child(views, "workbookView");
    if (!view) view = views.append_child((PrefixOf(root) + "workbookView").c_str());
    Set(view, "activeTab", std::to_string(wb.ActiveSheet() - 1));
    Set(view, "showSheetTabs", Bool(wb.SheetAt(wb.ActiveSheet()).View().Get(ViewProp::ShowTabs) != 0));
    if (auto first = Integer(view.attribute("firstSheet").value()); first && *first >= wb.SheetCount())
        Set(view, "firstSheet", "0");
}

// Sheets keep their element (sheet id, visibility) under the model's name.
void WriteSheets(pugi::xml_node root, const Workbook& wb, const std::vector<SheetSlot>& slots) {
    const std::string relId = RelIdAttribute(root);
    pugi::xml_node sheets = Ensure(root, "sheets", kWorkbookOrder);
    std::map<std::string, pugi::xml_node> byRel;
    long nextId = 1;
    for (pugi::xml_node sheet : sheets.children()) {
        if (sheet.type() != pugi::node_element) continue;
        byRel.emplace(Attribute(sheet, "id").value(), sheet);
        if (auto id = Integer(Attribute(sheet, "sheetId").value())) nextId = std::max(nextId, *id + 1);
    }
    pugi::xml_document scratch;
    pugi::xml_node ordered = scratch.append_child("sheets");
    for (long i = 1; i <= wb.SheetCount(); ++i) {
        const SheetSlot& slot = slots[static_cast<size_t>(i - 1)];
        auto kept = byRel.find(slot.relId);
        pugi::xml_node sheet;
        if (kept != byRel.end()) {
            sheet = ordered.append_copy(kept->second);
        } else {
            sheet = ordered.append_child((PrefixOf(root) + "sheet").c_str());
            sheet.append_attribute("name");
            sheet.append_attribute("sheetId") = nextId++;
            sheet.append_attribute(relId.c_str()) = slot.relId.c_str();
        }
        Set(sheet, "name", wb.SheetAt(i).Name());
    }
    while (sheets.first_child()) sheets.remove_child(sheets.first_child());
    for (pugi::xml_node sheet : ordered.children()) sheets.append_copy(sheet);
}

// Workbook-level names are the model's; sheet-level names (print areas and
// the like) stay while their sheet exists.
void WriteDefinedNames(pugi::xml_node root, const Workbook& wb) {
    pugi::xml_node names = Child(root, "definedNames");
    if (!names && wb.DefinedNames().empty()) return;
    if (!names) names = Ensure(root, "definedNames", kWorkbookOrder);
    std::set<std::string> written;
    for (pugi::xml_node defined = names.first_child(); defined;) {
        pugi::xml_node next = defined.next_sibling();
        if (defined.type() == pugi::node_element) {
            bool keep = false;
            if (pugi::xml_attribute local = Attribute(defined, "localSheetId")) {
                auto index = Integer(local.value());
                keep = index && *index >= 0 && *index < wb.SheetCount();
            } else if (const std::string* definition = wb.FindDefinedName(Attribute(defined, "name").value());
                       definition && written.insert(Attribute(defined, "name").value()).second) {
                if (defined.text().get() != *definition) ReplaceText(defined, *definition);
                keep = true;
            }
            if (!keep) names.remove_child(defined);
        }
        defined = next;
    }
    for (const auto& [name, definition] : wb.DefinedNames()) {
        if (written.count(name)) continue;
        pugi::xml_node defined = names.append_child((PrefixOf(root) + "definedName").c_str());
        defined.append_attribute("name") = name.c_str();
        SetText(defined, definition);
    }
    if (!names.first_child()) root.remove_child(names);
}

std::string WorkbookPart(const std::string* xml, const std::string& part, const Workbook& wb,
                         const std::vector<SheetSlot>& slots) {
    pugi::xml_document doc;
    pugi::xml_node root;
    if (xml) {
        root = Parse(doc, *xml, part);
    } else {
        root = NewRoot(doc, "workbook", kMainNs);
        root.append_attribute("xmlns:r") = std::string(kRelNs).c_str();
    }
    WriteBookView(root, wb);
    WriteSheets(root, wb, slots);
    WriteDefinedNames(root, wb);
    Set(Ensure(root, "calcPr", kWorkbookOrder), "fullCalcOnLoad", "1");
    return Serialize(doc);
}

// ---- Relationships and content types -------------------------------------------

class Relationships {
public:
    Relationships(const std::string* xml, const std::string& part, std::string sourcePart)
        : folder_(Folder(sourcePart)) {
        if (xml)
            root_ = Parse(doc_, *xml, part);
        else
            root_ = NewRoot(doc_, "Relationships", kPackageRelNs);
    }

    // Id and target part of each relationship of a type ending in `suffix`.
    std::vector<std::pair<std::string, std::string>> OfType(std::string_view suffix) const {
        std::vector<std::pair<std::string, std::string>> found;
        for (pugi::xml_node rel : root_.children())
            if (rel.type() == pugi::node_element && EndsWith(rel.attribute("Type").value(), suffix) &&
                std::string_view(rel.attribute("TargetMode").value()) != "External")
                found.emplace_back(rel.attribute("Id").value(), ResolveTarget(folder_, rel.attribute("Target").value()));
        return found;
    }
    std::optional<std::string> TargetOf(const std::string& id, std::string_view suffix) const {
        for (const auto& [relId, target] : OfType(suffix))
            if (relId == id) return target;
        return std::nullopt;
    }
    void Remove(const std::string& id) {
        for (pugi::xml_node rel : root_.children())
            if (rel.type() == pugi::node_element && id == rel.attribute("Id").value()) {
                root_.remove_child(rel);
                return;
            }
    }
    std::string Add(std::string_view type, const std::string& part) {
        std::string id;
        for (long n = 1;; ++n) {
            id = "rId" + std::to_string(n);
            if (!root_.find_child_by_attribute("Id", id.c_str())) break;
        }
        pugi::xml_node rel = root_.append_child("Relationship");
        rel.append_attribute("Id") = id.c_str();
        rel.append_attribute("Type") = std::string(type).c_str();
        rel.append_attribute("Target") = TargetFrom(folder_, part).c_str();
        return id;
    }
    std::string Xml() const { return Serialize(doc_); }

private:
    std::string folder_;
    pugi::xml_document doc_;
    pugi::xml_node root_;
};

class ContentTypes {
public:
    ContentTypes(const std::string* xml, const std::string& part) {
        if (xml) {
            root_ = Parse(doc_, *xml, part);
        } else {
            root_ = NewRoot(doc_, "Types", kContentTypesNs);
            AddDefault("rels", kTypeRels);
            AddDefault("xml", "application/xml");
        }
    }
    void AddDefault(const char* extension, std::string_view type) {
        pugi::xml_node d = root_.append_child("Default");
        d.append_attribute("Extension") = extension;
        d.append_attribute("ContentType") = std::string(type).c_str();
    }
    // Parts of ours get their type; a part already listed keeps its entry.
    void Ensure(const std::string& part, std::string_view type) {
        if (Find(part)) return;
        pugi::xml_node o = root_.append_child("Override");
        o.append_attribute("PartName") = ("/" + part).c_str();
        o.append_attribute("ContentType") = std::string(type).c_str();
    }
    void Remove(const std::string& part) {
        if (pugi::xml_node o = Find(part)) root_.remove_child(o);
    }
    std::string Xml() const { return Serialize(doc_); }

private:
    pugi::xml_node Find(const std::string& part) const {
        for (pugi::xml_node o : root_.children())
            if (o.type() == pugi::node_element && LocalName(o.name()) == "Override" &&
                ResolveTarget("", o.attribute("PartName").value()) == part)
                return o;
        return {};
    }
    pugi::xml_document doc_;
    pugi::xml_node root_;
};

// The parts to write: those of the workbook's origin, read where they are,
// and those this write makes or drops. A part nobody changes (an image, the
// style sheet) is handed to the zip as it is, never copied.
class PackageParts {
public:
    explicit PackageParts(const PackageOrigin* origin) : origin_(origin ? &origin->parts : nullptr) {}

    const std::string* Find(const std::string& name) const {
        if (auto made = made_.find(name); made != made_.end()) return &made->second;
        if (!origin_ || dropped_.count(name)) return nullptr;
        auto kept = origin_->find(name);
        return kept == origin_->end() ? nullptr : &kept->second;
    }
    void Put(const std::string& name, std::string content) {
        made_[name] = std::move(content);
        dropped_.erase(name);
    }
    void Drop(const std::string& name) {
        made_.erase(name);
        dropped_.insert(name);
    }

    // The content types first, as producers put them; the others by name.
    void AddTo(ZipWriter& zip) const {
        const std::string contentTypes(kPartContentTypes);
        std::map<std::string, const std::string*> all;
        if (origin_)
            for (const auto& [name, content] : *origin_)
                if (!dropped_.count(name)) all[name] = &content;
        for (const auto& [name, content] : made_) all[name] = &content;
        if (auto types = all.find(contentTypes); types != all.end()) zip.AddBorrowed(contentTypes, *types->second);
        for (const auto& [name, content] : all)
            if (name != contentTypes) zip.AddBorrowed(name, *content);
    }

private:
    const Parts* origin_;
    Parts made_;
    std::set<std::string> dropped_;
};

void RemovePart(PackageParts& parts, ContentTypes& types, const std::string& part) {
    parts.Drop(part);
    parts.Drop(RelsPartOf(part));
    types.Remove(part);
}

std::string NewPartName(const PackageParts& parts, const std::set<std::string>& taken, const std::string& folder,
                        const std::string& stem) {
    for (long n = 1;; ++n) {
        std::string name = (folder.empty() ? "" : folder + "/") + stem + std::to_string(n) + ".xml";
        if (!parts.Find(name) && !taken.count(name)) return name;
    }
}

// Every view property and the exact selection text of each sheet, by position.
std::string ViewPart(const Workbook& wb) {
    pugi::xml_document doc;
    pugi::xml_node root = NewRoot(doc, "mwstView", kViewNs);
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
    const PackageOrigin* origin = wb.Origin();
    PackageParts parts(origin);
    const std::string workbookPart = origin ? origin->workbookPart : std::string(kPartWorkbook);
    const std::string folder = Folder(workbookPart);

    ContentTypes types(parts.Find(std::string(kPartContentTypes)), std::string(kPartContentTypes));
    if (!parts.Find(std::string(kPartRootRels))) {
        Relationships root(nullptr, std::string(kPartRootRels), "");
        root.Add(kRelOfficeDocument, workbookPart);
        parts.Put(std::string(kPartRootRels), root.Xml());
    }
    const std::string relsPart = RelsPartOf(workbookPart);
    Relationships rels(parts.Find(relsPart), relsPart, workbookPart);

    // Excel's list of formula cells would name cells that hold none any more;
    // Excel builds it anew when it is missing.
    for (const auto& [id, target] : rels.OfType("/calcChain")) {
        rels.Remove(id);
        RemovePart(parts, types, target);
    }

    std::vector<SheetSlot> slots;
    std::set<std::string> usedRels, usedParts;
    for (long i = 1; i <= wb.SheetCount(); ++i) {
        const SheetOrigin* sheetOrigin = wb.SheetAt(i).Origin();
        if (sheetOrigin && !sheetOrigin->part.empty() && !usedRels.count(sheetOrigin->relId) &&
            rels.TargetOf(sheetOrigin->relId, kRelSuffixWorksheet) == sheetOrigin->part) {
            slots.push_back({sheetOrigin->part, sheetOrigin->relId});
        } else {
            std::string part = NewPartName(parts, usedParts, folder + (folder.empty() ? "" : "/") + "worksheets", "sheet");
            slots.push_back({part, rels.Add(kRelWorksheet, part)});
        }
        usedRels.insert(slots.back().relId);
        usedParts.insert(slots.back().part);
    }
    // Sheets the model no longer has leave with their part.
    for (const auto& [id, target] : rels.OfType(kRelSuffixWorksheet)) {
        if (usedRels.count(id)) continue;
        rels.Remove(id);
        RemovePart(parts, types, target);
    }

    if (rels.OfType("/styles").empty()) {
        const std::string stylesPart = (folder.empty() ? "" : folder + "/") + "styles.xml";
        rels.Add(kRelStyles, stylesPart);
        parts.Put(stylesPart, cellformats::StyleSheetXml());
        types.Ensure(stylesPart, kTypeStyles);
    }
    bool anyProtected = false;
    for (long i = 1; i <= wb.SheetCount(); ++i) anyProtected = anyProtected || wb.SheetAt(i).StructureProtected();
    const std::string stylesPart = rels.OfType("/styles").front().second;
    std::optional<UnlockedFormats> unlocked;
    if (anyProtected)
        if (const std::string* styles = parts.Find(stylesPart)) unlocked.emplace(*styles, stylesPart);
    std::string viewPart;
    if (auto view = rels.OfType(kRelView); !view.empty()) {
        viewPart = view.front().second;
    } else {
        viewPart = (folder.empty() ? "" : folder + "/") + "mwstView.xml";
        rels.Add(kRelView, viewPart);
    }

    parts.Put(workbookPart, WorkbookPart(parts.Find(workbookPart), workbookPart, wb, slots));
    types.Ensure(workbookPart, kTypeWorkbook);
    for (long i = 1; i <= wb.SheetCount(); ++i) {
        const SheetSlot& slot = slots[static_cast<size_t>(i - 1)];
        UnlockedFormats* formats = wb.SheetAt(i).StructureProtected() && unlocked ? &*unlocked : nullptr;
        parts.Put(slot.part, WorksheetPart(wb.SheetAt(i), i == wb.ActiveSheet(), slot.part, formats));
        types.Ensure(slot.part, kTypeWorksheet);
    }
    if (unlocked && unlocked->Changed()) parts.Put(stylesPart, unlocked->Xml());
    parts.Put(viewPart, ViewPart(wb));
    types.Ensure(viewPart, kTypeView);
    parts.Put(relsPart, rels.Xml());
    parts.Put(std::string(kPartContentTypes), types.Xml());

    ZipWriter zip;
    parts.AddTo(zip);
    return zip.Finish();
}

}  // namespace ooxml
