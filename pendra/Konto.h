#pragma once
#include <string>

#include "pendra/BRecord.h"

class Mandate;

// Account record, 64 bytes, little-endian:
//   0  number   16 bytes, NUL-padded (the key)
//  16  type     int16 (0 and 1 are the codes the conversion tests)
//  18  tax id   6 bytes, NUL-padded: the account's default tax key, in
//               Windows-1252 like the key's id (TaxIdText.h)
//  24  name     40 bytes, NUL-padded
class Konto : public BRecord {
public:
    static constexpr std::size_t kSize = 64;
    static constexpr std::size_t kNumberOffset = 0, kNumberWidth = 16;
    static constexpr std::size_t kTypeOffset = 16;
    static constexpr std::size_t kTaxIdOffset = 18, kTaxIdWidth = 6;
    static constexpr std::size_t kNameOffset = 24, kNameWidth = 40;

    explicit Konto(Mandate* mandate);

    // 0 when the account exists (it is then in the buffer).
    int ReadKonto(const std::string& number);

    std::string GetNumber() const;
    short GetType() const;
    std::string GetTaxId() const;
    // Tax ids are UTF-8 here, as Tax::SetId: kKeyTooLong, kNotWindows1252.
    int SetTaxId(const std::string& id);
    std::string GetName() const;

    // Accounts whose default tax key is `taxId`, in number order (index on
    // the tax id). ReadNextByTaxId continues after the account last read.
    int ReadFirstByTaxId(const std::string& taxId);
    int ReadNextByTaxId(const std::string& taxId);
    // How many accounts ReadFirstByTaxId and ReadNextByTaxId walk over.
    int CountByTaxId(const std::string& taxId, std::size_t& count);
    // Update, then SetLockFlag(kWaitLock) and ReadNextByTaxId(taxId), whose
    // answer is `next` (left alone when the update failed). On an SQL mandate
    // inside a batch the update and the next account's lock and read are one
    // round trip.
    int UpdateAndReadNextByTaxId(const std::string& taxId, int& next);
};
