#include "workbook/OoxmlWriter.h"

#include <pugixml.hpp>

#include <optional>
#include <set>
#include <vector>

#include "workbook/CellFormats.h"
#include "workbook/ContentTypes.h"
#include "workbook/OoxmlEdit.h"
#include "workbook/OoxmlNames.h"
#include "workbook/PackagePaths.h"
#include "workbook/PackageParts.h"
#include "workbook/PackageRelationships.h"
#include "workbook/UnlockedFormats.h"
#include "workbook/Workbook.h"
#include "workbook/WorkbookPart.h"
#include "workbook/WorksheetPart.h"
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

using edit::NewRoot;
using packagepaths::Folder;
using packagepaths::RelsPartOf;
using xmltext::Serialize;

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
