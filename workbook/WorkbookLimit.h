#pragma once
#include <cstddef>
#include <string>

#include "base/CException.h"
#include "base/Format.h"
#include "core/Strings.h"

// A workbook refused because it passes one of the reader's limits
// (ooxml::ReadLimits). The reason is a text of the string table, so it
// reaches the log in the user's language; TextId tells callers which limit.
class CWorkbookLimitException : public CFileException {
public:
    CWorkbookLimitException(int textId, const std::string& text) : CFileException(text), textId_(textId) {}
    int TextId() const { return textId_; }

private:
    int textId_;
};

namespace workbooklimit {

// "16 MiB", or "1000 B" for a size that is no whole number of MiB.
inline std::string SizeText(std::size_t bytes) {
    return bytes % (1u << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " B";
}

// Throws the limit's text `textId` (res/Resource.h) filled with `args`.
template <class... Args>
[[noreturn]] void Refuse(int textId, const Args&... args) {
    throw CWorkbookLimitException(textId, Format(LoadString(textId), args...));
}

}  // namespace workbooklimit
