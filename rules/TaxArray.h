#pragma once
#include <string>
#include <vector>

#include "rules/RateChange.h"

class ConvertTable;
class Mandate;
class PendraUi;

// The key pair list of the mandate ("OLD;NEW" per old key with its new id),
// for the formula transfer and passes: with `all` 0 only the keys whose
// automatic account is of type 1, otherwise every old key whose automatic
// account exists; an old key that is not converted (KeyPlan) has no pair.
// Nothing when the key file cannot be opened (error box 5000 through `ui`).
// Old keys and new ids are those of `change`.
void GetTaxArray(Mandate& mandate, const ConvertTable& table, PendraUi& ui, std::vector<std::string>& ar,
                 int all, const RateChange& change = DefaultRateChange());
