#pragma once
#include <string>
#include <vector>

class Workbook;

namespace ooxml {

// Where each sheet of the model goes: its part and the relationship to it.
struct SheetSlot {
    std::string part;
    std::string relId;
};

// The workbook part `part` of `wb` (`xml`: the one it was read from, or null
// for a new one): its book view, its sheets in `slots`, its defined names.
std::string WorkbookPart(const std::string* xml, const std::string& part, const Workbook& wb,
                         const std::vector<SheetSlot>& slots);

}  // namespace ooxml
