#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "pendra/StorageEngine.h"

class Mandate;

// The text form of a mandate's records, written by `mwst-mandant dump` and
// read by `mwst-mandant load`. One record a line, fields separated by blanks,
// the trailing TEXT is the rest of the line; `-` stands for an empty field;
// `#` starts a comment line:
//   key ID RATE GROSS netto|brutto ACCOUNT [TEXT]      (RATE, GROSS in percent)
//   account NUMBER TYPE TAXID [NAME]
//   booking NUMBER DATE ACCOUNT AMOUNT TAXID [TEXT]     (DATE as YYYYMMDD or YYYY-MM-DD)
//   setting SECTION KEY VALUE
// Input may be UTF-8 or Windows-1252 with LF or CR LF line ends; records hold UTF-8.
namespace mandant {

struct TextError {
    int line = 0;       // 1-based; 0: not tied to a line
    std::string field;  // as named in the line format above, e.g. "RATE"
    std::string message;
    std::string ToString() const;
};

enum class EntryKind { kKey, kAccount, kBooking, kSetting };

struct TextEntry {
    int line;
    EntryKind kind;
    std::vector<unsigned char> record;  // a whole record; empty for settings
    MandateSetting setting{};
};

struct ParsedText {
    std::vector<TextEntry> entries;
    std::vector<TextError> errors;  // every bad line, in order
};

ParsedText ParseMandateText(std::string_view input);

// Rate or gross factor in percent as the dump writes it: %g of value * 100,
// with more digits only where %g would not read back to the same float.
std::string FormatPercent(float fraction);

// The line of one record (without line end).
std::string FormatTaxLine(const unsigned char* record);
std::string FormatKontoLine(const unsigned char* record);
std::string FormatBuchLine(const unsigned char* record);
std::string FormatSettingLine(const MandateSetting& setting);

// Writes header comments, then settings, keys, accounts and bookings in key order.
int DumpMandate(Mandate& mandate, std::ostream& out);

// Adds every entry in one transaction: on any failure nothing is written and
// `error` names the line and field.
int LoadIntoMandate(Mandate& mandate, const ParsedText& text, TextError& error);

}  // namespace mandant
