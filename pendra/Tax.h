#pragma once
#include <string>

#include "pendra/BRecord.h"

class Mandate;

// Tax key record, 72 bytes, little-endian:
//   0  id            6 bytes, NUL-padded (the key; ids of 6 bytes have no NUL),
//                    Windows-1252: one byte a character (TaxIdText.h)
//   6  rate          float32 fraction (0.077 for 7.7 %)
//  10  gross factor  float32 (1.077)
//  14  net entry     uint8, 1 = net ("netto"), 0 = gross ("brutto")
//  15  reserved      uint8, 0
//  16  account       16 bytes, NUL-padded: the automatic account number
//  32  text          40 bytes, NUL-padded
// There is no rate setter: callers write the float at kRateOffset themselves.
class Tax : public BRecord {
public:
    static constexpr std::size_t kSize = 72;
    static constexpr std::size_t kIdOffset = 0, kIdWidth = 6;
    static constexpr std::size_t kRateOffset = 6;
    static constexpr std::size_t kQuoteOffset = 10;
    static constexpr std::size_t kNettoOffset = 14;
    static constexpr std::size_t kKontoOffset = 16, kKontoWidth = 16;
    static constexpr std::size_t kTextOffset = 32, kTextWidth = 40;

    explicit Tax(Mandate* mandate);

    // Ids are UTF-8 here; the record holds them in Windows-1252.
    // 0 when a key with exactly this id exists (it is then in the buffer).
    // kKeyTooLong for ids of more than 6 characters, kNotWindows1252 for a
    // character Windows-1252 does not have: no key can have such an id.
    int Read(const std::string& id);

    std::string GetId() const;
    // kKeyTooLong for more than 6 characters, kNotWindows1252 for a character
    // Windows-1252 does not have; the id is never cut.
    int SetId(const std::string& id);
    float GetPercent() const;
    float GetQuote() const;
    void SetQuote(float quote);
    int UseNetto() const;
    std::string GetKonto() const;
    std::string GetText() const;
};
