#include "rules/ConversionRules.h"

#include <array>
#include <charconv>

#include "base/Windows1252.h"
#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "rules/ConvertTable.h"

namespace {

struct RateClass {
    const char* oldRateText;
    float newRate;
    const char* oldQuoteText;
    float newQuote;
    const char* idSuffix;
};

// Indexed by stsatz.
constexpr std::array<RateClass, 3> kClasses = {{
    {"2.5", 0.026f, "102.5", 1.026f, "26"},
    {"3.7", 0.038f, "103.7", 1.038f, "38"},
    {"7.7", 0.081f, "107.7", 1.081f, "81"},
}};

const RateClass& ClassOf(stsatz satz) { return kClasses.at(static_cast<std::size_t>(satz)); }

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

bool SetSatz(const std::string& rateText, stsatz& satz, float& newRate) {
    for (std::size_t i = 0; i < kClasses.size(); ++i) {
        if (rateText == kClasses[i].oldRateText) {
            satz = static_cast<stsatz>(i);
            newRate = kClasses[i].newRate;
            return true;
        }
    }
    return false;
}

bool IsNewRate(float fraction) {
    const std::string text = RateText(fraction);
    for (const RateClass& rateClass : kClasses)
        if (text == RateText(rateClass.newRate)) return true;
    return false;
}

float NewQuote(stsatz satz) { return ClassOf(satz).newQuote; }

const char* OldQuoteText(stsatz satz) { return ClassOf(satz).oldQuoteText; }

std::string ConvertId(std::string oldId, stsatz satz, const ConvertTable& table) {
    std::string fromTable = oldId;
    // An entry without a new id names no key; the built-in rule decides then.
    if (table.Convert(fromTable) && !fromTable.empty()) return fromTable;
    // Digits are single bytes in UTF-8; the cut to three counts characters,
    // never bytes, so a letter such as Ä is kept whole (ÄBCD7 gives ÄBC81).
    for (int i = 0; i < 2 && EndsInDigit(oldId); ++i) oldId.pop_back();
    return std::string(win1252::FirstCharacters(oldId, 3)) + ClassOf(satz).idSuffix;
}

// Letter case as Windows maps it in the product's code page: every pair of
// Windows-1252 (vsn81 = VSN81, ä = Ä, š = Š, œ = Œ, ÿ = Ÿ).
std::string IdCaseKey(const std::string& id) { return win1252::FoldCase(id); }

int MWSTSchluesselIgnorieren(std::string id) {
    return id.find("VSS24") != std::string::npos || id.find("VSS76") != std::string::npos ? 1 : 0;
}
