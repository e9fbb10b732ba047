#include "taxkeys/TextDecoding.h"

namespace {

// Windows-1252 0x80..0x9F; 0 where the code page has no character.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

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

constexpr const char* kBom = "\xEF\xBB\xBF";

}  // namespace

bool IsValidUtf8(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t len = 0;
        char32_t code = 0;
        if (c < 0x80) len = 1, code = c;
        else if ((c >> 5) == 0x6) len = 2, code = c & 0x1F;
        else if ((c >> 4) == 0xE) len = 3, code = c & 0x0F;
        else if ((c >> 3) == 0x1E) len = 4, code = c & 0x07;
        else return false;
        if (i + len > bytes.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next >> 6) != 0x2) return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not text.
        static constexpr char32_t kMinOf[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kMinOf[len] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += len;
    }
    return true;
}

std::string DecodeWindowsText(const std::string& bytes) {
    if (IsValidUtf8(bytes)) return bytes.rfind(kBom, 0) == 0 ? bytes.substr(3) : bytes;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x80 || c >= 0xA0) AppendUtf8(out, c);
        else AppendUtf8(out, kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : char32_t{0xFFFD});
    }
    return out;
}
