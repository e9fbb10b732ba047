#include "rules/KeyPlan.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "pendra/TaxIdText.h"
#include "rules/ConvertTable.h"

namespace {

// Keys by exact id and by id without regard to letter case.
class KeyIndex {
public:
    void Add(const KeyFacts& key) {
        exact_.emplace(key.id, key);
        folded_.emplace(IdCaseKey(key.id), key);
    }
    const KeyFacts* Exact(const std::string& id) const { return Find(exact_, id); }
    const KeyFacts* AnyCase(const std::string& id) const { return Find(folded_, IdCaseKey(id)); }

private:
    using Keys = std::map<std::string, KeyFacts>;
    static const KeyFacts* Find(const Keys& keys, const std::string& id) {
        const auto found = keys.find(id);
        return found == keys.end() ? nullptr : &found->second;
    }
    Keys exact_;
    Keys folded_;  // the first key of each folded id
};

// The key `found` can be the new key of `old`: the new rate and the same method.
bool IsNewKeyOf(const KeyFacts& found, const PlannedKey& old) {
    return RateText(found.rate) == RateText(old.newRate) && found.netto == old.netto;
}

// What `index` has under the new id of `old`, or nullopt when nothing.
std::optional<NewKey> Under(const KeyIndex& index, PlannedKey& old) {
    if (const KeyFacts* found = index.Exact(old.newId)) {
        if (IsNewKeyOf(*found, old)) return NewKey::kPresent;
        old.inTheWay = *found;
        return NewKey::kOtherRate;
    }
    if (const KeyFacts* found = index.AnyCase(old.newId)) {
        old.inTheWay = *found;
        return NewKey::kOtherCase;
    }
    return std::nullopt;
}

}  // namespace

int KeyPlan::Read(Tax& walk) {
    keys_.clear();
    taken_.clear();
    std::vector<KeyFacts> keys;
    int status = walk.ReadFirst();
    for (; status == pendra::kOk; status = walk.ReadNext()) {
        const std::string id = walk.GetId();
        keys.push_back({id, walk.GetPercent(), walk.UseNetto() != 0});
        taken_.insert(IdCaseKey(id));
        PlannedKey planned;
        if (!SetSatz(RateText(walk.GetPercent()), planned.satz, planned.newRate, change_)) continue;
        planned.record.assign(walk.GetBuffer(), walk.GetBuffer() + walk.Size());
        planned.oldId = id;
        planned.netto = walk.UseNetto() != 0;
        planned.newId = ConvertId(id, planned.satz, table_, change_);
        std::string stored;
        planned.newIdFits = pendra::EncodeTaxId(planned.newId, Tax::kIdWidth, stored) == pendra::kOk;
        planned.leftAlone = MWSTSchluesselIgnorieren(id, change_) == 1;
        keys_.push_back(std::move(planned));
    }
    JudgeNewKeys(keys);
    return pendra::WalkEnded(status) ? pendra::kOk : status;
}

// Each old key against the mandate's keys and, in file order, against the
// keys the insertion creates for the old keys before it: two old keys that
// derive one id share its key only when that key is the new key of both.
void KeyPlan::JudgeNewKeys(const std::vector<KeyFacts>& keys) {
    KeyIndex existing, created;
    for (const KeyFacts& key : keys) existing.Add(key);
    for (PlannedKey& old : keys_) {
        if (table_.Unreadable()) {
            old.newKey = NewKey::kTableUnreadable;
            continue;
        }
        if (const std::optional<NewKey> found = Under(existing, old)) {
            old.newKey = *found;
            continue;
        }
        const std::optional<NewKey> planned = Under(created, old);
        old.newKey = planned && *planned != NewKey::kPresent ? *planned : NewKey::kAbsent;
        // Left-alone keys get no new key from the insertion.
        if (!planned && !old.leftAlone) created.Add({old.newId, old.newRate, old.netto});
    }
}

bool KeyPlan::Taken(const std::string& id) const { return taken_.count(IdCaseKey(id)) > 0; }

bool KeyPlan::Take(const std::string& id) { return taken_.insert(IdCaseKey(id)).second; }

void KeyPlan::Load(const PlannedKey& planned, Tax& key) {
    std::memcpy(key.GetBuffer(), planned.record.data(), std::min<std::size_t>(planned.record.size(), key.Size()));
}
