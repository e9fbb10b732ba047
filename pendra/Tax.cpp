#include "pendra/Tax.h"

#include "pendra/PendraStatus.h"
#include "pendra/RecordBytes.h"
#include "pendra/TaxIdText.h"

using pendra::bytes::Load;
using pendra::bytes::Store;

Tax::Tax(Mandate*) : BRecord(kSize) {}

int Tax::Read(const std::string& id) {
    std::string key;
    const int status = pendra::EncodeTaxId(id, kIdWidth, key);
    return status == pendra::kOk ? ReadByKey(key) : status;
}

std::string Tax::GetId() const { return IdField(kIdOffset, kIdWidth); }

int Tax::SetId(const std::string& id) { return SetIdField(kIdOffset, kIdWidth, id); }

float Tax::GetPercent() const { return Load<float>(GetBuffer() + kRateOffset); }

float Tax::GetQuote() const { return Load<float>(GetBuffer() + kQuoteOffset); }

void Tax::SetQuote(float quote) { Store(GetBuffer() + kQuoteOffset, quote); }

int Tax::UseNetto() const { return GetBuffer()[kNettoOffset] == 1 ? 1 : 0; }

std::string Tax::GetKonto() const { return Field(kKontoOffset, kKontoWidth); }

std::string Tax::GetText() const { return Field(kTextOffset, kTextWidth); }
