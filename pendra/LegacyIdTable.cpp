#include "pendra/LegacyIdTable.h"

#include <cstring>
#include <vector>

#include "pendra/LegacyIds.h"
#include "pendra/PendraStatus.h"

namespace {

bool KeyLess(const TableLayout& layout, const std::string& a, const std::string& b) {
    if (layout.integerKey) return DecodeIntKey(a) < DecodeIntKey(b);
    return a < b;  // char_traits<char> compares as unsigned char: bytewise, as the engines sort
}

}  // namespace

LegacyIdTable::LegacyIdTable(std::unique_ptr<StorageTable> inner) : inner_(std::move(inner)) {}

void LegacyIdTable::Present(unsigned char* record, const std::string& former, std::string& key) {
    pendra::legacy::ConvertRecord(Layout(), record);  // without Windows-1252 form: as it is
    key = former;
    if (!Layout().keyIsTaxId || !pendra::legacy::NeedsConversion(former)) return;
    std::string current;
    if (pendra::legacy::CurrentTaxId(former, current) == pendra::kOk) key = current;
    formerKeys_[key] = former;
}

std::string LegacyIdTable::FormerKey(const std::string& key) const {
    if (!Layout().keyIsTaxId) return key;
    if (auto known = formerKeys_.find(key); known != formerKeys_.end()) return known->second;
    std::vector<std::string> forms = pendra::legacy::FormerTaxIds(key, Layout().keyWidth);
    return forms.empty() ? key : forms.front();
}

int LegacyIdTable::ReadFirst(unsigned char* record, std::string& key) {
    std::string former;
    const int status = inner_->ReadFirst(record, former);
    if (status == pendra::kOk) Present(record, former, key);
    return status;
}

int LegacyIdTable::ReadAfter(const std::string& after, unsigned char* record, std::string& key) {
    std::string former;
    const int status = inner_->ReadAfter(FormerKey(after), record, former);
    if (status == pendra::kOk) Present(record, former, key);
    return status;
}

int LegacyIdTable::ReadEqual(const std::string& key, unsigned char* record) {
    std::string presented;
    if (!Layout().keyIsTaxId) {
        const int status = inner_->ReadEqual(key, record);
        if (status == pendra::kOk) Present(record, key, presented);
        return status;
    }
    std::vector<std::string> forms;
    if (auto known = formerKeys_.find(key); known != formerKeys_.end()) forms.push_back(known->second);
    for (std::string& form : pendra::legacy::FormerTaxIds(key, Layout().keyWidth)) {
        forms.push_back(std::move(form));
    }
    if (forms.empty()) forms.push_back(key);
    for (const std::string& former : forms) {
        const int status = inner_->ReadEqual(former, record);
        if (status == pendra::kKeyNotFound) continue;
        if (status != pendra::kOk) return status;
        Present(record, former, presented);
        if (presented == key) return pendra::kOk;
    }
    return pendra::kKeyNotFound;
}

template <typename Read>
int LegacyIdTable::ReadByTaxId(const std::string& taxId, unsigned char* record, std::string& key,
                               Read read) {
    const TableLayout& layout = Layout();
    std::vector<std::string> forms = pendra::legacy::FormerTaxIds(taxId, layout.taxIdWidth);
    if (forms.empty()) forms.push_back(taxId);
    // Each former form has its own run in the index: the first record is the smaller of their firsts.
    std::vector<unsigned char> found(layout.recordSize), best;
    std::string foundKey, bestKey;
    for (const std::string& former : forms) {
        const int status = read(former, found.data(), foundKey);
        if (status == pendra::kKeyNotFound) continue;
        if (status != pendra::kOk) return status;
        if (best.empty() || KeyLess(layout, foundKey, bestKey)) {
            best = found;
            bestKey = foundKey;
        }
    }
    if (best.empty()) return pendra::kKeyNotFound;
    std::memcpy(record, best.data(), best.size());
    Present(record, bestKey, key);
    return pendra::kOk;
}

int LegacyIdTable::ReadFirstByTaxId(const std::string& taxId, unsigned char* record,
                                    std::string& key) {
    return ReadByTaxId(taxId, record, key,
                       [this](const std::string& former, unsigned char* r, std::string& k) {
                           return inner_->ReadFirstByTaxId(former, r, k);
                       });
}

int LegacyIdTable::ReadAfterByTaxId(const std::string& taxId, const std::string& after,
                                    unsigned char* record, std::string& key) {
    const std::string formerAfter = FormerKey(after);
    return ReadByTaxId(taxId, record, key,
                       [&](const std::string& former, unsigned char* r, std::string& k) {
                           return inner_->ReadAfterByTaxId(former, formerAfter, r, k);
                       });
}

int LegacyIdTable::ExistsWithTaxId(const std::string& taxId) {
    std::vector<std::string> forms = pendra::legacy::FormerTaxIds(taxId, Layout().taxIdWidth);
    if (forms.empty()) forms.push_back(taxId);
    for (const std::string& former : forms) {
        const int status = inner_->ExistsWithTaxId(former);
        if (status != pendra::kKeyNotFound) return status;
    }
    return pendra::kKeyNotFound;
}

int LegacyIdTable::Insert(const unsigned char*) { return pendra::kAccessDenied; }

int LegacyIdTable::Update(const std::string&, const unsigned char*) {
    return pendra::kAccessDenied;
}

int LegacyIdTable::Delete(const std::string&) { return pendra::kAccessDenied; }

int LegacyIdTable::LockRecord(const std::string& key, bool wait) {
    return inner_->LockRecord(FormerKey(key), wait);
}

void LegacyIdTable::UnlockRecord(const std::string& key) { inner_->UnlockRecord(FormerKey(key)); }
