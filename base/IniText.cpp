#include "base/IniText.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "base/Windows1252.h"

namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::string IniLower(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

std::vector<IniEntry> ParseIniText(const std::string& raw) {
    std::istringstream in(win1252::DecodeWindowsText(raw));
    std::vector<IniEntry> entries;
    std::string section;
    int number = 0, sectionLine = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            section = Trim(line.substr(1, line.find(']') - 1));
            sectionLine = number;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        entries.push_back({section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), number, sectionLine});
    }
    return entries;
}
