#include "pendra/TableLayout.h"

#include "pendra/Buch.h"
#include "pendra/Konto.h"
#include "pendra/RecordBytes.h"
#include "pendra/Tax.h"

std::string FixedField(const unsigned char* record, std::size_t offset, std::size_t width) {
    const char* begin = reinterpret_cast<const char*>(record + offset);
    std::size_t length = 0;
    while (length < width && begin[length] != '\0') ++length;
    return std::string(begin, length);
}

std::string EncodeIntKey(std::int32_t key) {
    unsigned char raw[4];
    pendra::bytes::Store(raw, key);
    return std::string(reinterpret_cast<const char*>(raw), 4);
}

std::int32_t DecodeIntKey(const std::string& key) {
    if (key.size() != 4) return 0;
    return pendra::bytes::Load<std::int32_t>(reinterpret_cast<const unsigned char*>(key.data()));
}

std::string TableLayout::KeyOf(const unsigned char* record) const {
    if (integerKey) return std::string(reinterpret_cast<const char*>(record + keyOffset), 4);
    return FixedField(record, keyOffset, keyWidth);
}

std::string TableLayout::TaxIdOf(const unsigned char* record) const {
    return hasTaxIndex ? FixedField(record, taxIdOffset, taxIdWidth) : std::string();
}

const TableLayout& TaxLayout() {
    static const TableLayout layout{"tax", "id", Tax::kSize, false, Tax::kIdOffset,
                                    Tax::kIdWidth, false, 0, 0, true};
    return layout;
}

const TableLayout& KontoLayout() {
    static const TableLayout layout{"konto", "number", Konto::kSize, false,
                                    Konto::kNumberOffset, Konto::kNumberWidth, true,
                                    Konto::kTaxIdOffset, Konto::kTaxIdWidth, false};
    return layout;
}

const TableLayout& BuchLayout() {
    static const TableLayout layout{"buch", "number", Buch::kSize, true, Buch::kNumberOffset,
                                    4, true, Buch::kTaxIdOffset, Buch::kTaxIdWidth, false};
    return layout;
}

const TableLayout* FindTableLayout(std::string_view name) {
    for (const TableLayout* layout : {&TaxLayout(), &KontoLayout(), &BuchLayout()}) {
        if (name == layout->name) return layout;
    }
    return nullptr;
}
