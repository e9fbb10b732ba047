#include "workbook/ViewProperties.h"

#include <string>

#include "base/CException.h"

namespace {

constexpr int kShortMin = -32768;
constexpr int kShortMax = 32767;

using Info = ViewProperties::Info;

constexpr Info Switch(ViewProp prop, std::string_view name, int defaultValue) {
    return Info{prop, name, defaultValue, 0, 1};
}
constexpr Info Mode(ViewProp prop, std::string_view name, int defaultValue) {
    return Info{prop, name, defaultValue, kShortMin, kShortMax};
}

constexpr std::array<Info, ViewProperties::kCount> kInfos = {{
    Switch(ViewProp::AllowDesigner, "AllowDesigner", 0),
    Switch(ViewProp::ShowGridLines, "ShowGridLines", 1),
    Switch(ViewProp::ShowRowHeading, "ShowRowHeading", 1),
    Mode(ViewProp::ShowSelections, "ShowSelections", 1),
    Switch(ViewProp::AllowResize, "AllowResize", 1),
    Switch(ViewProp::AllowSelections, "AllowSelections", 1),
    Switch(ViewProp::AllowInCellEditing, "AllowInCellEditing", 1),
    Switch(ViewProp::AllowFillRange, "AllowFillRange", 1),
    Switch(ViewProp::AllowMoveRange, "AllowMoveRange", 1),
    Switch(ViewProp::PrintNoColor, "PrintNoColor", 0),
    Switch(ViewProp::ShowColHeading, "ShowColHeading", 1),
    Switch(ViewProp::AllowArrows, "AllowArrows", 1),
    Switch(ViewProp::AllowTabs, "AllowTabs", 1),
    Switch(ViewProp::RowMode, "RowMode", 0),
    Switch(ViewProp::AllowDelete, "AllowDelete", 1),
    Switch(ViewProp::AllowEditHeaders, "AllowEditHeaders", 1),
    Switch(ViewProp::ShowFormulas, "ShowFormulas", 0),
    Switch(ViewProp::ShowZeroValues, "ShowZeroValues", 1),
    Mode(ViewProp::ShowTabs, "ShowTabs", 1),
    Switch(ViewProp::ShowEditBar, "ShowEditBar", 1),
    Switch(ViewProp::AllowAutoFill, "AllowAutoFill", 1),
}};

constexpr bool InDeclarationOrder() {
    for (size_t i = 0; i < kInfos.size(); ++i)
        if (static_cast<size_t>(kInfos[i].prop) != i) return false;
    return true;
}
static_assert(InDeclarationOrder(), "the table must follow the ViewProp order");

}  // namespace

const std::array<Info, ViewProperties::kCount>& ViewProperties::All() { return kInfos; }

const Info& ViewProperties::InfoOf(ViewProp prop) { return kInfos[static_cast<size_t>(prop)]; }

std::optional<ViewProp> ViewProperties::FromName(std::string_view name) {
    for (const auto& info : kInfos)
        if (info.name == name) return info.prop;
    return std::nullopt;
}

ViewProperties::ViewProperties() {
    for (const auto& info : kInfos) values_[static_cast<size_t>(info.prop)] = info.defaultValue;
}

void ViewProperties::Set(ViewProp prop, int value) {
    const Info& info = InfoOf(prop);
    if (value < info.minValue || value > info.maxValue)
        throw CInvalidArgException("view property " + std::string(info.name) + ": value " +
                                   std::to_string(value) + " is out of range " +
                                   std::to_string(info.minValue) + ".." + std::to_string(info.maxValue));
    values_[static_cast<size_t>(prop)] = value;
}
