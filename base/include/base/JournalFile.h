#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The one reader of the journals the program keeps in a mandate folder: the
// backup manifest, the restore journal, the formula pass journal and the form
// activation's journal. They share one shape: a header line that names the
// kind and its version, then one entry per line, each ended by "\n". The
// reader splits them and refuses, naming the journal and the line, what none
// of their writers produces: another header, a line ended by CR LF, a last
// line without its end (a write cut off), a name that is no relative name
// inside the folder. Each journal reads its own fields from the entries.
namespace journalfile {

// One line after the header, without its end.
struct Entry {
    int line = 0;  // the header is line 1
    std::string text;
    // Up to the first blank; the whole text when it has none.
    std::string_view Field() const;
    // After the first blank; empty when there is none.
    std::string_view Value() const;
    bool HasValue() const;
};

// Why a journal is not read: "JOURNAL, line N: WHY"; for a file that cannot
// be read at all (line 0) the reason, which names it.
struct Refusal {
    std::string journal;
    int line = 0;
    std::string why;
    std::string Describe() const;
};

// What a name in a journal must be: one name in the folder, or a path of
// names below it.
enum class Name { kSingle, kPath };

// A file system allows no longer name in a folder.
inline constexpr std::size_t kMaxNameLength = 255;

class Journal {
public:
    // The entries of `text` under `header`; `journal` names it in a refusal.
    static Journal Parse(std::string_view text, std::string_view header, const std::string& journal);
    // The same for the regular file `path`, of at most `maxSize` bytes.
    static Journal Read(const std::string& path, std::string_view header, std::size_t maxSize);

    const std::vector<Entry>& Entries() const { return entries_; }
    const std::optional<Refusal>& Refused() const { return refusal_; }
    explicit operator bool() const { return !refusal_; }

    // Refuses the journal at `entry` unless `name` is a relative name inside
    // the folder (not empty, not absolute, no "." or ".." part, no part
    // longer than kMaxNameLength); true when it is.
    bool CheckName(const Entry& entry, std::string_view name, Name kind);
    // Refuses the journal at `entry` for a reason of the caller's; false, to
    // return at once.
    bool Refuse(const Entry& entry, std::string why);

private:
    explicit Journal(std::string name) : name_(std::move(name)) {}

    std::string name_;
    std::vector<Entry> entries_;
    std::optional<Refusal> refusal_;
};

// Why `name` is no relative name inside a folder; nullopt when it is one.
std::optional<std::string> WhyNotRelative(std::string_view name, Name kind);

}  // namespace journalfile
