#include "workbook/OoxmlReader.h"

#include <pugixml.hpp>

#include <charconv>
#include <map>
#include <set>
#include <vector>

#include "base/CException.h"
#include "workbook/CVCF1.h"
#include "workbook/CellRef.h"
#include "workbook/NumberText.h"
#include "workbook/OoxmlNames.h"
#include "workbook/PackagePaths.h"
#include "workbook/SheetViewXml.h"
#include "workbook/Workbook.h"
#include "workbook/WorkbookLimit.h"
#include "workbook/XmlBounds.h"
#include "workbook/XmlText.h"
#include "workbook/ZipArchive.h"
#include "res/Resource.h"

namespace ooxml {
namespace {

using xmltext::Attribute;
using xmltext::Child;
using xmltext::LocalName;
using packagepaths::EndsWith;
using packagepaths::Folder;
using packagepaths::RelsPartOf;
using packagepaths::ResolveTarget;

// A decimal integer in [min, max] filling the whole text.
std::optional<long> ParseInteger(std::string_view text, long min, long max) {
    long value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

template <typename Fn>
void ForEachChild(pugi::xml_node parent, std::string_view localName, Fn fn) {
    for (pugi::xml_node child : parent.children())
        if (child.type() == pugi::node_element && LocalName(child.name()) == localName) fn(child);
}

struct Relationship {
    std::string type;
    std::string target;  // a zip entry name
};

// OOXML numbers cell formats with 32-bit unsigned values; no real style sheet
// comes near this.
constexpr long kMaxCellFormat = 65535;

class PackageReader {
public:
    PackageReader(std::string bytes, const std::string& label, const ReadLimits& limits)
        : label_(label), limits_(limits), zip_(std::move(bytes), label), origin_(std::make_shared<PackageOrigin>()) {}

    Workbook Read();

private:
    [[noreturn]] void Fail(const std::string& part, const std::string& what) const {
        // In the user's language; the reader's own words, for whoever looks closer, in brackets.
        throw CFileException(Format(LoadString(IDS_WORKBOOK_FAULTY_PART), label_, part, what));
    }
    void CountCell(const std::string& part) {
        if (++cells_ > limits_.cells)
            workbooklimit::Refuse(IDS_WORKBOOK_TOO_MANY_CELLS, label_, std::to_string(limits_.cells), part);
    }

    void ReadAllParts();
    bool Has(const std::string& part) const { return origin_->parts.count(part) > 0; }
    pugi::xml_encoding Measure(const std::string& part, const std::string& content);
    // The part parsed; the document lives as long as the caller keeps it, so
    // the parts are not all in memory as trees at once.
    std::unique_ptr<pugi::xml_document> Parse(const std::string& part);
    std::map<std::string, Relationship> LoadRelationships(const std::string& part);
    std::string FindWorkbookPart();
    const Relationship* FindRelationshipOfType(std::string_view suffix) const;
    void LoadSharedStrings();
    std::string RichText(pugi::xml_node node) const;
    long ActiveSheet(pugi::xml_node workbook, long sheetCount, const std::string& part);
    Sheet ReadSheet(const std::string& name, const std::string& part, const std::string& relId);
    void ReadSheetView(pugi::xml_node worksheet, Sheet& sheet, const std::string& part);
    void ReadCells(pugi::xml_node worksheet, Sheet& sheet, const std::string& part);
    Cell ReadCell(pugi::xml_node c, const std::string& part, const std::string& ref);
    void ReadViewPart(const std::string& part, std::vector<Sheet>& sheets);
    std::map<std::string, std::string> ReadDefinedNames(pugi::xml_node workbook, const std::string& part);
    int ViewValue(pugi::xml_attribute attr, const ViewProperties::Info& info, const std::string& part);

    std::string label_;
    ReadLimits limits_;
    size_t cells_ = 0;
    size_t xmlNodes_ = 0;           // of the parts measured so far
    std::set<std::string> parsed_;  // parts loaded so far: each at most once
    ZipReader zip_;
    std::unique_ptr<pugi::xml_document> workbookDoc_;  // the workbook part, alive while reading
    std::map<std::string, Relationship> workbookRels_;
    std::vector<std::string> sharedStrings_;
    std::shared_ptr<PackageOrigin> origin_;  // every part, kept for the next write
};

void PackageReader::ReadAllParts() {
    std::vector<std::string> names = zip_.Names();
    if (names.size() > limits_.parts)
        workbooklimit::Refuse(IDS_WORKBOOK_TOO_MANY_PARTS, label_, std::to_string(limits_.parts));
    size_t total = 0;
    for (const std::string& name : names) {
        std::optional<std::string> content = zip_.Read(name, limits_.partBytes);
        if (!content) Fail(name, "the part cannot be found");
        total += content->size();
        if (total > limits_.packageBytes)
            workbooklimit::Refuse(IDS_WORKBOOK_TOO_LARGE, label_, workbooklimit::SizeText(limits_.packageBytes));
        origin_->parts[name] = std::move(*content);
    }
}

// Before the parser sees the part: its nesting, and its nodes counted with
// those of the parts before it. Gives the encoding the parser must read it in.
pugi::xml_encoding PackageReader::Measure(const std::string& part, const std::string& content) {
    const xmlbounds::Measure measure =
        xmlbounds::Scan(content, {limits_.xmlDepth, limits_.xmlNodes - std::min(xmlNodes_, limits_.xmlNodes)});
    switch (measure.verdict) {
    case xmlbounds::Verdict::Within:
        break;
    case xmlbounds::Verdict::TooDeep:
        workbooklimit::Refuse(IDS_WORKBOOK_TOO_DEEP, label_, part, std::to_string(limits_.xmlDepth));
    case xmlbounds::Verdict::TooManyNodes:
        workbooklimit::Refuse(IDS_WORKBOOK_TOO_MANY_NODES, label_, std::to_string(limits_.xmlNodes), part);
    case xmlbounds::Verdict::DocumentType:
        Fail(part, "malformed XML: a document type declaration, which no package part may carry");
    }
    xmlNodes_ += measure.nodes;
    return measure.encoding;
}

std::unique_ptr<pugi::xml_document> PackageReader::Parse(const std::string& part) {
    auto found = origin_->parts.find(part);
    if (found == origin_->parts.end()) Fail(part, "the part is missing");
    if (!parsed_.insert(part).second) Fail(part, "the part is referenced more than once");
    const std::string& content = found->second;
    const pugi::xml_encoding encoding = Measure(part, content);
    auto doc = std::make_unique<pugi::xml_document>();
    pugi::xml_parse_result result =
        doc->load_buffer(content.data(), content.size(), pugi::parse_default | pugi::parse_ws_pcdata, encoding);
    if (!result)
        Fail(part, std::string("malformed XML: ") + result.description() + " at byte " +
                       std::to_string(result.offset));
    if (!doc->document_element()) Fail(part, "no root element");
    return doc;
}

std::map<std::string, Relationship> PackageReader::LoadRelationships(const std::string& part) {
    std::map<std::string, Relationship> rels;
    std::string relsPart = RelsPartOf(part);
    if (!Has(relsPart)) return rels;
    auto doc = Parse(relsPart);
    pugi::xml_node root = doc->document_element();
    ForEachChild(root, "Relationship", [&](pugi::xml_node rel) {
        if (std::string_view(rel.attribute("TargetMode").value()) == "External") return;
        std::string id = rel.attribute("Id").value();
        if (id.empty()) Fail(relsPart, "a relationship without Id");
        rels[id] = Relationship{rel.attribute("Type").value(), ResolveTarget(Folder(part), rel.attribute("Target").value())};
    });
    return rels;
}

std::string PackageReader::FindWorkbookPart() {
    for (const auto& [id, rel] : LoadRelationships(""))
        if (EndsWith(rel.type, kRelSuffixOfficeDocument)) return rel.target;
    if (Has(std::string(kPartWorkbook))) return std::string(kPartWorkbook);
    throw CFileException(Format(LoadString(IDS_WORKBOOK_NO_WORKBOOK), label_,
                                "not a spreadsheet package, no workbook part " + std::string(kPartWorkbook)));
}

const Relationship* PackageReader::FindRelationshipOfType(std::string_view suffix) const {
    for (const auto& [id, rel] : workbookRels_)
        if (EndsWith(rel.type, suffix)) return &rel;
    return nullptr;
}

std::string PackageReader::RichText(pugi::xml_node node) const {
    std::string text;
    for (pugi::xml_node child : node.children()) {
        std::string_view name = LocalName(child.name());
        if (name == "t") text += child.text().get();
        if (name == "r") text += Child(child, "t").text().get();
    }
    return xmltext::DecodeXstring(text);
}

void PackageReader::LoadSharedStrings() {
    const Relationship* rel = FindRelationshipOfType(kRelSuffixSharedStrings);
    if (!rel) return;
    auto doc = Parse(rel->target);
    pugi::xml_node sst = doc->document_element();
    ForEachChild(sst, "si", [&](pugi::xml_node si) {
        if (sharedStrings_.size() == limits_.sharedStrings)
            workbooklimit::Refuse(IDS_WORKBOOK_TOO_MANY_STRINGS, label_, std::to_string(limits_.sharedStrings));
        sharedStrings_.push_back(RichText(si));
    });
}

long PackageReader::ActiveSheet(pugi::xml_node workbook, long sheetCount, const std::string& part) {
    pugi::xml_attribute tab = Attribute(Child(Child(workbook, "bookViews"), "workbookView"), "activeTab");
    if (!tab) return 1;
    auto index = ParseInteger(tab.value(), 0, sheetCount - 1);
    if (!index) Fail(part, std::string("active sheet index \"") + tab.value() + "\" is out of range");
    return *index + 1;
}

bool ParseBool(std::string_view text, bool& value) {
    if (text == "1" || text == "true") return value = true, true;
    if (text == "0" || text == "false") return value = false, true;
    return false;
}

void PackageReader::ReadSheetView(pugi::xml_node worksheet, Sheet& sheet, const std::string& part) {
    pugi::xml_node view = Child(Child(worksheet, "sheetViews"), "sheetView");
    if (!view) return;
    auto apply = [&](const char* attrName, std::initializer_list<ViewProp> props) {
        pugi::xml_attribute attr = Attribute(view, attrName);
        if (!attr) return;
        bool on = false;
        if (!ParseBool(attr.value(), on)) Fail(part, std::string("sheetView ") + attrName + " is not a boolean");
        for (ViewProp prop : props) sheet.View().Set(prop, on);
    };
    apply("showGridLines", {ViewProp::ShowGridLines});
    apply("showRowColHeaders", {ViewProp::ShowRowHeading, ViewProp::ShowColHeading});
    apply("showFormulas", {ViewProp::ShowFormulas});
    apply("showZeros", {ViewProp::ShowZeroValues});
    if (pugi::xml_node protection = Child(worksheet, "sheetProtection")) {
        bool on = false;
        sheet.SetStructureProtected(ParseBool(Attribute(protection, "sheet").value(), on) && on);
    }

    pugi::xml_node selection = sheetviewxml::ActiveSelection(view);
    if (!selection) return;
    std::string text = Attribute(selection, "sqref").value();
    if (text.empty()) text = Attribute(selection, "activeCell").value();
    if (text.empty()) return;
    if (!cellref::IsSelection(text)) Fail(part, "selection \"" + text + "\" is not a cell range");
    sheet.SetSelection(text);
}

Cell PackageReader::ReadCell(pugi::xml_node c, const std::string& part, const std::string& ref) {
    std::string_view type = Attribute(c, "t") ? Attribute(c, "t").value() : "n";
    pugi::xml_node f = Child(c, "f");
    pugi::xml_node v = Child(c, "v");
    std::string_view vText = v.text().get();
    auto where = [&] { return "cell " + ref; };

    // The value as text or number; Cached::None when the cell stores none.
    Cell value;
    if (type == "s") {
        auto index = ParseInteger(vText, 0, static_cast<long>(sharedStrings_.size()) - 1);
        if (!index)
            Fail(part, where() + ": shared string index \"" + std::string(vText) + "\" is out of range");
        value.WithCachedText(sharedStrings_[static_cast<size_t>(*index)]);
    } else if (type == "inlineStr") {
        value.WithCachedText(RichText(Child(c, "is")));
    } else if (type == "str" || type == "e" || type == "d") {
        if (v) value.WithCachedText(xmltext::DecodeXstring(vText));
    } else if (type == "n" || type == "b") {
        if (v) {
            auto number = numbertext::Parse(vText);
            if (!number) Fail(part, where() + ": \"" + std::string(vText) + "\" is not a number");
            value.WithCachedNumber(*number);
        }
    } else {
        Fail(part, where() + ": unknown cell type \"" + std::string(type) + "\"");
    }

    std::string formula = f.text().get();
    if (f && formula.empty() && std::string_view(Attribute(f, "t").value()) == "shared")
        Fail(part, where() + ": shared formulas are not supported");
    if (!formula.empty()) {
        Cell cell = Cell::MakeFormula(formula);
        cell.cached = value.cached;
        cell.number = value.number;
        cell.cachedText = value.cachedText;
        return cell;
    }
    if (value.cached == Cell::Cached::Text) return Cell::MakeText(value.cachedText);
    if (value.cached == Cell::Cached::Number) return Cell::MakeNumber(value.number);
    return Cell();
}

void PackageReader::ReadCells(pugi::xml_node worksheet, Sheet& sheet, const std::string& part) {
    long rowIndex = 0;
    ForEachChild(Child(worksheet, "sheetData"), "row", [&](pugi::xml_node row) {
        pugi::xml_attribute r = Attribute(row, "r");
        if (r) {
            auto parsed = ParseInteger(r.value(), 1, CVCF1::kMaxRow);
            if (!parsed) Fail(part, std::string("row number \"") + r.value() + "\" is out of range");
            rowIndex = *parsed;
        } else if (++rowIndex > CVCF1::kMaxRow) {
            Fail(part, "more rows than a sheet holds");
        }
        long colIndex = 0;
        ForEachChild(row, "c", [&](pugi::xml_node c) {
            CountCell(part);
            CellPos pos{rowIndex, colIndex + 1};
            if (pugi::xml_attribute ref = Attribute(c, "r")) {
                auto parsed = cellref::Parse(ref.value());
                if (!parsed) Fail(part, std::string("cell reference \"") + ref.value() + "\" is malformed or out of range");
                if (parsed->row != rowIndex)
                    Fail(part, std::string("cell reference \"") + ref.value() + "\" lies outside row " +
                                   std::to_string(rowIndex));
                pos = *parsed;
            } else if (pos.col > CVCF1::kMaxCol) {
                Fail(part, "more cells in row " + std::to_string(rowIndex) + " than a sheet holds");
            }
            colIndex = pos.col;
            std::string ref = cellref::Format(pos);
            if (sheet.Find(pos)) Fail(part, "cell " + ref + " appears twice");
            try {
                sheet.Put(pos, ReadCell(c, part, ref));
            } catch (const CInvalidArgException& e) {
                Fail(part, "cell " + ref + ": " + e.what());
            }
            // The format goes with the position: an empty cell may carry one.
            if (pugi::xml_attribute style = Attribute(c, "s")) {
                auto format = ParseInteger(style.value(), 0, kMaxCellFormat);
                if (!format) Fail(part, "cell " + ref + ": format \"" + style.value() + "\" is not a format index");
                sheet.SetFormat(pos, static_cast<int>(*format));
            }
        });
    });
}

Sheet PackageReader::ReadSheet(const std::string& name, const std::string& part, const std::string& relId) {
    auto doc = Parse(part);
    pugi::xml_node worksheet = doc->document_element();
    if (LocalName(worksheet.name()) != "worksheet") Fail(part, "sheet \"" + name + "\" is not a worksheet");
    Sheet sheet(name);
    ReadSheetView(worksheet, sheet, part);
    ReadCells(worksheet, sheet, part);
    sheet.SetOrigin(std::make_shared<SheetOrigin>(SheetOrigin{part, relId, origin_->parts.at(part), sheet.Cells()}));
    return sheet;
}

int PackageReader::ViewValue(pugi::xml_attribute attr, const ViewProperties::Info& info, const std::string& part) {
    auto value = ParseInteger(attr.value(), info.minValue, info.maxValue);
    if (!value) Fail(part, std::string(info.name) + " value \"" + attr.value() + "\" is out of range");
    return static_cast<int>(*value);
}

void PackageReader::ReadViewPart(const std::string& part, std::vector<Sheet>& sheets) {
    auto doc = Parse(part);
    ForEachChild(doc->document_element(), "sheet", [&](pugi::xml_node node) {
        auto index = ParseInteger(node.attribute("index").value(), 1, static_cast<long>(sheets.size()));
        if (!index)
            Fail(part, std::string("sheet index \"") + node.attribute("index").value() + "\" is out of range");
        Sheet& sheet = sheets[static_cast<size_t>(*index - 1)];
        for (const auto& info : ViewProperties::All())
            if (pugi::xml_attribute attr = node.attribute(std::string(info.name).c_str()))
                sheet.View().Set(info.prop, ViewValue(attr, info, part));
        if (pugi::xml_attribute selection = node.attribute("selection")) {
            if (!cellref::IsSelection(selection.value()))
                Fail(part, std::string("selection \"") + selection.value() + "\" is not a cell range");
            sheet.SetSelection(selection.value());
        }
    });
}

std::map<std::string, std::string> PackageReader::ReadDefinedNames(pugi::xml_node workbook, const std::string& part) {
    std::map<std::string, std::string> names;
    ForEachChild(Child(workbook, "definedNames"), "definedName", [&](pugi::xml_node defined) {
        if (Attribute(defined, "localSheetId")) return;  // sheet-level names are not ours
        std::string name = Attribute(defined, "name").value();
        if (!names.emplace(name, defined.text().get()).second)
            Fail(part, "defined name \"" + name + "\" appears twice");
    });
    return names;
}

Workbook PackageReader::Read() {
    ReadAllParts();
    // The writer parses the content types again; they must not nest deeper either.
    if (Has(std::string(kPartContentTypes)))
        Measure(std::string(kPartContentTypes), origin_->parts.at(std::string(kPartContentTypes)));
    std::string workbookPart = FindWorkbookPart();
    workbookDoc_ = Parse(workbookPart);
    pugi::xml_node workbook = workbookDoc_->document_element();
    if (LocalName(workbook.name()) != "workbook") Fail(workbookPart, "the root element is not a workbook");
    workbookRels_ = LoadRelationships(workbookPart);
    LoadSharedStrings();
    const Relationship* viewRel = FindRelationshipOfType(kRelView);

    std::vector<Sheet> sheets;
    ForEachChild(Child(workbook, "sheets"), "sheet", [&](pugi::xml_node node) {
        if (sheets.size() == limits_.sheets)
            workbooklimit::Refuse(IDS_WORKBOOK_TOO_MANY_SHEETS, label_, std::to_string(limits_.sheets));
        std::string name = Attribute(node, "name").value();
        auto rel = workbookRels_.find(Attribute(node, "id").value());
        if (rel == workbookRels_.end()) Fail(workbookPart, "sheet \"" + name + "\" has no part");
        if (!EndsWith(rel->second.type, kRelSuffixWorksheet))
            Fail(workbookPart, "sheet \"" + name + "\" is not a worksheet (" + rel->second.type + ")");
        sheets.push_back(ReadSheet(name, rel->second.target, rel->first));
    });
    // Our part holds every view property and the exact selection; it wins over
    // the sheet views, which carry only those LibreOffice knows.
    if (viewRel) ReadViewPart(viewRel->target, sheets);

    try {
        long count = static_cast<long>(sheets.size());
        Workbook result(std::move(sheets));
        result.SetActiveSheet(ActiveSheet(workbook, count, workbookPart));
        for (const auto& [name, definition] : ReadDefinedNames(workbook, workbookPart))
            result.SetDefinedName(name, definition);
        origin_->workbookPart = workbookPart;
        result.SetOrigin(origin_);
        return result;
    } catch (const CInvalidArgException& e) {
        Fail(workbookPart, e.what());
    }
}

}  // namespace

Workbook ReadPackage(std::string bytes, const std::string& label, const ReadLimits& limits) {
    if (bytes.empty()) throw CFileException(Format(LoadString(IDS_WORKBOOK_EMPTY), label));
    PackageReader reader(std::move(bytes), label, limits);
    return reader.Read();
}

}  // namespace ooxml
