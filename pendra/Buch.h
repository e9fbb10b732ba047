#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pendra/BRecord.h"

class Mandate;

// Booking record, 84 bytes, little-endian:
//   0  number   int32 (the key)
//   4  date     8 bytes "YYYYMMDD"
//  12  account  16 bytes, NUL-padded
//  28  amount   float64
//  36  tax id   6 bytes, NUL-padded, Windows-1252 (TaxIdText.h)
//  42  text     42 bytes, NUL-padded
// BuchData is the data part: a view on the fields behind the number.
class Buch;

class BuchData {
public:
    explicit BuchData(const Buch& buch) : buch_(buch) {}
    std::string GetDate() const;
    std::string GetAccount() const;
    double GetAmount() const;
    std::string GetTaxId() const;
    std::string GetText() const;

private:
    const Buch& buch_;
};

class Buch : public BRecord {
public:
    static constexpr std::size_t kSize = 84;
    static constexpr std::size_t kNumberOffset = 0;
    static constexpr std::size_t kDateOffset = 4, kDateWidth = 8;
    static constexpr std::size_t kAccountOffset = 12, kAccountWidth = 16;
    static constexpr std::size_t kAmountOffset = 28;
    static constexpr std::size_t kTaxIdOffset = 36, kTaxIdWidth = 6;
    static constexpr std::size_t kTextOffset = 42, kTextWidth = 42;

    explicit Buch(Mandate* mandate);

    std::int32_t GetNumber() const;
    // 0 when booking `number` exists (it is then in the buffer).
    int ReadNumber(std::int32_t number);

    // Tax ids are UTF-8 here, as Tax::Read (kKeyTooLong, kNotWindows1252).
    // Keyed access by tax id (index on the tax id): kOk when at least one
    // booking uses `taxId`, kKeyNotFound when none; the buffer is left alone.
    int ExistsWithTaxId(const std::string& taxId);
    // ExistsWithTaxId for many ids at once (one request on SQL mandates):
    // found[i] is what ExistsWithTaxId(taxIds[i]) answers (kOk, kKeyNotFound,
    // or the id's own kKeyTooLong / kNotWindows1252). kOk, or the read's
    // failure with `found` empty.
    int ExistsWithTaxIds(const std::vector<std::string>& taxIds, std::vector<int>& found);
    // Bookings with tax id `taxId`, in number order.
    int ReadFirstByTaxId(const std::string& taxId);
    int ReadNextByTaxId(const std::string& taxId);
    BuchData GetData() const { return BuchData(*this); }

    friend class BuchData;
};
