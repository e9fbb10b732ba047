#include "taxkeys/ConvertTable.h"

#include <fstream>
#include <sstream>

#include "base/RegularFile.h"
#include "base/Windows1252.h"

namespace {

constexpr const char* kArrow = "==>";

std::string Trim(const std::string& text) {
    constexpr const char* kBlanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The file's bytes; a read that fails half-way keeps what was read before it,
// and a file that cannot be opened or read (a folder, a FIFO, no access) gives nothing.
std::string ReadFileText(const std::string& fileName) {
    std::string text, error;
    regularfile::ReadWhole(fileName, text, error, std::size_t{64} << 20);
    return text;
}

}  // namespace

std::forward_list<ConvertTable::ConvEntry> ConvertTable::Parse(const std::string& text) {
    std::forward_list<ConvEntry> entries;
    std::istringstream lines(win1252::DecodeWindowsText(text));
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.front() == ';') continue;
        const auto arrow = line.find(kArrow);
        if (arrow == std::string::npos) continue;
        entries.push_front({Trim(line.substr(0, arrow)), Trim(line.substr(arrow + 3))});
    }
    return entries;
}

void ConvertTable::LoadList(const std::string& path) {
    if (path == path_) return;
    DeleteList();
    path_ = path;
    entries_ = Parse(ReadFileText(path + "/" + kFileName));
}

const ConvertTable& ConvertTable::OrNone(const ConvertTable* table) {
    static const ConvertTable none;
    return table ? *table : none;
}

void ConvertTable::DeleteList() { entries_.clear(); }

int ConvertTable::Convert(std::string& id) const {
    for (const ConvEntry& entry : entries_) {
        if (entry.oldId == id) {
            id = entry.newId;
            return 1;
        }
    }
    return 0;
}
