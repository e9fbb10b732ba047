#include "core/Strings.h"

#include "mandate/pendra/PendraMessages.h"

namespace {
Language g_language = Language::German;
}

void SetProcessPreferredUILanguages(const std::string& cultureName) {
    const bool french = cultureName.size() >= 2 && (cultureName.compare(0, 2, "fr") == 0 ||
                                                    cultureName.compare(0, 2, "FR") == 0);
    g_language = french ? Language::French : Language::German;
    SetPendraLanguage(french ? "fr" : "de");
}

Language CurrentLanguage() { return g_language; }

std::string LoadString(int id) {
    const auto& strings = Resources(g_language).strings;
    const auto it = strings.find(id);
    return it == strings.end() ? std::string() : it->second;
}

std::string PromptOf(unsigned commandId) {
    const std::string text = LoadString(static_cast<int>(commandId));
    return text.substr(0, text.find('\n'));
}

std::string TooltipOf(unsigned commandId) {
    const std::string text = LoadString(static_cast<int>(commandId));
    const auto nl = text.find('\n');
    return nl == std::string::npos ? std::string() : text.substr(nl + 1);
}
