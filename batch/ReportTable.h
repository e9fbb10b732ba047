#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Rows under fixed columns, written for a program (CSV, JSON) or for a person
// (an aligned table). The keys of the columns are fixed English words that
// scripts rely on; the headings of the table are in the user's language.
class ReportTable {
public:
    enum class Kind { kText, kNumber };
    // How a text too wide for its column is shortened: paths keep their
    // beginning and their end (the mandate's own folder), names their beginning.
    enum class Shorten { kMiddle, kEnd };

    struct Column {
        std::string key;      // CSV header and JSON key
        Kind kind = Kind::kText;
        std::string heading;  // the table's heading; empty: not in the table
        Shorten shorten = Shorten::kEnd;
    };
    // An unknown value is nullopt: empty in CSV and the table, null in JSON.
    using Field = std::optional<std::string>;
    using Row = std::vector<Field>;

    static constexpr std::size_t kTextWidth = 100;

    // A column as a report lists it, its heading taken by position from a
    // tab-separated text of the user's language.
    struct ColumnSpec {
        const char* key;
        Kind kind;
        Shorten shorten;
        bool inTable = true;  // false: in CSV and JSON only
    };

    explicit ReportTable(std::vector<Column> columns);
    // The table of `specs`, the headings from the text with the tab-separated `headings`.
    template <std::size_t N>
    static ReportTable Of(const ColumnSpec (&specs)[N], const std::string& headings) {
        return Of(specs, N, headings);
    }
    static ReportTable Of(const ColumnSpec* specs, std::size_t count, const std::string& headings);

    const std::vector<Column>& Columns() const { return columns_; }
    // The index of the column `key`; the key must be one of them.
    std::size_t Index(const std::string& key) const;

    // RFC 4180 in UTF-8: the keys, then one line per row, each ending in CRLF.
    std::string CsvHeader() const;
    std::string CsvRow(const Row& row) const;
    // An array of objects: JsonBegin, the rows (`index` from 0), JsonEnd.
    static std::string JsonBegin() { return "["; }
    std::string JsonRow(const Row& row, std::size_t index) const;
    static std::string JsonEnd() { return "\n]\n"; }
    // The heading line and the rows, aligned, at most `width` characters a
    // line: numbers keep their digits, the texts are shortened with "…".
    std::string Text(const std::vector<Row>& rows, std::size_t width = kTextWidth) const;

    // A row as one line (with its "\n") and back: how a worker process hands
    // its rows to the one that prints them. nullopt for a line that is no row.
    static std::string Encoded(const Row& row);
    static std::optional<Row> Decoded(const std::string& line);
    // `text` cut at every `separator`: one part more than separators.
    static std::vector<std::string> Split(const std::string& text, char separator);

    // A CSV field, quoted when it holds a comma, a quote or a line break.
    static std::string CsvField(const std::string& text);
    // A JSON string: the texts are UTF-8 already, so only quotes, backslashes
    // and control characters are escaped.
    static std::string JsonString(const std::string& text);
    // A text as the table shows it: control characters as \t, \n, \r or \xHH.
    static std::string Visible(const std::string& text);
    // Characters on screen (code points of UTF-8).
    static std::size_t Width(const std::string& text);
    // `text` in at most `width` characters, "…" where it was shortened.
    static std::string Shortened(const std::string& text, std::size_t width, Shorten shorten);

private:
    std::vector<Column> columns_;
};
