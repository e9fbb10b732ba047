#pragma once
#include <string>
#include <string_view>

// What texts the workbook accepts. Everything stored must be valid UTF-8 so the
// XML parts stay well formed; formulas, names and sheet names additionally may
// not carry control characters other than tab and newline, which XML cannot hold.
namespace textrules {

// Sheet names compare case-insensitively in spreadsheets ("Sheet1" == "SHEET1").
bool SameSheetName(std::string_view a, std::string_view b);

// Each throws CInvalidArgException naming `what` when the text is not acceptable.
void RequireCellText(std::string_view text, const char* what);
void RequireXmlSafeText(std::string_view text, const char* what);
void RequireSheetName(std::string_view name);
void RequireDefinedName(std::string_view name);

}  // namespace textrules
