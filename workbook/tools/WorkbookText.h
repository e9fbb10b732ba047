#pragma once
#include <string>
#include <string_view>

#include "base/CException.h"

class Workbook;

// The line format mwst-vts dumps and builds workbooks from. One statement a
// line; "#" starts a comment, blank lines are ignored:
//
//   workbook                         first statement, required
//   active 1                         the active sheet (default 1)
//   sheet 2 "Ziffern"                starts sheet 2; the name is optional
//   selection B2:C3                  of the current sheet (default A1)
//   view ShowGridLines 0             of the current sheet (defaults apply)
//   cell 1 2 text "II_7_a"           row, column (or "cell B1 ..."), kind, value
//   cell 1 3 number 0.25
//   cell 1 4 formula "VSN77+VSB77"   optionally: cached number 5 / cached text "x"
//   name VERSION "2018"              a workbook-level defined name
//   format D6:E9 amount              of the current sheet: the cells' format
//   column B width 40                of the current sheet: a column's width ("B:D" a span)
//   page A4 portrait fit             of the current sheet: paper, orientation, on one page
//
// Strings are in double quotes with \\ \" \t \n \r and \xHH escapes. Sheets not
// mentioned up to four exist empty. The dump lists the content explicitly, so
// Print(Parse(Print(w))) == Print(w); formatting (format, column, page) is
// only built, never printed.
namespace workbooktext {

// A statement that cannot be understood, with its line number (from 1).
class ParseError : public CFileException {
public:
    ParseError(int line, const std::string& message)
        : CFileException("line " + std::to_string(line) + ": " + message), line_(line), reason_(message) {}
    int Line() const { return line_; }
    const std::string& Reason() const { return reason_; }

private:
    int line_;
    std::string reason_;
};

std::string Print(const Workbook& workbook);
Workbook Parse(std::string_view text);

// A string as the format writes it: quoted, with escapes.
std::string Quote(std::string_view text);

}  // namespace workbooktext
