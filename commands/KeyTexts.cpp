#include "commands/KeyTexts.h"

#include "base/Format.h"
#include "core/Strings.h"
#include "res/Resource.h"
#include "rules/ConvertTable.h"
#include "rules/KeyPlan.h"

std::string NotConvertedReason(const PlannedKey& old) {
    const KeyFacts& other = old.inTheWay;
    switch (old.newKey) {
    case NewKey::kAbsent:
        return Format(LoadString(IDS_REASON_NEW_KEY_MISSING), old.newId);
    case NewKey::kOtherRate:
        return Format(LoadString(IDS_REASON_OTHER_RATE), old.newId, RateText(other.rate),
                      EntryText(other.netto), RateText(old.newRate), EntryText(old.netto));
    case NewKey::kOtherCase:
        return Format(LoadString(IDS_REASON_OTHER_CASE), old.newId, other.id);
    case NewKey::kTableUnreadable:
        return LoadString(IDS_REASON_TABLE_UNREADABLE);
    case NewKey::kPresent:
        break;
    }
    return {};
}

// The entry texts "brutto,netto" of the string table, gross first.
std::string EntryText(bool netto) {
    const std::string entries = LoadString(IDS_ENTRY_TEXTS);
    const auto comma = entries.find(',');
    if (!netto) return entries.substr(0, comma);
    return comma == std::string::npos ? std::string() : entries.substr(comma + 1);
}
