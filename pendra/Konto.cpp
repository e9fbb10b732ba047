#include "pendra/Konto.h"

#include "pendra/PendraStatus.h"
#include "pendra/RecordBytes.h"
#include "pendra/TaxIdText.h"

Konto::Konto(Mandate*) : BRecord(kSize) {}

int Konto::ReadKonto(const std::string& number) {
    if (number.size() > kNumberWidth) return pendra::kKeyTooLong;
    return ReadByKey(number);
}

std::string Konto::GetNumber() const { return Field(kNumberOffset, kNumberWidth); }

short Konto::GetType() const { return pendra::bytes::Load<short>(GetBuffer() + kTypeOffset); }

std::string Konto::GetTaxId() const { return IdField(kTaxIdOffset, kTaxIdWidth); }

int Konto::SetTaxId(const std::string& id) { return SetIdField(kTaxIdOffset, kTaxIdWidth, id); }

std::string Konto::GetName() const { return Field(kNameOffset, kNameWidth); }

int Konto::ReadFirstByTaxId(const std::string& taxId) {
    std::string stored;
    const int status = pendra::EncodeTaxId(taxId, kTaxIdWidth, stored);
    return status == pendra::kOk ? ReadFirstWithTaxId(stored) : status;
}

int Konto::ReadNextByTaxId(const std::string& taxId) {
    std::string stored;
    const int status = pendra::EncodeTaxId(taxId, kTaxIdWidth, stored);
    return status == pendra::kOk ? ReadNextWithTaxId(stored) : status;
}

int Konto::CountByTaxId(const std::string& taxId, std::size_t& count) {
    count = 0;
    std::string stored;
    const int status = pendra::EncodeTaxId(taxId, kTaxIdWidth, stored);
    return status == pendra::kOk ? CountTaxId(stored, count) : status;
}

int Konto::UpdateAndReadNextByTaxId(const std::string& taxId, int& next) {
    std::string stored;
    const int encoded = pendra::EncodeTaxId(taxId, kTaxIdWidth, stored);
    if (encoded == pendra::kOk) return UpdateAndReadNextWithTaxId(stored, next);
    const int status = Update();
    if (status == pendra::kOk) {
        SetLockFlag(kWaitLock);
        next = encoded;
    }
    return status;
}
