#pragma once
#include <forward_list>
#include <string>

// The per-mandate conversion table: "<mandate dir>/quorvex.txt", in which the
// user prescribes the new id of single old keys, one "OLD ==> NEW" per line.
// A line starting with ";" is a comment; lines without "==>" are ignored.
// The list is loaded lazily, at most once per mandate directory; the entry of
// a later line wins. Exactly one exists: `convtable`.
class ConvertTable {
public:
    struct ConvEntry {
        std::string oldId;
        std::string newId;
    };

    static constexpr const char* kFileName = "quorvex.txt";

    ConvertTable() = default;
    virtual ~ConvertTable() = default;
    ConvertTable(const ConvertTable&) = delete;
    ConvertTable& operator=(const ConvertTable&) = delete;

    // 1 when the table of the global mandate's directory has an entry for `id`
    // (exact, case-sensitive); `id` is then the entry's new id. 0 otherwise.
    int Convert(std::string& id);
    // (Re)builds the list from `path`'s table when `path` is not the last one.
    void LoadList(const std::string& path);
    void DeleteList();

    // Parses the text of a table file into entries, latest line first.
    static std::forward_list<ConvEntry> Parse(const std::string& text);

private:
    std::forward_list<ConvEntry> entries_;  // reverse file order: later lines first
    std::string path_;                      // directory last loaded from
};

extern ConvertTable convtable;
