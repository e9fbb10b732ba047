#pragma once
#include <string>
#include <vector>

// The product's INI format, read by one parser for every file of it (the
// product's settings, the rate-change definitions): "[section]" lines,
// "key=value" lines, comments starting with ";" or "#", blanks trimmed at
// both ends. Text written by the product on Windows (Windows-1252) is read as
// such; UTF-8 stays as it is. Lines of any other shape are skipped.
struct IniEntry {
    std::string section;  // as written, trimmed
    std::string key;      // as written, trimmed
    std::string value;    // trimmed
    int line = 0;         // 1-based, for messages that name it
    int sectionLine = 0;  // the line of the section's "[section]", 0 before any
};

std::vector<IniEntry> ParseIniText(const std::string& raw);

// Section and key names compare without regard to ASCII letter case, as the product's do.
std::string IniLower(std::string name);
