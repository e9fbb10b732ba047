#include "rules/FormEra.h"

FormEra FormEraOf(unsigned version) {
    if (version == 0) return FormEra::kNone;
    if (version <= 2018) return FormEra::k2018;
    return version <= 2024 ? FormEra::k2024 : FormEra::kNewer;
}

bool SumsNewKeys(FormEra era) { return era == FormEra::k2024 || era == FormEra::kNewer; }
