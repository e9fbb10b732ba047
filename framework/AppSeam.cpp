#include "framework/AppSeam.h"

#include "core/ScriptedUiSeam.h"

namespace {
UiSeam* g_seam = nullptr;
}  // namespace

void AppSeam::Install(UiSeam* seam) { g_seam = seam; }

bool AppSeam::Installed() { return g_seam != nullptr; }

UiSeam& AppSeam::Current() {
    // Without an installed seam nothing may block: every box takes its default.
    static ScriptedUiSeam fallback;
    return g_seam ? *g_seam : fallback;
}
