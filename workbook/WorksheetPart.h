#pragma once
#include <string>

class Sheet;

namespace ooxml {

class UnlockedFormats;

// The worksheet part `part` of `sheet`: the part the sheet was read from with
// the model's cells, formats, view and protection in it, or a new one.
// `unlocked` is the workbook's style sheet for a protected sheet, else null.
std::string WorksheetPart(const Sheet& sheet, bool active, const std::string& part, UnlockedFormats* unlocked);

}  // namespace ooxml
