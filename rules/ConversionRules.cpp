#include "rules/ConversionRules.h"

#include <charconv>

#include "base/Windows1252.h"
#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "rules/ConvertTable.h"

namespace {

const RateClass& ClassOf(stsatz satz, const RateChange& change) {
    return change.classes.at(static_cast<std::size_t>(satz));
}

bool EndsInDigit(const std::string& text) {
    return !text.empty() && text.back() >= '0' && text.back() <= '9';
}

}  // namespace

// std::to_chars with six significant digits is "%g" in the "C" locale, never
// "7,7": the classification must not depend on the user's locale.
std::string RateText(float fraction) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, static_cast<double>(fraction) * 100.0,
                                      std::chars_format::general, 6);
    return std::string(text, result.ptr);
}

bool SetSatz(const std::string& rateText, stsatz& satz, float& newRate, const RateChange& change) {
    for (std::size_t i = 0; i < change.classes.size(); ++i) {
        if (rateText == change.classes[i].oldRateText) {
            satz = static_cast<stsatz>(i);
            newRate = change.classes[i].newRate;
            return true;
        }
    }
    return false;
}

bool IsNewRate(float fraction, const RateChange& change) {
    const std::string text = RateText(fraction);
    for (const RateClass& rateClass : change.classes)
        if (text == RateText(rateClass.newRate)) return true;
    return false;
}

float NewQuote(stsatz satz, const RateChange& change) { return ClassOf(satz, change).newQuote; }

const char* OldQuoteText(stsatz satz, const RateChange& change) { return ClassOf(satz, change).oldQuoteText.c_str(); }

std::string ConvertId(std::string oldId, stsatz satz, const ConvertTable& table, const RateChange& change) {
    std::string fromTable = oldId;
    // An entry without a new id names no key; the change's id rule decides then.
    if (table.Convert(fromTable) && !fromTable.empty()) return fromTable;
    // Digits are single bytes in UTF-8; the cut to the stem counts characters,
    // never bytes, so a letter such as Ä is kept whole (ÄBCD7 gives ÄBC81).
    for (int i = 0; i < change.idDigits && EndsInDigit(oldId); ++i) oldId.pop_back();
    return std::string(win1252::FirstCharacters(oldId, static_cast<std::size_t>(change.idStem))) +
           ClassOf(satz, change).idSuffix;
}

// Letter case as Windows maps it in the product's code page: every pair of
// Windows-1252 (vsn81 = VSN81, ä = Ä, š = Š, œ = Œ, ÿ = Ÿ).
std::string IdCaseKey(const std::string& id) { return win1252::FoldCase(id); }

int MWSTSchluesselIgnorieren(std::string id, const RateChange& change) {
    for (const std::string& text : change.leftAlone)
        if (id.find(text) != std::string::npos) return 1;
    return 0;
}
