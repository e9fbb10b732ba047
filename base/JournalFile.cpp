#include "base/JournalFile.h"

#include <algorithm>

#include "base/RegularFile.h"

namespace journalfile {

std::string_view Entry::Field() const { return std::string_view(text).substr(0, text.find(' ')); }

std::string_view Entry::Value() const {
    const std::size_t blank = text.find(' ');
    return blank == std::string::npos ? std::string_view() : std::string_view(text).substr(blank + 1);
}

bool Entry::HasValue() const { return text.find(' ') != std::string::npos; }

std::string Refusal::Describe() const {
    // The reason a file could not be read names the file already.
    return line > 0 ? journal + ", line " + std::to_string(line) + ": " + why : why;
}

Journal Journal::Parse(std::string_view text, std::string_view header, const std::string& journal) {
    Journal read(journal);
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        Entry entry{number, std::string(text.substr(0, end))};
        // Every writer ends each line; a line without its end is a write cut off.
        if (end == std::string_view::npos) return read.Refuse(entry, "the line has no end"), read;
        if (entry.text.ends_with('\r')) return read.Refuse(entry, "the line ends with CR LF"), read;
        text.remove_prefix(end + 1);
        if (number == 1) {
            if (entry.text != header) return read.Refuse(entry, "not \"" + std::string(header) + "\""), read;
            continue;
        }
        read.entries_.push_back(std::move(entry));
    }
    if (number == 0) read.Refuse(Entry{1, {}}, "empty");
    return read;
}

Journal Journal::Read(const std::string& path, std::string_view header, std::size_t maxSize) {
    std::string text, error;
    if (!regularfile::ReadWhole(path, text, error, maxSize)) {
        Journal unread(path);
        unread.refusal_ = Refusal{path, 0, error};
        return unread;
    }
    return Parse(text, header, path);
}

bool Journal::CheckName(const Entry& entry, std::string_view name, Name kind) {
    const std::optional<std::string> why = WhyNotRelative(name, kind);
    return !why || Refuse(entry, *why);
}

bool Journal::Refuse(const Entry& entry, std::string why) {
    if (!refusal_) refusal_ = Refusal{name_, entry.line, std::move(why)};
    return false;
}

std::optional<std::string> WhyNotRelative(std::string_view name, Name kind) {
    const std::string quoted = "\"" + std::string(name) + "\"";
    if (name.empty()) return "no name";
    if (name.front() == '/') return quoted + " is an absolute path";
    if (kind == Name::kSingle && name.find('/') != std::string_view::npos) return quoted + " is no single name";
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return quoted + " leaves the folder or names no file";
        if (part.size() > kMaxNameLength) return quoted + " is too long";
        start = end + 1;
    }
    return std::nullopt;
}

}  // namespace journalfile
