#include "core/UiSeam.h"

#include <vector>

namespace {

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
