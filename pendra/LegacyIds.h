#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pendra/TableLayout.h"

// Format 2 of the database kept tax ids as UTF-8 in their six-byte fields, so
// six umlauts did not fit and the old rule of new ids cut some inside a letter.
// Format 3 keeps them in Windows-1252 (TaxIdText.h). One id of format 2 becomes:
//  - UTF-8 whose characters Windows-1252 has: their Windows-1252 bytes;
//  - bytes that are no UTF-8 (an id cut inside a letter, "AB" + half an Ä +
//    "81"): the same bytes, from then on read as Windows-1252 ("ABÃ81"), so
//    the key and everything naming it still meet and nothing is lost;
//  - anything else (a character Windows-1252 lacks): kNotWindows1252.
// The id fields are all that changes; the other text fields stay UTF-8.
namespace pendra::legacy {

// True when the id has a byte beyond ASCII (ASCII ids are the same in both).
bool NeedsConversion(std::string_view former);
// kOk with `current` set, or kNotWindows1252.
int CurrentTaxId(std::string_view former, std::string& current);
// The id fields of a format-2 record of `layout` converted in place; on
// kNotWindows1252 the record is left as it was.
int ConvertRecord(const TableLayout& layout, unsigned char* record);
// The forms a current id of a field of `width` bytes can have had in format 2,
// the likely one first: one, or two when the id's bytes are no UTF-8.
std::vector<std::string> FormerTaxIds(std::string_view current, std::size_t width);

}  // namespace pendra::legacy
