#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How the record files of a mandate look to a storage engine: record size,
// where the key is and how it sorts, where the tax id of the secondary index is.
//
// Keys travel as byte strings: a text key is its field up to the first NUL
// (sorted bytewise), an integer key its 4 little-endian bytes (sorted as int32).
// Tax ids, as key or as indexed tax id, travel in their stored form
// (Windows-1252, TaxIdText.h).
struct TableLayout {
    const char* name;        // "tax", "konto", "buch": the table and the "#name" suffix
    const char* keyColumn;   // column holding the key in SQL engines
    std::size_t recordSize;
    bool integerKey;
    std::size_t keyOffset, keyWidth;
    bool hasTaxIndex;
    std::size_t taxIdOffset, taxIdWidth;
    bool keyIsTaxId;         // the key is a tax id (the tax key file)

    std::string KeyOf(const unsigned char* record) const;
    std::string TaxIdOf(const unsigned char* record) const;
};

const TableLayout& TaxLayout();
const TableLayout& KontoLayout();
const TableLayout& BuchLayout();
// nullptr for a name that is no record file of ours.
const TableLayout* FindTableLayout(std::string_view name);

// Integer key <-> key bytes.
std::string EncodeIntKey(std::int32_t key);
std::int32_t DecodeIntKey(const std::string& key);
// Text of a fixed NUL-padded field.
std::string FixedField(const unsigned char* record, std::size_t offset, std::size_t width);
