#include "workbook/XmlBounds.h"

namespace xmlbounds {
namespace {

struct Encoding {
    std::size_t width;  // bytes per code unit
    bool bigEndian;
    pugi::xml_encoding parser;
};

// By byte order mark or by the first "<", as the parser would guess it. The
// parser is then told this encoding, so both read the same characters.
Encoding Detect(std::string_view bytes) {
    auto at = [&](std::size_t i) -> unsigned { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0x100; };
    const unsigned b0 = at(0), b1 = at(1), b2 = at(2), b3 = at(3);
    if ((b0 == 0 && b1 == 0 && b2 == 0xFE && b3 == 0xFF) || (b0 == 0 && b1 == 0 && b2 == 0 && b3 == '<'))
        return {4, true, pugi::encoding_utf32_be};
    if ((b0 == 0xFF && b1 == 0xFE && b2 == 0 && b3 == 0) || (b0 == '<' && b1 == 0 && b2 == 0 && b3 == 0))
        return {4, false, pugi::encoding_utf32_le};
    if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0 && b1 == '<')) return {2, true, pugi::encoding_utf16_be};
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == '<' && b1 == 0)) return {2, false, pugi::encoding_utf16_le};
    return {1, false, pugi::encoding_utf8};
}

// The text as code units of its encoding. Markup is ASCII, so a unit from
// 0x80 up (a UTF-8 continuation byte, a UTF-16 surrogate) is never markup.
class Units {
public:
    Units(std::string_view bytes, const Encoding& encoding)
        : bytes_(bytes), width_(encoding.width), bigEndian_(encoding.bigEndian), size_(bytes.size() / encoding.width) {}

    std::size_t Size() const { return size_; }

    char32_t At(std::size_t i) const {
        if (i >= size_) return 0;
        char32_t unit = 0;
        for (std::size_t k = 0; k < width_; ++k) {
            const std::size_t byte = bigEndian_ ? k : width_ - 1 - k;
            unit = (unit << 8) | static_cast<unsigned char>(bytes_[i * width_ + byte]);
        }
        return unit;
    }
    bool Is(std::size_t i, char c) const { return At(i) == static_cast<unsigned char>(c); }
    bool StartsWith(std::size_t i, std::string_view text) const {
        for (std::size_t k = 0; k < text.size(); ++k)
            if (!Is(i + k, text[k])) return false;
        return true;
    }
    // The index after the first `text` from `from` on; Size() when there is none.
    std::size_t After(std::size_t from, std::string_view text) const {
        for (std::size_t i = from; i < size_; ++i)
            if (StartsWith(i, text)) return i + text.size();
        return size_;
    }

private:
    std::string_view bytes_;
    std::size_t width_;
    bool bigEndian_;
    std::size_t size_;
};

class Scanner {
public:
    Scanner(std::string_view xml, const Bounds& bounds) : encoding_(Detect(xml)), units_(xml, encoding_), bounds_(bounds) {
        result_.encoding = encoding_.parser;
        pos_ = ByteOrderMarkUnits();
    }

    Measure Run() {
        while (pos_ < units_.Size() && result_.verdict == Verdict::Within) {
            if (units_.Is(pos_, '<'))
                Markup();
            else
                Text();
        }
        return result_;
    }

private:
    // The parser drops a byte order mark; it is no text.
    std::size_t ByteOrderMarkUnits() const {
        if (units_.At(0) == 0xFEFF) return 1;
        if (units_.At(0) == 0xEF && units_.At(1) == 0xBB && units_.At(2) == 0xBF) return 3;
        return 0;
    }

    void Count() {
        if (++result_.nodes > bounds_.nodes) result_.verdict = Verdict::TooManyNodes;
    }

    // A run of characters between two pieces of markup is one text node.
    void Text() {
        Count();
        while (pos_ < units_.Size() && !units_.Is(pos_, '<')) ++pos_;
    }

    void Markup() {
        if (units_.StartsWith(pos_, "<!--")) {
            pos_ = units_.After(pos_ + 4, "-->");
        } else if (units_.StartsWith(pos_, "<![CDATA[")) {
            Count();
            pos_ = units_.After(pos_ + 9, "]]>");
        } else if (units_.Is(pos_ + 1, '!')) {
            result_.verdict = Verdict::DocumentType;
        } else if (units_.Is(pos_ + 1, '?')) {
            pos_ = units_.After(pos_ + 2, "?>");
        } else if (units_.Is(pos_ + 1, '/')) {
            if (depth_ > 0) --depth_;
            pos_ = units_.After(pos_ + 2, ">");
        } else {
            StartTag();
        }
    }

    // An element and its attributes (one per "=" outside quoted values); it
    // opens a level unless it ends in "/>".
    void StartTag() {
        Count();
        char32_t quote = 0, last = 0;
        for (++pos_; pos_ < units_.Size(); ++pos_) {
            const char32_t unit = units_.At(pos_);
            if (quote) {
                if (unit == quote) {
                    quote = 0;
                    last = unit;
                }
            } else if (unit == '"' || unit == '\'') {
                quote = unit;
            } else if (unit == '>') {
                break;
            } else {
                if (unit == '=') Count();
                last = unit;
            }
        }
        ++pos_;
        if (last == '/') return;
        if (++depth_ > bounds_.depth && result_.verdict == Verdict::Within) result_.verdict = Verdict::TooDeep;
    }

    Encoding encoding_;
    Units units_;
    Bounds bounds_;
    Measure result_;
    std::size_t pos_ = 0;
    std::size_t depth_ = 0;
};

}  // namespace

Measure Scan(std::string_view xml, const Bounds& bounds) { return Scanner(xml, bounds).Run(); }

}  // namespace xmlbounds
