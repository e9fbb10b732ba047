#include "rules/ConvertTable.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <string_view>

#include "base/RegularFile.h"
#include "base/Windows1252.h"

namespace {

using Problem = ConvertTable::Problem;

constexpr const char* kArrow = "==>";
constexpr std::size_t kMaxTableSize = std::size_t{64} << 20;
constexpr std::string_view kUtf16LeMark = "\xFF\xFE", kUtf16BeMark = "\xFE\xFF";

std::string Trim(const std::string& text) {
    constexpr const char* kBlanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Why a table file that could not be opened is no table; nothing when there is none.
std::optional<Problem> OpenFailure(int error) {
    switch (error) {
    case ENOENT:
        return std::nullopt;
    case EISDIR:
        return Problem{Problem::Why::kFolder};
    case EINVAL:
        return Problem{Problem::Why::kNotRegularFile};
    default:
        return Problem{Problem::Why::kReadError, error};
    }
}

// The bytes of the file `fileName`. Only a regular file is read, and a FIFO is
// refused without waiting on it (regularfile::OpenForReading).
std::optional<Problem> ReadBytes(const std::string& fileName, std::string& bytes) {
    std::string error;
    const int fd = regularfile::OpenForReading(fileName, error);
    if (fd < 0) return OpenFailure(errno);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) break;
        const bool tooLarge = n > 0 && bytes.size() + static_cast<std::size_t>(n) > kMaxTableSize;
        if (n < 0 || tooLarge) {
            const int reason = n < 0 ? errno : EFBIG;
            ::close(fd);
            return Problem{Problem::Why::kReadError, reason};
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return std::nullopt;
}

// NUL and the control characters other than tab, line and page breaks (and
// the end-of-file mark of DOS editors) occur in no text file.
bool IsBinaryByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    constexpr std::string_view kTextControls = "\t\n\v\f\r\x1A";
    if (kTextControls.find(c) != std::string_view::npos) return false;
    return byte < 0x20 || byte == 0x7F;
}

// UTF-16 saved without a byte order mark: the letters, digits and signs of a
// table have a NUL as every second byte, always on the same side.
bool LooksLikeUtf16(std::string_view bytes) {
    if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
    std::size_t zeros[2] = {0, 0};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\0') ++zeros[i % 2];
    const bool oneSide = (zeros[0] == 0) != (zeros[1] == 0);
    return oneSide && std::max(zeros[0], zeros[1]) * 2 >= bytes.size() / 2;
}

// The file's bytes as the text Parse takes: UTF-16 with a byte order mark
// becomes UTF-8; UTF-8 and Windows-1252 stay as they are.
std::optional<Problem> DecodeTable(std::string bytes, std::string& text) {
    const std::string_view view(bytes);
    if (view.starts_with(kUtf16LeMark) || view.starts_with(kUtf16BeMark)) {
        const bool bigEndian = view.starts_with(kUtf16BeMark);
        std::optional<std::string> decoded = win1252::Utf16ToUtf8(view.substr(2), bigEndian);
        if (!decoded) return Problem{Problem::Why::kNotText};
        text = std::move(*decoded);
    } else if (LooksLikeUtf16(view)) {
        return Problem{Problem::Why::kUtf16WithoutBom};
    } else {
        text = std::move(bytes);
    }
    if (std::any_of(text.begin(), text.end(), IsBinaryByte)) return Problem{Problem::Why::kNotText};
    return std::nullopt;
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
    std::string bytes, text;
    problem_ = ReadBytes(FileName(), bytes);
    if (!problem_) problem_ = DecodeTable(std::move(bytes), text);
    if (!problem_) entries_ = Parse(text);
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
