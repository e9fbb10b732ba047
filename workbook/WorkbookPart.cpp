#include "workbook/WorkbookPart.h"

#include <pugixml.hpp>

#include <algorithm>
#include <map>
#include <set>

#include "workbook/OoxmlEdit.h"
#include "workbook/OoxmlNames.h"
#include "workbook/Workbook.h"
#include "workbook/XmlText.h"

namespace ooxml {
namespace {

using edit::Bool;
using edit::Ensure;
using edit::Integer;
using edit::kWorkbookOrder;
using edit::NewRoot;
using edit::Parse;
using edit::PrefixOf;
using edit::RelIdAttribute;
using edit::ReplaceText;
using edit::Set;
using xmltext::Attribute;
using xmltext::Child;
using xmltext::Serialize;
using xmltext::SetText;

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

}  // namespace

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

}  // namespace ooxml
