#pragma once
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Parser of the string table files of res/ (library messages, app texts).
// One entry per line: `ID<TAB>text`; the text may contain the escapes \n \r \t
// and \\; lines starting with `#` and empty lines are ignored; CR LF accepted.
struct StringTableError {
    int line;             // 1-based
    std::string message;  // what is wrong with it
};

struct StringTable {
    std::map<int, std::string> entries;
    std::vector<StringTableError> errors;  // malformed lines; they add no entry
};

StringTable ParseStringTable(std::string_view text);
