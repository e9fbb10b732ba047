#pragma once

// Which VAT form a mandate's active workbook is, by its version: the one
// place that says what "the 2024 form is active" means. Version 0 is no
// usable workbook; versions up to 2018 are the forms the new keys are added
// to; 2024 sums the new keys itself; a later version is none this program
// writes.
enum class FormEra { kNone, k2018, k2024, kNewer };

FormEra FormEraOf(unsigned version);
// The new keys are the form's own: the 2024 form and any later one.
bool SumsNewKeys(FormEra era);
