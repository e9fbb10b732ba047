#include "batch/ReportTable.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr const char* kEllipsis = "…";
constexpr std::size_t kGap = 2;  // spaces between two columns of the table

bool Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The byte offsets where the characters of `text` begin, and its size last.
std::vector<std::size_t> CharacterStarts(const std::string& text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!Continuation(static_cast<unsigned char>(text[i]))) starts.push_back(i);
    starts.push_back(text.size());
    return starts;
}

std::string Padded(const std::string& text, std::size_t width, bool right) {
    const std::size_t shown = ReportTable::Width(text);
    const std::string fill(width > shown ? width - shown : 0, ' ');
    return right ? fill + text : text + fill;
}

// Column widths that fit `available`: numbers keep theirs, the texts share
// what is left, the narrow ones whole, the wide ones in equal parts.
std::vector<std::size_t> Fitted(const std::vector<std::size_t>& natural, const std::vector<bool>& shrinks,
                                std::size_t available) {
    std::vector<std::size_t> widths = natural;
    std::size_t fixed = 0;
    std::vector<std::size_t> shrinking;
    for (std::size_t i = 0; i < natural.size(); ++i) {
        if (shrinks[i])
            shrinking.push_back(i);
        else
            fixed += natural[i];
    }
    std::size_t left = available > fixed ? available - fixed : 0;
    std::sort(shrinking.begin(), shrinking.end(),
              [&natural](std::size_t a, std::size_t b) { return natural[a] < natural[b]; });
    for (std::size_t n = 0; n < shrinking.size(); ++n) {
        const std::size_t share = std::max<std::size_t>(left / (shrinking.size() - n), 1);
        widths[shrinking[n]] = std::min(natural[shrinking[n]], share);
        left -= std::min(left, widths[shrinking[n]]);
    }
    return widths;
}

}  // namespace

ReportTable::ReportTable(std::vector<Column> columns) : columns_(std::move(columns)) {}

std::size_t ReportTable::Index(const std::string& key) const {
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].key == key) return i;
    return columns_.size();
}

std::string ReportTable::CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string ReportTable::JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

std::string ReportTable::CsvHeader() const {
    std::string line;
    for (const Column& column : columns_) line += (line.empty() ? "" : ",") + CsvField(column.key);
    return line + "\r\n";
}

std::string ReportTable::CsvRow(const Row& row) const {
    std::string line;
    for (std::size_t i = 0; i < columns_.size(); ++i)
        line += (i ? "," : "") + CsvField(i < row.size() ? row[i].value_or("") : "");
    return line + "\r\n";
}

std::string ReportTable::JsonRow(const Row& row, std::size_t index) const {
    std::string object = index ? ",\n  {" : "\n  {";
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Field field = i < row.size() ? row[i] : std::nullopt;
        object += (i ? ", " : "") + JsonString(columns_[i].key) + ": ";
        if (!field)
            object += "null";
        else if (columns_[i].kind == Kind::kNumber && !field->empty())
            object += *field;
        else
            object += JsonString(*field);
    }
    return object + "}";
}

std::string ReportTable::Visible(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c == '\t') {
            shown += "\\t";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::size_t ReportTable::Width(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return !Continuation(static_cast<unsigned char>(c));
    }));
}

std::string ReportTable::Shortened(const std::string& text, std::size_t width, Shorten shorten) {
    const std::vector<std::size_t> starts = CharacterStarts(text);
    const std::size_t characters = starts.size() - 1;
    if (characters <= width) return text;
    if (width == 0) return {};
    const std::size_t kept = width - 1;  // beside the "…"
    if (shorten == Shorten::kEnd) return text.substr(0, starts[kept]) + kEllipsis;
    const std::size_t head = (kept + 1) / 2, tail = kept - head;
    return text.substr(0, starts[head]) + kEllipsis + text.substr(starts[characters - tail]);
}

std::string ReportTable::Text(const std::vector<Row>& rows, std::size_t width) const {
    std::vector<std::size_t> shown;  // the columns in the table
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (!columns_[i].heading.empty()) shown.push_back(i);
    if (shown.empty()) return {};
    std::vector<std::vector<std::string>> cells(rows.size() + 1);
    for (std::size_t column : shown) cells[0].push_back(Visible(columns_[column].heading));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t column : shown)
            cells[r + 1].push_back(Visible(column < rows[r].size() ? rows[r][column].value_or("") : ""));

    std::vector<std::size_t> natural(shown.size(), 0);
    std::vector<bool> shrinks(shown.size());
    for (std::size_t c = 0; c < shown.size(); ++c) {
        // Numbers are never shortened: a shortened number would be another one.
        shrinks[c] = columns_[shown[c]].kind != Kind::kNumber;
        for (const std::vector<std::string>& line : cells) natural[c] = std::max(natural[c], Width(line[c]));
    }
    const std::size_t gaps = kGap * (shown.size() - 1);
    const std::vector<std::size_t> widths = Fitted(natural, shrinks, width > gaps ? width - gaps : 0);

    std::string text;
    for (const std::vector<std::string>& line : cells) {
        std::string out;
        for (std::size_t c = 0; c < shown.size(); ++c) {
            const Column& column = columns_[shown[c]];
            const std::string cell = Shortened(line[c], widths[c], column.shorten);
            const bool last = c + 1 == shown.size();
            out += (c ? std::string(kGap, ' ') : "") +
                   (last && column.kind != Kind::kNumber ? cell : Padded(cell, widths[c], column.kind == Kind::kNumber));
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        text += out + "\n";
    }
    return text;
}

std::string ReportTable::Encoded(const Row& row) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) line += '\t';
        if (!row[i]) {
            line += "\\0";
            continue;
        }
        for (char c : *row[i]) {
            switch (c) {
            case '\\': line += "\\\\"; break;
            case '\t': line += "\\t"; break;
            case '\n': line += "\\n"; break;
            case '\r': line += "\\r"; break;
            default: line += c;
            }
        }
    }
    return line + "\n";
}

std::optional<ReportTable::Row> ReportTable::Decoded(const std::string& line) {
    Row row(1, std::string());
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            row.emplace_back(std::string());
            continue;
        }
        // An unknown field is "\0" alone; a line break ends the line, never within it.
        if (!row.back() || c == '\n' || c == '\r') return std::nullopt;
        if (c != '\\') {
            *row.back() += c;
            continue;
        }
        if (++i == line.size()) return std::nullopt;
        switch (line[i]) {
        case '0':
            if (!row.back()->empty()) return std::nullopt;
            row.back().reset();
            break;
        case '\\': *row.back() += '\\'; break;
        case 't': *row.back() += '\t'; break;
        case 'n': *row.back() += '\n'; break;
        case 'r': *row.back() += '\r'; break;
        default: return std::nullopt;
        }
    }
    return row;
}

std::vector<std::string> ReportTable::Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

ReportTable ReportTable::Of(const ColumnSpec* specs, std::size_t count, const std::string& headingText) {
    const std::vector<std::string> headings = Split(headingText, '\t');
    std::vector<Column> columns;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string heading = specs[i].inTable && i < headings.size() ? headings[i] : std::string();
        columns.push_back({specs[i].key, specs[i].kind, heading, specs[i].shorten});
    }
    return ReportTable(std::move(columns));
}
