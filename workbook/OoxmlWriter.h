#pragma once
#include <string>

class Workbook;

// Serializes a workbook as an OOXML spreadsheet package (the bytes of a .VTS
// file): worksheets with inline strings and formulas, defined names, the sheet
// views LibreOffice understands, and our own part with all view properties.
namespace ooxml {

std::string WritePackage(const Workbook& workbook);

}  // namespace ooxml
