#pragma once

// Which VAT form a mandate's active workbook is, by its version: the one
// place that says what "the 2024 form is active" means. Version 0 is no
// usable workbook; versions up to 2018 are the forms the new keys are added
// to; 2024 sums the new keys itself; a later version is none this program
// writes.
enum class FormEra { kNone, k2018, k2024, kNewer };

constexpr FormEra FormEraOf(unsigned version) {
    if (version == 0) return FormEra::kNone;
    if (version <= 2018) return FormEra::k2018;
    return version <= 2024 ? FormEra::k2024 : FormEra::kNewer;
}

// The new keys are the form's own: the 2024 form and any later one.
constexpr bool SumsNewKeys(FormEra era) { return era == FormEra::k2024 || era == FormEra::kNewer; }
