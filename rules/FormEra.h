#pragma once

#include "rules/RateChange.h"

// Which VAT form a mandate's active workbook is, by its version, for a rate
// change: the one place that says what "the change's form is active" means.
// Version 0 is no usable workbook; versions up to the change's old form set
// (2018 for the change of 2024) are the forms the new keys are added to; the
// change's own set (2024) sums the new keys itself; a later version is none
// this program writes for the change.
enum class FormEra { kNone, k2018, k2024, kNewer };

FormEra FormEraOf(unsigned version, const RateChange& change = DefaultRateChange());
// The new keys are the form's own: the change's form and any later one.
bool SumsNewKeys(FormEra era);
// The form step is the change's, or there is none: true for the change's
// form and later ones, and for any form while the change's templates are not
// installed (no official form yet), so that the old keys can go without it.
bool NewFormStepDone(FormEra era, const RateChange& change);
