#pragma once
#include <string>

#include "rules/RateChange.h"

class ConvertTable;
class Mandate;

// The rules every conversion command works from: which keys are old keys (rate
// classes), the new rate and gross factor of each class, the new key's id
// (conversion table file or the built-in rule), whether an id is taken in the
// open mandate, and which keys are left alone, all as the rate change given
// defines them (the change of 2024 unless another is given). They write nothing.

// Rate classes of the old rates: an index into the change's classes, named
// after those of 2024.
enum stsatz : int { STSATZ_25 = 0, STSATZ_37 = 1, STSATZ_77 = 2 };

// A key's rate written with "%g" from the stored fraction times 100 ("7.7").
std::string RateText(float fraction);

// True, with both outputs set, when `rateText` is an old rate of the change
// ("2.5", "3.7" or "7.7" in 2024).
bool SetSatz(const std::string& rateText, stsatz& satz, float& newRate,
             const RateChange& change = DefaultRateChange());
// True for the change's new rates (2.6, 3.8 and 8.1 % in 2024; `fraction` as stored).
bool IsNewRate(float fraction, const RateChange& change = DefaultRateChange());
// New gross factor of the class (1.026, 1.038, 1.081 in 2024) and the old
// gross factor text that it replaces ("102.5", "103.7", "107.7").
float NewQuote(stsatz satz, const RateChange& change = DefaultRateChange());
const char* OldQuoteText(stsatz satz, const RateChange& change = DefaultRateChange());

// The new id: the entry of the mandate's conversion table, or the change's id
// rule (which counts characters, not bytes: ids are UTF-8 here).
std::string ConvertId(std::string oldId, stsatz satz, const ConvertTable& table,
                      const RateChange& change = DefaultRateChange());
// The id folded so that ids equal without regard to letter case (every letter
// pair of Windows-1252) give equal texts.
std::string IdCaseKey(const std::string& id);
// 1 when the key is to be left alone (its id contains one of the change's
// texts for it, VSS24 or VSS76 in 2024).
int MWSTSchluesselIgnorieren(std::string id, const RateChange& change = DefaultRateChange());
