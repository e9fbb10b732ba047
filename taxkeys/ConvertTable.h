#pragma once
#include <forward_list>
#include <string>

// The per-mandate conversion table: "<mandate dir>/quorvex.txt", in which the
// user prescribes the new id of single old keys, one "OLD ==> NEW" per line.
// A line starting with ";" is a comment; lines without "==>" are ignored.
// The entry of a later line wins. A command gets the table of its mandate
// with its context (core/CommandContext.h); LoadList reads a directory's
// table once and keeps it while the directory stays the same.
class ConvertTable {
public:
    struct ConvEntry {
        std::string oldId;
        std::string newId;
    };

    static constexpr const char* kFileName = "quorvex.txt";

    ConvertTable() = default;  // no entries: the built-in rule decides every id
    // The table of the mandate directory `dir`.
    explicit ConvertTable(const std::string& dir) { LoadList(dir); }
    // `table`, or the empty table where there is none.
    static const ConvertTable& OrNone(const ConvertTable* table);
    ConvertTable(const ConvertTable&) = delete;
    ConvertTable& operator=(const ConvertTable&) = delete;

    // 1 when the loaded table has an entry for `id` (exact, case-sensitive);
    // `id` is then the entry's new id. 0 otherwise.
    int Convert(std::string& id) const;
    // (Re)builds the list from `path`'s table when `path` is not the last one.
    void LoadList(const std::string& path);
    void DeleteList();

    // Parses the text of a table file into entries, latest line first.
    static std::forward_list<ConvEntry> Parse(const std::string& text);

private:
    std::forward_list<ConvEntry> entries_;  // reverse file order: later lines first
    std::string path_;                      // directory last loaded from
};
