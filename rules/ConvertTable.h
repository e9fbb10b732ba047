#pragma once
#include <cstddef>
#include <forward_list>
#include <optional>
#include <string>

// The per-mandate conversion table: "<mandate dir>/quorvex.txt", in which the
// user prescribes the new id of single old keys, one "OLD ==> NEW" per line.
// A line starting with ";" is a comment; lines without "==>" are ignored.
// The entry of a later line wins. A command gets the table of its mandate
// with its context (core/CommandContext.h); LoadList reads a directory's
// table once and keeps it while the directory stays the same.
//
// The file is read as UTF-8 or Windows-1252, or as UTF-16 when it starts with
// a byte order mark. A file that is there but cannot be read as text leaves
// the table without entries and says why (Unreadable()): the built-in rule
// must not stand in for ids that the user prescribed.
class ConvertTable {
public:
    struct ConvEntry {
        std::string oldId;
        std::string newId;
    };

    // Why the table file of the directory could not be read as a table.
    struct Problem {
        enum class Why { kFolder, kNotRegularFile, kReadError, kUtf16WithoutBom, kNotText };
        Why why = Why::kReadError;
        int error = 0;  // kReadError: the errno
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

    // Set when the table file of the loaded directory exists but could not be
    // read as text (then there are no entries).
    const std::optional<Problem>& Unreadable() const { return problem_; }
    // The table file of the loaded directory.
    std::string FileName() const { return path_ + "/" + kFileName; }

    // Parses the text of a table file into entries, latest line first.
    static std::forward_list<ConvEntry> Parse(const std::string& text);

private:
    std::forward_list<ConvEntry> entries_;  // reverse file order: later lines first
    std::string path_;                      // directory last loaded from
    std::optional<Problem> problem_;
};
