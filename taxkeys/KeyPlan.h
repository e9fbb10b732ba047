#pragma once
#include <set>
#include <string>
#include <vector>

#include "taxkeys/ConversionRules.h"

class Tax;

// An old key of the mandate and what the conversion makes of it.
struct PlannedKey {
    std::vector<unsigned char> record;  // the old key as read
    std::string oldId;
    stsatz satz = STSATZ_77;
    float newRate = 0;
    std::string newId;
    // False when the conversion table names a new id that no key can carry
    // (too long for the id field): no key gets it, so no formula may either.
    bool newIdFits = true;
    bool leftAlone = false;  // MWSTSchluesselIgnorieren
};

// The key conversion of one command, worked out once from one read of the
// key file: every old key (a rate the conversion knows) in file order with
// its class, new rate and new id, and the ids taken in the mandate, compared
// without regard to letter case. The insertion, the removals, the account
// commands, the key pair list and the overview all work from it. New ids
// come from `table`, the mandate's conversion table, which the plan must not
// outlive.
class KeyPlan {
public:
    explicit KeyPlan(const ConvertTable& table) : table_(table) {}

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
    const ConvertTable& table_;
    std::vector<PlannedKey> keys_;
    std::set<std::string> taken_;  // IdCaseKey of every id
};
