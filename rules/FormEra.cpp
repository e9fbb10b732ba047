#include "rules/FormEra.h"

FormEra FormEraOf(unsigned version, const RateChange& change) {
    if (version == 0) return FormEra::kNone;
    if (version <= static_cast<unsigned>(change.oldForms)) return FormEra::k2018;
    return version <= static_cast<unsigned>(change.newForms) ? FormEra::k2024 : FormEra::kNewer;
}

bool SumsNewKeys(FormEra era) { return era == FormEra::k2024 || era == FormEra::kNewer; }

bool NewFormStepDone(FormEra era, const RateChange& change) {
    return SumsNewKeys(era) || (!change.newFormsInstalled && era != FormEra::kNone);
}
