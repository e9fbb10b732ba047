#include "mandate/pendra/Konto.h"

#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/RecordBytes.h"

Konto::Konto(Mandate*) : BRecord(kSize) {}

int Konto::ReadKonto(const std::string& number) {
    if (number.size() > kNumberWidth) return pendra::kKeyTooLong;
    return ReadByKey(number);
}

std::string Konto::GetNumber() const { return Field(kNumberOffset, kNumberWidth); }

short Konto::GetType() const { return pendra::bytes::Load<short>(GetBuffer() + kTypeOffset); }

std::string Konto::GetTaxId() const { return Field(kTaxIdOffset, kTaxIdWidth); }

int Konto::SetTaxId(const std::string& id) { return SetField(kTaxIdOffset, kTaxIdWidth, id); }

std::string Konto::GetName() const { return Field(kNameOffset, kNameWidth); }

int Konto::ReadFirstByTaxId(const std::string& taxId) {
    if (taxId.size() > kTaxIdWidth) return pendra::kKeyTooLong;
    return ReadFirstWithTaxId(taxId);
}

int Konto::ReadNextByTaxId(const std::string& taxId) {
    if (taxId.size() > kTaxIdWidth) return pendra::kKeyTooLong;
    return ReadNextWithTaxId(taxId);
}
