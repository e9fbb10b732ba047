#pragma once
#include <cstddef>
#include <string>

class Workbook;

// Reads an OOXML spreadsheet package (ours, or one LibreOffice or Excel saved):
// sheets, cells with shared or inline strings, formulas with cached results,
// workbook-level defined names, sheet views and our view part. Anything
// malformed throws CFileException naming `label` and the part at fault.
namespace ooxml {

// Bounds no real form comes near and every hostile file hits early: reading
// stops with CWorkbookLimitException (workbook/WorkbookLimit.h), its reason
// in the user's language and naming the file, as soon as one is passed. A
// workbook exactly at a limit still reads. Each part is parsed at most once
// (a sheet part named by two sheets is refused), and every XML part is
// measured before it is parsed (workbook/XmlBounds.h), so reading and
// writing back a workbook at these limits stays below 256 MB (bench/README.md).
struct ReadLimits {
    std::size_t packageBytes = 16u << 20;  // all parts together, unpacked
    std::size_t partBytes = 8u << 20;      // one part, unpacked
    std::size_t parts = 4096;              // entries of the archive
    std::size_t sheets = 256;
    std::size_t sharedStrings = 100000;
    std::size_t cells = 100000;            // <c> elements of all sheets together
    std::size_t xmlNodes = 1000000;        // elements, attributes and texts of the XML parts read
    std::size_t xmlDepth = 64;             // elements open at once in one part
};

Workbook ReadPackage(std::string bytes, const std::string& label, const ReadLimits& limits = ReadLimits());

}  // namespace ooxml
