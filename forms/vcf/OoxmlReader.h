#pragma once
#include <string>

class Workbook;

// Reads an OOXML spreadsheet package (ours, or one LibreOffice or Excel saved):
// sheets, cells with shared or inline strings, formulas with cached results,
// workbook-level defined names, sheet views and our view part. Anything
// malformed throws CFileException naming `label` and the part at fault.
namespace ooxml {

Workbook ReadPackage(std::string bytes, const std::string& label);

}  // namespace ooxml
