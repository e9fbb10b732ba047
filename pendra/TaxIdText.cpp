#include "pendra/TaxIdText.h"

#include <optional>

#include "base/Windows1252.h"
#include "pendra/PendraStatus.h"

namespace pendra {

int EncodeTaxId(std::string_view id, std::size_t width, std::string& stored) {
    std::optional<std::string> bytes = win1252::FromUtf8(id);
    if (!bytes) return kNotWindows1252;
    if (bytes->size() > width) return kKeyTooLong;
    if (bytes->find('\0') != std::string::npos) return kBadArgument;
    stored = std::move(*bytes);
    return kOk;
}

std::string DecodeTaxId(std::string_view stored) { return win1252::ToUtf8(stored); }

}  // namespace pendra
