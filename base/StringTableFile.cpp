#include "base/StringTableFile.h"

#include <charconv>

namespace {

bool Unescape(std::string_view raw, std::string& out, std::string& error) {
    out.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            out += raw[i];
            continue;
        }
        if (i + 1 == raw.size()) {
            error = "backslash at end of line";
            return false;
        }
        switch (raw[++i]) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case '\\': out += '\\'; break;
            default:
                error = std::string("unknown escape \\") + raw[i];
                return false;
        }
    }
    return true;
}

}  // namespace

StringTable ParseStringTable(std::string_view text) {
    StringTable table;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;

        auto fail = [&](std::string message) {
            table.errors.push_back({lineNumber, std::move(message)});
        };
        std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            fail("no tab between id and text");
            continue;
        }
        std::string_view idText = line.substr(0, tab);
        int id = 0;
        auto [ptr, ec] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
        if (idText.empty() || ec != std::errc() || ptr != idText.data() + idText.size()) {
            fail("id '" + std::string(idText) + "' is not a number");
            continue;
        }
        std::string value, error;
        if (!Unescape(line.substr(tab + 1), value, error)) {
            fail(error);
            continue;
        }
        if (!table.entries.emplace(id, std::move(value)).second) {
            fail("id " + std::to_string(id) + " appears twice");
        }
    }
    return table;
}
