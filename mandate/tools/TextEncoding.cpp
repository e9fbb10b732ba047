#include "mandate/tools/TextEncoding.h"

#include <cstdint>

namespace mandant {
namespace {

// Windows-1252 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto byte = static_cast<unsigned char>(text[i]);
        int length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3
                                   : (byte >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        char32_t c = length == 1 ? byte : byte & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are no UTF-8.
        constexpr char32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kMinimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

bool ToUtf8(std::string_view text, std::string& out, int& badLine) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (IsValidUtf8(text)) {
        out.assign(text);
        return true;
    }
    out.clear();
    int line = 1;
    for (char raw : text) {
        auto byte = static_cast<unsigned char>(raw);
        if (byte == '\n') ++line;
        if (byte < 0x80) {
            out += raw;
        } else if (byte < 0xA0) {
            char16_t c = kHighControls[byte - 0x80];
            if (c == 0) {
                badLine = line;
                return false;
            }
            AppendUtf8(out, c);
        } else {
            AppendUtf8(out, byte);
        }
    }
    return true;
}

}  // namespace mandant
