#include "pendra/Buch.h"

#include "pendra/PendraStatus.h"
#include "pendra/RecordBytes.h"
#include "pendra/TableLayout.h"
#include "pendra/TaxIdText.h"

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

int Buch::ExistsWithTaxIds(const std::vector<std::string>& taxIds, std::vector<int>& found) {
    found.assign(taxIds.size(), pendra::kOk);
    std::vector<std::string> stored;
    std::vector<std::size_t> asked;  // index in taxIds of each stored id
    for (std::size_t i = 0; i < taxIds.size(); ++i) {
        std::string id;
        found[i] = pendra::EncodeTaxId(taxIds[i], kTaxIdWidth, id);
        if (found[i] != pendra::kOk) continue;
        stored.push_back(std::move(id));
        asked.push_back(i);
    }
    std::vector<int> answers;
    const int status = FindTaxIds(stored, answers);
    if (status != pendra::kOk) {
        found.clear();
        return status;
    }
    for (std::size_t i = 0; i < asked.size(); ++i) found[asked[i]] = answers[i];
    return pendra::kOk;
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
