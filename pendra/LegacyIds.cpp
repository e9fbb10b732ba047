#include "pendra/LegacyIds.h"

#include <cstring>
#include <optional>

#include "base/Windows1252.h"
#include "pendra/PendraStatus.h"

namespace pendra::legacy {
namespace {

int ConvertField(unsigned char* record, std::size_t offset, std::size_t width) {
    const std::string former = FixedField(record, offset, width);
    if (!NeedsConversion(former)) return kOk;
    std::string current;
    const int status = CurrentTaxId(former, current);
    if (status != kOk) return status;
    std::memset(record + offset, 0, width);
    std::memcpy(record + offset, current.data(), current.size());
    return kOk;
}

}  // namespace

bool NeedsConversion(std::string_view former) {
    for (const char c : former) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

int CurrentTaxId(std::string_view former, std::string& current) {
    if (win1252::IsValidUtf8(former)) {
        std::optional<std::string> bytes = win1252::FromUtf8(former);
        if (!bytes) return kNotWindows1252;
        current = std::move(*bytes);
        return kOk;
    }
    std::string unused;
    std::size_t badOffset = 0;
    if (!win1252::ToUtf8(former, unused, badOffset)) return kNotWindows1252;
    current.assign(former);
    return kOk;
}

int ConvertRecord(const TableLayout& layout, unsigned char* record) {
    // Both fields are converted before either is written, so a failure leaves the record whole.
    std::vector<unsigned char> copy(record, record + layout.recordSize);
    int status = kOk;
    if (layout.keyIsTaxId) status = ConvertField(copy.data(), layout.keyOffset, layout.keyWidth);
    if (status == kOk && layout.hasTaxIndex) {
        status = ConvertField(copy.data(), layout.taxIdOffset, layout.taxIdWidth);
    }
    if (status == kOk) std::memcpy(record, copy.data(), copy.size());
    return status;
}

std::vector<std::string> FormerTaxIds(std::string_view current, std::size_t width) {
    std::vector<std::string> forms;
    std::string utf8;
    std::size_t badOffset = 0;
    if (win1252::ToUtf8(current, utf8, badOffset) && utf8.size() <= width) {
        forms.push_back(utf8);
    }
    std::string same;
    if (!win1252::IsValidUtf8(current) && CurrentTaxId(current, same) == kOk) {
        forms.emplace_back(current);
    }
    return forms;
}

}  // namespace pendra::legacy
