#include "workbook/SheetLayout.h"

#include <pugixml.hpp>

#include "workbook/NumberText.h"
#include "workbook/OoxmlNames.h"
#include "workbook/XmlText.h"

std::string SheetLayoutXml(const SheetLayout& layout) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("worksheet");
    root.append_attribute("xmlns") = std::string(ooxml::kMainNs).c_str();
    root.append_attribute("xmlns:r") = std::string(ooxml::kRelNs).c_str();
    if (layout.fitToOnePage) root.append_child("sheetPr").append_child("pageSetUpPr").append_attribute("fitToPage") = 1;
    if (!layout.columnWidths.empty()) {
        pugi::xml_node cols = root.append_child("cols");
        for (const auto& [col, width] : layout.columnWidths) {
            pugi::xml_node c = cols.append_child("col");
            c.append_attribute("min") = col;
            c.append_attribute("max") = col;
            c.append_attribute("width") = numbertext::Exact(width).c_str();
            c.append_attribute("customWidth") = 1;
        }
    }
    if (layout.paperSize != 0) {
        pugi::xml_node margins = root.append_child("pageMargins");
        for (auto [side, inches] : {std::pair{"left", "0.7"}, std::pair{"right", "0.7"}, std::pair{"top", "0.75"},
                                    std::pair{"bottom", "0.75"}, std::pair{"header", "0.3"}, std::pair{"footer", "0.3"}})
            margins.append_attribute(side) = inches;
        pugi::xml_node setup = root.append_child("pageSetup");
        setup.append_attribute("paperSize") = layout.paperSize;
        setup.append_attribute("orientation") = layout.landscape ? "landscape" : "portrait";
        if (layout.fitToOnePage) {
            setup.append_attribute("fitToWidth") = 1;
            setup.append_attribute("fitToHeight") = 1;
        }
    }
    return xmltext::Serialize(doc);
}
