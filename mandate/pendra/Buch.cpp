#include "mandate/pendra/Buch.h"

#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/RecordBytes.h"
#include "mandate/pendra/TableLayout.h"
#include "mandate/pendra/TaxIdText.h"

Buch::Buch(Mandate*) : BRecord(kSize) {}

std::int32_t Buch::GetNumber() const {
    return pendra::bytes::Load<std::int32_t>(GetBuffer() + kNumberOffset);
}

int Buch::ReadNumber(std::int32_t number) { return ReadByKey(EncodeIntKey(number)); }

int Buch::ExistsWithTaxId(const std::string& taxId) {
    std::string stored;
    const int status = pendra::EncodeTaxId(taxId, kTaxIdWidth, stored);
    return status == pendra::kOk ? FindTaxId(stored) : status;
}

int Buch::ReadFirstByTaxId(const std::string& taxId) {
    std::string stored;
    const int status = pendra::EncodeTaxId(taxId, kTaxIdWidth, stored);
    return status == pendra::kOk ? ReadFirstWithTaxId(stored) : status;
}

int Buch::ReadNextByTaxId(const std::string& taxId) {
    std::string stored;
    const int status = pendra::EncodeTaxId(taxId, kTaxIdWidth, stored);
    return status == pendra::kOk ? ReadNextWithTaxId(stored) : status;
}

std::string BuchData::GetDate() const { return buch_.Field(Buch::kDateOffset, Buch::kDateWidth); }

std::string BuchData::GetAccount() const {
    return buch_.Field(Buch::kAccountOffset, Buch::kAccountWidth);
}

double BuchData::GetAmount() const {
    return pendra::bytes::Load<double>(buch_.GetBuffer() + Buch::kAmountOffset);
}

std::string BuchData::GetTaxId() const {
    return buch_.IdField(Buch::kTaxIdOffset, Buch::kTaxIdWidth);
}

std::string BuchData::GetText() const { return buch_.Field(Buch::kTextOffset, Buch::kTextWidth); }
