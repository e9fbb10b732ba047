#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "workbook/Cell.h"

// A1-style cell references as OOXML and the selection texts use them.
namespace cellref {

// "A" -> 1, "XFD" -> 16384; nullopt for anything that is not a column name in range.
std::optional<long> ParseColumn(std::string_view letters);
std::string ColumnName(long col);

// "B12" (optionally "$B$12") -> {12, 2}; nullopt when malformed or out of range.
std::optional<CellPos> Parse(std::string_view ref);
std::string Format(CellPos pos);

// True for "A1", "B2:C3", and lists of those separated by blanks or commas.
bool IsSelection(std::string_view selection);
// The selection as an OOXML sqref: "$" removed, ranges separated by one blank.
std::string ToSqref(std::string_view selection);
// The first cell of a selection, its active cell.
CellPos FirstCell(std::string_view selection);

}  // namespace cellref
