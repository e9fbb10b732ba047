#include "rules/ConversionState.h"

#include <set>
#include <vector>

#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "rules/KeyPlan.h"

namespace {

constexpr const char* kFirstDayOf2024 = "20240101";
constexpr unsigned kForm2024 = 2024;

struct KeyIds {
    std::set<std::string> old;          // old keys the conversion works on
    std::set<std::string> withNewKey;   // of those, the ones whose new key exists
    std::vector<std::string> newRate;   // keys at a new rate
};

int ReadKeys(Mandate& mandate, const ConvertTable& table, ConversionState& state, KeyIds& ids) {
    BFile file(&mandate);
    if (const int status = file.Open(mandate.GetTaxName(), BFile::kModeReadOnly); status != pendra::kOk) return status;
    Tax walk(&mandate);
    walk.UseFile(&file);
    KeyPlan plan(table);
    if (const int status = plan.Read(walk); status != pendra::kOk) return status;
    for (const PlannedKey& key : plan.OldKeys()) {
        if (key.leftAlone) continue;
        ++state.oldKeys;
        ids.old.insert(key.oldId);
        if (key.newKey == NewKey::kPresent && key.newIdFits)
            ids.withNewKey.insert(key.oldId);
        else
            ++state.newKeysMissing;
    }
    int status = walk.ReadFirst();
    for (; status == pendra::kOk; status = walk.ReadNext())
        if (IsNewRate(walk.GetPercent()) && MWSTSchluesselIgnorieren(walk.GetId()) != 1)
            ids.newRate.push_back(walk.GetId());
    return pendra::WalkEnded(status) ? pendra::kOk : status;
}

int ReadAccounts(Mandate& mandate, const KeyIds& ids, ConversionState& state) {
    BFile file(&mandate);
    if (const int status = file.Open(mandate.GetKontoName(), BFile::kModeReadOnly); status != pendra::kOk) return status;
    Konto konto(&mandate);
    konto.UseFile(&file);
    int status = konto.ReadFirst();
    for (; status == pendra::kOk; status = konto.ReadNext()) {
        const std::string id = konto.GetTaxId();
        if (!ids.old.count(id)) continue;
        ++state.accountsOnOldKeys;
        if (ids.withNewKey.count(id)) ++state.accountsToAdapt;
    }
    return pendra::WalkEnded(status) ? pendra::kOk : status;
}

// The bookings of `id` dated on or after 1.1.2024 (`from2024`) or before it.
int CountBookings(Buch& buch, const std::string& id, bool from2024, long& count) {
    int status = buch.ReadFirstByTaxId(id);
    for (; status == pendra::kOk; status = buch.ReadNextByTaxId(id))
        if ((BuchData(buch).GetDate() >= kFirstDayOf2024) == from2024) ++count;
    return pendra::WalkEnded(status) ? pendra::kOk : status;
}

int ReadBookings(Mandate& mandate, const KeyIds& ids, ConversionState& state) {
    BFile file(&mandate);
    if (const int status = file.Open(mandate.GetBuchName(), BFile::kModeReadOnly); status != pendra::kOk) return status;
    Buch buch(&mandate);
    buch.UseFile(&file);
    const std::vector<std::string> old(ids.old.begin(), ids.old.end());
    std::vector<int> found;
    if (const int status = buch.ExistsWithTaxIds(old, found); status != pendra::kOk) return status;
    state.oldKeysBooked = 0;
    for (int answer : found)
        if (answer == pendra::kOk) ++state.oldKeysBooked;
    state.bookings2024OnOldRates = state.bookings2023OnNewRates = 0;
    int status = pendra::kOk;
    for (std::size_t i = 0; i < old.size() && status == pendra::kOk; ++i)
        if (found[i] == pendra::kOk) status = CountBookings(buch, old[i], true, state.bookings2024OnOldRates);
    for (std::size_t i = 0; i < ids.newRate.size() && status == pendra::kOk; ++i)
        status = CountBookings(buch, ids.newRate[i], false, state.bookings2023OnNewRates);
    return status;
}

}  // namespace

int ReadConversionState(Mandate& mandate, const ConvertTable& table, bool withBookings, ConversionState& state) {
    state = {};
    KeyIds ids;
    if (const int status = ReadKeys(mandate, table, state, ids); status != pendra::kOk) return status;
    if (const int status = ReadAccounts(mandate, ids, state); status != pendra::kOk) return status;
    return withBookings ? ReadBookings(mandate, ids, state) : pendra::kOk;
}

// Each step presumes the ones before it: a mandate showing a later step
// without an earlier one was changed by hand or half converted.
ConversionStage StageOf(const ConversionState& state, unsigned formVersion) {
    const bool keysInserted = state.newKeysMissing == 0;
    const bool accountsAdapted = keysInserted && state.accountsToAdapt == 0;
    if (formVersion == kForm2024) {
        if (!accountsAdapted) return ConversionStage::kInconsistent;
        return state.oldKeys == 0 ? ConversionStage::kOldKeysRemoved : ConversionStage::kForm2024;
    }
    if (accountsAdapted) return ConversionStage::kAccountsAdapted;
    return keysInserted ? ConversionStage::kKeysInserted : ConversionStage::kNotStarted;
}

const char* StageName(ConversionStage stage) {
    switch (stage) {
    case ConversionStage::kNotStarted: return "not-started";
    case ConversionStage::kKeysInserted: return "keys-inserted";
    case ConversionStage::kAccountsAdapted: return "accounts-adapted";
    case ConversionStage::kForm2024: return "form-2024";
    case ConversionStage::kOldKeysRemoved: return "old-keys-removed";
    case ConversionStage::kInconsistent: return "inconsistent";
    }
    return "inconsistent";
}
