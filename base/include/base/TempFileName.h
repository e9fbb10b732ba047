#pragma once
#include <string>
#include <string_view>

// Names of the temporary files written beside a file that is being replaced:
// "<target>.mwsttmp-<suffix>", the suffix letters and digits only. A process
// killed between writing and renaming leaves one behind; the mark lets a
// later run recognise it as ours and remove it without touching anything else.
namespace tempname {

inline constexpr std::string_view kMark = ".mwsttmp-";

// The name for `target` with `suffix` ("XXXXXX" for mkstemp).
inline std::string For(const std::string& target, std::string_view suffix) {
    return target + std::string(kMark) + std::string(suffix);
}

// True when `fileName` (a name without directory) is a temporary file of
// ours; `target` then receives the name of the file it was meant to replace.
inline bool IsTemporary(std::string_view fileName, std::string* target = nullptr) {
    const std::size_t mark = fileName.rfind(kMark);
    if (mark == std::string_view::npos || mark == 0) return false;
    const std::string_view suffix = fileName.substr(mark + kMark.size());
    if (suffix.empty()) return false;
    for (char c : suffix) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum) return false;
    }
    if (target) *target = std::string(fileName.substr(0, mark));
    return true;
}

}  // namespace tempname
