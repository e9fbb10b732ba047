#include "base/Windows1252.h"

#include <array>

namespace win1252 {
namespace {

constexpr char32_t kNone = 0;
constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// 0x80..0x9F; kNone where the code page has no character. Everything else is
// the byte's own Latin-1 code point.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, kNone,  0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, kNone,  0x017D, kNone,
    kNone,  0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, kNone,  0x017E, 0x0178,
};

// Decodes the UTF-8 character at `i`; false, `i` unchanged, when the bytes
// there are no well-formed character.
bool NextCodePoint(std::string_view text, std::size_t& i, char32_t& code) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    if (lead < 0x80) {
        code = lead;
        ++i;
        return true;
    } else if ((lead >> 5) == 0x6) {
        length = 2, code = lead & 0x1F;
    } else if ((lead >> 4) == 0xE) {
        length = 3, code = lead & 0x0F;
    } else if ((lead >> 3) == 0x1E) {
        length = 4, code = lead & 0x07;
    } else {
        return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next >> 6) != 0x2) return false;
        code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not text.
    constexpr char32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kMinimum[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return false;
    }
    i += length;
    return true;
}

// The lower-case partner of an upper-case letter of the code page, as a
// character; anything else unchanged.
char32_t LowerCodePoint(char32_t c) {
    if (const auto byte = FromCodePoint(c)) {
        const unsigned char lower = ToLower(*byte);
        if (lower != *byte) return *ToCodePoint(lower);
    }
    return c;
}

}  // namespace

std::optional<char32_t> ToCodePoint(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0) return char32_t{byte};
    const char32_t c = kHigh[byte - 0x80];
    if (c == kNone) return std::nullopt;
    return c;
}

std::optional<unsigned char> FromCodePoint(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] != kNone && kHigh[i] == c) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

bool IsValidUtf8(std::string_view text) {
    char32_t code;
    for (std::size_t i = 0; i < text.size();) {
        if (!NextCodePoint(text, i, code)) return false;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char byte : bytes) {
        AppendUtf8(out, ToCodePoint(static_cast<unsigned char>(byte)).value_or(kReplacement));
    }
    return out;
}

bool ToUtf8(std::string_view bytes, std::string& out, std::size_t& badOffset) {
    out.clear();
    out.reserve(bytes.size() + bytes.size() / 4);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = ToCodePoint(static_cast<unsigned char>(bytes[i]));
        if (!c) {
            badOffset = i;
            return false;
        }
        AppendUtf8(out, *c);
    }
    return true;
}

std::optional<std::string> FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char32_t code;
    for (std::size_t i = 0; i < text.size();) {
        if (!NextCodePoint(text, i, code)) return std::nullopt;
        const auto byte = FromCodePoint(code);
        if (!byte) return std::nullopt;
        out += static_cast<char>(*byte);
    }
    return out;
}

bool IsRepresentable(std::string_view text) { return FromUtf8(text).has_value(); }

std::string DecodeWindowsText(std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        if (bytes.starts_with(kBom)) bytes.remove_prefix(kBom.size());
        return std::string(bytes);
    }
    return ToUtf8(bytes);
}

bool DecodeWindowsText(std::string_view bytes, std::string& out, std::size_t& badOffset) {
    if (IsValidUtf8(bytes)) {
        if (bytes.starts_with(kBom)) bytes.remove_prefix(kBom.size());
        out.assign(bytes);
        return true;
    }
    return ToUtf8(bytes, out, badOffset);
}

std::optional<std::string> Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    const auto unitAt = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    };
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t code = unitAt(i);
        if (code >= 0xDC00 && code <= 0xDFFF) return std::nullopt;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 2 >= bytes.size()) return std::nullopt;
            const char32_t low = unitAt(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, code);
    }
    return out;
}

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    char32_t code;
    for (std::size_t i = 0; i < text.size(); ++count) {
        // A byte that is no UTF-8 counts as one character.
        if (!NextCodePoint(text, i, code)) ++i;
    }
    return count;
}

std::string_view FirstCharacters(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    char32_t code;
    for (std::size_t n = 0; n < count && i < text.size(); ++n) {
        // A byte that is no UTF-8 counts as one character.
        if (!NextCodePoint(text, i, code)) ++i;
    }
    return text.substr(0, i);
}

unsigned char ToLower(unsigned char byte) {
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7)) {
        return static_cast<unsigned char>(byte + 0x20);
    }
    switch (byte) {
        case 0x8A: return 0x9A;  // Š š
        case 0x8C: return 0x9C;  // Œ œ
        case 0x8E: return 0x9E;  // Ž ž
        case 0x9F: return 0xFF;  // Ÿ ÿ
        default: return byte;
    }
}

unsigned char ToUpper(unsigned char byte) {
    if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7)) {
        return static_cast<unsigned char>(byte - 0x20);
    }
    switch (byte) {
        case 0x9A: return 0x8A;
        case 0x9C: return 0x8C;
        case 0x9E: return 0x8E;
        case 0xFF: return 0x9F;
        default: return byte;
    }
}

std::string FoldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char32_t code;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        if (NextCodePoint(text, i, code)) {
            AppendUtf8(out, LowerCodePoint(code));
        } else {
            out += text[start];
            i = start + 1;
        }
    }
    return out;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) { return FoldCase(a) == FoldCase(b); }

}  // namespace win1252
