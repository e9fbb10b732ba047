#pragma once
#include <array>
#include <optional>
#include <string_view>

// The control's per-sheet view properties. Most are switches (0/1); ShowSelections
// and ShowTabs are modes (0 off, 1 on, 2 automatic / tab position).
enum class ViewProp {
    AllowDesigner, ShowGridLines, ShowRowHeading, ShowSelections, AllowResize,
    AllowSelections, AllowInCellEditing, AllowFillRange, AllowMoveRange, PrintNoColor,
    ShowColHeading, AllowArrows, AllowTabs, RowMode, AllowDelete, AllowEditHeaders,
    ShowFormulas, ShowZeroValues, ShowTabs, ShowEditBar, AllowAutoFill,
};

class ViewProperties {
public:
    static constexpr size_t kCount = 21;

    struct Info {
        ViewProp prop;
        std::string_view name;
        int defaultValue;
        int minValue;
        int maxValue;
    };
    // Every property in declaration order, the order files and dumps list them.
    static const std::array<Info, kCount>& All();
    static const Info& InfoOf(ViewProp prop);
    static std::optional<ViewProp> FromName(std::string_view name);

    ViewProperties();
    int Get(ViewProp prop) const { return values_[static_cast<size_t>(prop)]; }
    // CInvalidArgException when the value is out of the property's range.
    void Set(ViewProp prop, int value);
    bool operator==(const ViewProperties&) const = default;

private:
    std::array<int, kCount> values_{};
};
