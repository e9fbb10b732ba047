#pragma once
#include <pugixml.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "workbook/XmlText.h"

// Editing the parts a workbook is written into (OoxmlWriter.cpp): elements
// added in the schema's order under the prefix their parent uses, attributes
// set, parts parsed again and new ones begun.
namespace ooxml::edit {

inline const char* Bool(bool v) { return v ? "1" : "0"; }

// Child element order of the workbook and worksheet parts (the schema's
// sequences): an element we add goes before the first sibling that must follow
// it, since Excel refuses parts whose elements are out of order.
inline constexpr std::string_view kWorkbookOrder[] = {
    "fileVersion", "fileSharing",   "workbookPr",         "AlternateContent", "revisionPtr", "absPath",
    "workbookProtection", "bookViews", "sheets",          "functionGroups",   "externalReferences",
    "definedNames", "calcPr",       "oleSize",            "customWorkbookViews", "pivotCaches", "smartTagPr",
    "smartTagTypes", "webPublishing", "fileRecoveryPr",   "webPublishObjects", "extLst"};
inline constexpr std::string_view kWorksheetOrder[] = {
    "sheetPr",       "dimension",      "sheetViews",   "sheetFormatPr",   "cols",          "sheetData",
    "sheetCalcPr",   "sheetProtection", "protectedRanges", "scenarios",   "autoFilter",    "sortState",
    "dataConsolidate", "customSheetViews", "mergeCells", "phoneticPr",    "conditionalFormatting",
    "dataValidations", "hyperlinks",   "printOptions", "pageMargins",     "pageSetup",     "headerFooter",
    "rowBreaks",     "colBreaks",      "customProperties", "cellWatches", "ignoredErrors", "smartTags",
    "drawing",       "legacyDrawing",  "legacyDrawingHF", "drawingHF",    "picture",       "oleObjects",
    "controls",      "webPublishItems", "tableParts",  "extLst"};
inline constexpr std::string_view kSheetViewOrder[] = {"pane", "selection", "pivotSelection", "extLst"};

template <size_t N>
int Rank(const std::string_view (&order)[N], std::string_view localName) {
    for (size_t i = 0; i < N; ++i)
        if (order[i] == localName) return static_cast<int>(i);
    return -1;
}

// "x:" when the element is written with the prefix "x", else "".
std::string PrefixOf(pugi::xml_node node);

// The parent's child of that local name; created in schema order when missing.
template <size_t N>
pugi::xml_node Ensure(pugi::xml_node parent, std::string_view localName, const std::string_view (&order)[N]) {
    if (pugi::xml_node existing = xmltext::Child(parent, localName)) return existing;
    const int rank = Rank(order, localName);
    const std::string name = PrefixOf(parent) + std::string(localName);
    for (pugi::xml_node child : parent.children()) {
        if (child.type() != pugi::node_element) continue;
        if (Rank(order, xmltext::LocalName(child.name())) > rank) return parent.insert_child_before(name.c_str(), child);
    }
    return parent.append_child(name.c_str());
}

void Set(pugi::xml_node node, const char* name, const std::string& value);
void ReplaceText(pugi::xml_node node, const std::string& text);
std::optional<long> Integer(std::string_view text);

// Parses a part we read before (or wrote ourselves); a failure here is a fault
// of ours, not of the file.
pugi::xml_node Parse(pugi::xml_document& doc, const std::string& xml, const std::string& part);

pugi::xml_node NewRoot(pugi::xml_document& doc, const char* name, std::string_view ns);

// The qualified name of r:id on this root: the prefix bound to the
// relationships namespace, declared as "r" when there is none.
std::string RelIdAttribute(pugi::xml_node root);

}  // namespace ooxml::edit
