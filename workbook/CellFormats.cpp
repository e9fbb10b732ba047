#include "workbook/CellFormats.h"

#include <pugixml.hpp>

#include "workbook/OoxmlNames.h"
#include "workbook/XmlText.h"

namespace cellformats {
namespace {

// Number formats of our own start at 164, after the built-in ones.
constexpr int kGeneral = 0;
constexpr int kAmount = 164;
constexpr int kRate = 165;

struct Layout {
    int numFmtId;
    int fontId;  // 0 regular, 1 bold, 2 bold and larger
    bool right;
};

// Indexed like All().
constexpr Layout kLayouts[] = {
    {kGeneral, 0, false}, {kGeneral, 1, false}, {kGeneral, 2, false}, {kAmount, 0, false},
    {kAmount, 1, false},  {kRate, 0, false},    {kGeneral, 1, true},
};

void AddFont(pugi::xml_node fonts, bool bold, int size) {
    pugi::xml_node font = fonts.append_child("font");
    if (bold) font.append_child("b");
    font.append_child("sz").append_attribute("val") = size;
    font.append_child("name").append_attribute("val") = "Arial";
    font.append_child("family").append_attribute("val") = 2;
}

}  // namespace

const std::vector<Named>& All() {
    static const std::vector<Named> all = {
        {"normal", 0, "the default"},
        {"bold", 1, "bold text"},
        {"title", 2, "bold, larger"},
        {"amount", 3, "#,##0.00"},
        {"total", 4, "#,##0.00, bold"},
        {"rate", 5, "0.0"},
        {"heading", 6, "bold, right-aligned"},
    };
    return all;
}

std::optional<int> FromName(std::string_view name) {
    for (const Named& named : All())
        if (named.name == name) return named.index;
    return std::nullopt;
}

std::string StyleSheetXml() {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("styleSheet");
    root.append_attribute("xmlns") = std::string(ooxml::kMainNs).c_str();
    pugi::xml_node numFmts = root.append_child("numFmts");
    numFmts.append_attribute("count") = 2;
    for (auto [id, code] : {std::pair{kAmount, "#,##0.00"}, std::pair{kRate, "0.0"}}) {
        pugi::xml_node fmt = numFmts.append_child("numFmt");
        fmt.append_attribute("numFmtId") = id;
        fmt.append_attribute("formatCode") = code;
    }
    pugi::xml_node fonts = root.append_child("fonts");
    fonts.append_attribute("count") = 3;
    AddFont(fonts, false, 10);
    AddFont(fonts, true, 10);
    AddFont(fonts, true, 12);
    pugi::xml_node fills = root.append_child("fills");
    fills.append_attribute("count") = 2;
    fills.append_child("fill").append_child("patternFill").append_attribute("patternType") = "none";
    fills.append_child("fill").append_child("patternFill").append_attribute("patternType") = "gray125";
    pugi::xml_node borders = root.append_child("borders");
    borders.append_attribute("count") = 1;
    pugi::xml_node border = borders.append_child("border");
    for (const char* side : {"left", "right", "top", "bottom", "diagonal"}) border.append_child(side);

    pugi::xml_node styleXfs = root.append_child("cellStyleXfs");
    styleXfs.append_attribute("count") = 1;
    pugi::xml_node base = styleXfs.append_child("xf");
    for (const char* attr : {"numFmtId", "fontId", "fillId", "borderId"}) base.append_attribute(attr) = 0;

    pugi::xml_node cellXfs = root.append_child("cellXfs");
    cellXfs.append_attribute("count") = static_cast<int>(std::size(kLayouts));
    for (const Layout& layout : kLayouts) {
        pugi::xml_node xf = cellXfs.append_child("xf");
        xf.append_attribute("numFmtId") = layout.numFmtId;
        xf.append_attribute("fontId") = layout.fontId;
        xf.append_attribute("fillId") = 0;
        xf.append_attribute("borderId") = 0;
        xf.append_attribute("xfId") = 0;
        if (layout.numFmtId != kGeneral) xf.append_attribute("applyNumberFormat") = 1;
        if (layout.fontId != 0) xf.append_attribute("applyFont") = 1;
        if (layout.right) xf.append_attribute("applyAlignment") = 1;
        xf.append_attribute("applyProtection") = 1;
        if (layout.right) xf.append_child("alignment").append_attribute("horizontal") = "right";
        xf.append_child("protection").append_attribute("locked") = 0;
    }
    pugi::xml_node styles = root.append_child("cellStyles");
    styles.append_attribute("count") = 1;
    pugi::xml_node normal = styles.append_child("cellStyle");
    normal.append_attribute("name") = "Normal";
    normal.append_attribute("xfId") = 0;
    normal.append_attribute("builtinId") = 0;
    return xmltext::Serialize(doc);
}

}  // namespace cellformats
