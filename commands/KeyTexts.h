#pragma once
#include <optional>
#include <string>

class ConvertTable;
struct PlannedKey;

// The texts in the user's language that explain the key plan.

// Why the old key in `old` has no new key to take its accounts: none there
// yet, one at another rate or with the other method, one that differs in
// letter case only, or no new id known. Empty when its new key is there.
std::string NotConvertedReason(const PlannedKey& old);

// The entry method as the overview names it ("netto" or "brutto").
std::string EntryText(bool netto);
