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
#include "rules/WrongSideBookings.h"

namespace {

struct KeyIds {
    std::set<std::string> all;          // every key of the mandate
    std::set<std::string> old;          // old keys the conversion works on
    std::set<std::string> withNewKey;   // of those, the ones whose new key exists
    std::set<std::string> onAccounts;   // of those, the ones an account defaults to
    std::set<std::string> newOfOld;     // the new keys of old keys, as the mandate has them
    std::set<std::string> newOnAccounts;  // of those, the ones an account defaults to
};

int ReadKeys(Mandate& mandate, const ConvertTable& table, const RateChange& change, ConversionState& state,
             KeyIds& ids) {
    BFile file(&mandate);
    if (const int status = file.Open(mandate.GetTaxName(), BFile::kModeReadOnly); status != pendra::kOk) return status;
    Tax walk(&mandate);
    walk.UseFile(&file);
    KeyPlan plan(table, change);
    if (const int status = plan.Read(walk); status != pendra::kOk) return status;
    for (const PlannedKey& key : plan.OldKeys()) {
        if (key.leftAlone) continue;
        ++state.oldKeys;
        ids.old.insert(key.oldId);
        if (key.newKey == NewKey::kPresent && key.newIdFits) {
            ids.withNewKey.insert(key.oldId);
            ids.newOfOld.insert(key.newId);
        } else {
            ++state.newKeysMissing;
        }
    }
    state.newKeys = static_cast<int>(ids.newOfOld.size());
    int status = walk.ReadFirst();
    for (; status == pendra::kOk; status = walk.ReadNext()) ids.all.insert(walk.GetId());
    return pendra::WalkEnded(status) ? pendra::kOk : status;
}

int ReadAccounts(Mandate& mandate, KeyIds& ids, ConversionState& state) {
    BFile file(&mandate);
    if (const int status = file.Open(mandate.GetKontoName(), BFile::kModeReadOnly); status != pendra::kOk) return status;
    Konto konto(&mandate);
    konto.UseFile(&file);
    int status = konto.ReadFirst();
    for (; status == pendra::kOk; status = konto.ReadNext()) {
        const std::string id = konto.GetTaxId();
        if (!id.empty() && !ids.all.count(id)) ++state.accountsOnMissingKeys;
        if (ids.newOfOld.count(id)) {
            ids.newOnAccounts.insert(id);
            ++state.accountsOnNewKeys;
        }
        if (!ids.old.count(id)) continue;
        ids.onAccounts.insert(id);
        ++state.accountsOnOldKeys;
        if (ids.withNewKey.count(id)) ++state.accountsToAdapt;
    }
    return pendra::WalkEnded(status) ? pendra::kOk : status;
}

// Of `keys`, how many a booking uses (`booked`, may be null) and how many
// neither a booking nor an account default (`unused`).
int CountUses(Buch& buch, const std::set<std::string>& keys, const std::set<std::string>& onAccounts, int* booked,
              int& unused) {
    const std::vector<std::string> ids(keys.begin(), keys.end());
    std::vector<int> found;
    if (const int status = buch.ExistsWithTaxIds(ids, found); status != pendra::kOk) return status;
    if (booked) *booked = 0;
    unused = 0;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (found[i] == pendra::kOk) {
            if (booked) ++*booked;
        } else if (!onAccounts.count(ids[i])) {
            ++unused;
        }
    }
    return pendra::kOk;
}

int ReadKeyUses(Mandate& mandate, const KeyIds& ids, ConversionState& state) {
    BFile file(&mandate);
    if (const int status = file.Open(mandate.GetBuchName(), BFile::kModeReadOnly); status != pendra::kOk) return status;
    Buch buch(&mandate);
    buch.UseFile(&file);
    if (const int status = CountUses(buch, ids.old, ids.onAccounts, &state.oldKeysBooked, state.oldKeysUnused);
        status != pendra::kOk)
        return status;
    return CountUses(buch, ids.newOfOld, ids.newOnAccounts, nullptr, state.newKeysUnused);
}

int ReadWrongSideBookings(Mandate& mandate, const RateChange& change, ConversionState& state) {
    // Counted through the walk that lists them (mwst-batch bookings), so the
    // counts and the list never disagree.
    state.bookings2024OnOldRates = state.bookings2023OnNewRates = state.bookingsOnMissingKeys = 0;
    return WalkWrongSideBookings(
        mandate,
        [&state](const WrongSideBooking& booking) {
            switch (booking.side) {
            case WrongSide::kOldRateFrom2024: ++state.bookings2024OnOldRates; break;
            case WrongSide::kNewRateBefore2024: ++state.bookings2023OnNewRates; break;
            case WrongSide::kMissingKey: ++state.bookingsOnMissingKeys; break;
            }
        },
        change);
}

}  // namespace

bool NewKeysInPlace(const ConversionState& state) { return state.newKeysMissing == 0; }

bool AccountsAdapted(const ConversionState& state) { return state.accountsOnOldKeys == 0; }

bool UnusedOldKeysRemoved(const ConversionState& state) { return state.oldKeysUnused == 0; }

bool AccountsReset(const ConversionState& state) { return state.accountsOnNewKeys == 0; }

bool UnusedNewKeysRemoved(const ConversionState& state) { return state.newKeysUnused == 0; }

int ReadConversionState(Mandate& mandate, const ConvertTable& table, BookingReach reach, ConversionState& state,
                        const RateChange& change) {
    state = {};
    KeyIds ids;
    if (const int status = ReadKeys(mandate, table, change, state, ids); status != pendra::kOk) return status;
    if (const int status = ReadAccounts(mandate, ids, state); status != pendra::kOk) return status;
    if (reach == BookingReach::kNone) return pendra::kOk;
    if (const int status = ReadKeyUses(mandate, ids, state); status != pendra::kOk) return status;
    return reach == BookingReach::kWrongSide ? ReadWrongSideBookings(mandate, change, state) : pendra::kOk;
}

// Each step presumes the ones before it: a mandate showing a later step
// without an earlier one was changed by hand or half converted, and so is
// one whose accounts name keys it does not have.
ConversionStage StageOf(const ConversionState& state, FormEra era, const RateChange& change) {
    if (state.accountsOnMissingKeys > 0) return ConversionStage::kInconsistent;
    const bool keysInserted = NewKeysInPlace(state);
    const bool accountsAdapted = keysInserted && AccountsAdapted(state);
    if (SumsNewKeys(era) || (accountsAdapted && NewFormStepDone(era, change))) {
        if (!accountsAdapted) return ConversionStage::kInconsistent;
        if (state.oldKeys == 0) return ConversionStage::kOldKeysRemoved;
        return UnusedOldKeysRemoved(state) ? ConversionStage::kWaitingForOldBookings : ConversionStage::kForm2024;
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
    case ConversionStage::kWaitingForOldBookings: return "waiting-for-old-bookings";
    }
    return "inconsistent";
}
