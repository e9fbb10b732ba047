#pragma once
#include <set>
#include <string>
#include <vector>

#include "rules/ConversionRules.h"

class Tax;

// What the mandate has under an old key's new id. It decides whether the old
// key is converted: only to a key at the new rate of its rate class with the
// old key's entry method (net or gross), never to a key that differs in
// either, nor to one whose id differs in letter case only.
enum class NewKey {
    kAbsent,           // no key has the id, in any letter case: the insertion creates it
    kPresent,          // a key has exactly the id, the new rate and the old key's method
    kOtherRate,        // a key has exactly the id at another rate or with the other method
    kOtherCase,        // a key has the id in another letter case only
    kTableUnreadable,  // the conversion table cannot be read: the new id is not known
};

// A key as the plan compares it: id, rate and entry method.
struct KeyFacts {
    std::string id;
    float rate = 0;
    bool netto = false;
};

// An old key of the mandate and what the conversion makes of it.
struct PlannedKey {
    std::vector<unsigned char> record;  // the old key as read
    std::string oldId;
    stsatz satz = STSATZ_77;
    float newRate = 0;
    bool netto = false;  // the old key's entry method, which its new key keeps
    std::string newId;
    // False when the conversion table names a new id that no key can carry
    // (too long for the id field): no key gets it, so no formula may either.
    bool newIdFits = true;
    bool leftAlone = false;  // MWSTSchluesselIgnorieren
    NewKey newKey = NewKey::kAbsent;
    // kOtherRate, kOtherCase: the key in the way, as the mandate has it or as
    // the insertion creates it for an earlier old key.
    KeyFacts inTheWay;

    // True when the old key converts to its new id: that key is its new key,
    // or the insertion creates it.
    bool Converts() const { return newKey == NewKey::kAbsent || newKey == NewKey::kPresent; }
};

// The key conversion of one command, worked out once from one read of the
// key file: every old key (a rate the conversion knows) in file order with
// its class, new rate, new id and what the mandate has under that id, and the
// ids taken in the mandate, compared without regard to letter case. The
// insertion, the removals, the account commands, the key pair list and the
// overview all work from it. New ids come from `table`, the mandate's
// conversion table, rates and id rule from `change`; the plan must outlive neither.
class KeyPlan {
public:
    explicit KeyPlan(const ConvertTable& table, const RateChange& change = DefaultRateChange())
        : table_(table), change_(change) {}

    // Reads every key through `walk`: kOk, or the status of the read that failed.
    int Read(Tax& walk);

    const std::vector<PlannedKey>& OldKeys() const { return keys_; }
    // True when a key of the mandate (or one taken since) has `id`, in any letter case.
    bool Taken(const std::string& id) const;
    // Counts `id` as taken; false when it was already.
    bool Take(const std::string& id);
    // Puts the planned key's record into `key`'s buffer.
    static void Load(const PlannedKey& planned, Tax& key);

private:
    void JudgeNewKeys(const std::vector<KeyFacts>& keys);

    const ConvertTable& table_;
    const RateChange& change_;
    std::vector<PlannedKey> keys_;
    std::set<std::string> taken_;  // IdCaseKey of every id
};
