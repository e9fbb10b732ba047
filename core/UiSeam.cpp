#include "core/UiSeam.h"

#include <vector>

#include "core/ScriptedUiSeam.h"

namespace {
UiSeam* g_seam = nullptr;

std::vector<int> ButtonsOf(unsigned type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO: return {IDYES, IDNO};
        case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
        default: return {IDOK};
    }
}
}  // namespace

void UiSeam::Install(UiSeam* seam) { g_seam = seam; }

bool UiSeam::Installed() { return g_seam != nullptr; }

UiSeam& UiSeam::Current() {
    // Without an installed seam nothing may block: every box takes its default.
    static ScriptedUiSeam fallback;
    return g_seam ? *g_seam : fallback;
}

int DefaultButtonOf(unsigned type) {
    const std::vector<int> buttons = ButtonsOf(type);
    const std::size_t index = (type & MB_DEFMASK) >> 8;
    return index < buttons.size() ? buttons[index] : buttons.front();
}

bool BoxOffers(unsigned type, int answer) {
    for (int b : ButtonsOf(type))
        if (b == answer) return true;
    return false;
}
