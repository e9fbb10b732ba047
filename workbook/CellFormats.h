#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The cell formats of the style sheet a workbook gets when it brings none of
// its own: a new workbook and a template built from text. A cell's format is
// its index here; a workbook read from a file keeps the file's style sheet and
// its indexes instead.
namespace cellformats {

struct Named {
    std::string_view name;
    int index;
    std::string_view meaning;
};

// normal 0, bold 1, title 2, amount 3 ("#,##0.00"), total 4 (amount, bold),
// rate 5 ("0.0"), heading 6 (bold, right-aligned). Every one is unlocked, so
// that the cells of a sheet protected in its structure take input.
const std::vector<Named>& All();
std::optional<int> FromName(std::string_view name);

// The style sheet part (xl/styles.xml) holding these formats in this order.
std::string StyleSheetXml();

}  // namespace cellformats
