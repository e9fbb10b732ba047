#include "app/MenuText.h"

#include "core/Strings.h"
#include "res/ResourceData.h"

namespace {

std::string PlainMenuText(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size() && text[i] != '\t'; ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    if (plain.ends_with("...")) plain.resize(plain.size() - 3);
    return plain;
}

}  // namespace

std::string MenuItemText(unsigned id) {
    for (const MenuPopup& popup : Resources(CurrentLanguage()).menu)
        for (const MenuItem& item : popup.items)
            if (item.id == id) return PlainMenuText(item.text);
    return {};
}
