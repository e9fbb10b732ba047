#pragma once
#include <pugixml.hpp>

#include <string_view>

#include "workbook/XmlText.h"

namespace sheetviewxml {

// The selection element of a sheet view that holds the sheet's selection:
// with a split or frozen view the one of the active pane, otherwise the last
// one that names no pane, else the first. A null node when there is none.
inline pugi::xml_node ActiveSelection(pugi::xml_node view) {
    using xmltext::Attribute;
    using xmltext::LocalName;
    pugi::xml_node pane = xmltext::Child(view, "pane");
    std::string_view activePane = Attribute(pane, "activePane") ? Attribute(pane, "activePane").value() : "topLeft";
    pugi::xml_node chosen = xmltext::Child(view, "selection");
    for (pugi::xml_node s : view.children()) {
        if (s.type() != pugi::node_element || LocalName(s.name()) != "selection") continue;
        pugi::xml_attribute of = Attribute(s, "pane");
        if (!pane && !of) chosen = s;
        if (pane && (of ? std::string_view(of.value()) : "topLeft") == activePane) return s;
    }
    return chosen;
}

}  // namespace sheetviewxml
