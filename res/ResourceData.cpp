#include "res/ResourceData.h"

#include <sstream>
#include <string_view>

#include "base/StringTableFile.h"

extern const std::string_view embedded_de_txt;
extern const std::string_view embedded_fr_txt;
extern const std::string_view embedded_menu_de_txt;
extern const std::string_view embedded_menu_fr_txt;
extern const std::string_view embedded_accelerators_txt;
extern const std::string_view embedded_toolbar_txt;

namespace {

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool IsBlankOrComment(const std::string& line) {
    const auto first = line.find_first_not_of(" \t");
    return first == std::string::npos || line[first] == '#';
}

// A quoted text with the escapes \t, \n and \\; false when unterminated.
bool Unquote(const std::string& s, std::size_t from, std::string& out) {
    const auto open = s.find('"', from);
    if (open == std::string::npos) return false;
    out.clear();
    for (std::size_t i = open + 1; i < s.size(); ++i) {
        if (s[i] == '"') return true;
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
        } else {
            out += s[i];
        }
    }
    return false;
}

ResourceSet Load(std::string_view strings, std::string_view menu, const char* name) {
    ResourceSet set;
    StringTable table = ParseStringTable(strings);
    set.strings = std::move(table.entries);
    for (const auto& e : table.errors)
        set.errors.push_back(std::string(name) + ":" + std::to_string(e.line) + ": " + e.message);
    std::string menuText(menu);
    set.menu = ParseMenu(menuText, set.errors);
    return set;
}

}  // namespace

std::vector<MenuPopup> ParseMenu(const std::string& text, std::vector<std::string>& errors) {
    std::vector<MenuPopup> menu;
    int number = 0;
    bool inPopup = false;
    for (const std::string& line : Lines(text)) {
        ++number;
        if (IsBlankOrComment(line)) continue;
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        auto fail = [&](const std::string& what) {
            errors.push_back("menu:" + std::to_string(number) + ": " + what);
        };
        if (keyword == "POPUP") {
            MenuPopup popup;
            if (!Unquote(line, 0, popup.title)) { fail("POPUP needs a quoted title"); continue; }
            menu.push_back(popup);
            inPopup = true;
        } else if (keyword == "END") {
            inPopup = false;
        } else if (!inPopup) {
            fail("item outside a POPUP");
        } else if (keyword == "SEPARATOR") {
            menu.back().items.push_back(MenuItem{});
        } else if (keyword == "ITEM") {
            MenuItem item;
            long id = 0;
            if (!(words >> id) || id <= 0 || !Unquote(line, 0, item.text)) {
                fail("ITEM needs an id and a quoted text");
                continue;
            }
            item.id = static_cast<unsigned>(id);
            menu.back().items.push_back(item);
        } else {
            fail("unknown keyword " + keyword);
        }
    }
    return menu;
}

const ResourceSet& Resources(Language language) {
    static const ResourceSet german = Load(embedded_de_txt, embedded_menu_de_txt, "de");
    static const ResourceSet french = Load(embedded_fr_txt, embedded_menu_fr_txt, "fr");
    return language == Language::French ? french : german;
}

const std::vector<Accelerator>& Accelerators() {
    static const std::vector<Accelerator> table = [] {
        std::vector<Accelerator> out;
        for (const std::string& line : Lines(embedded_accelerators_txt)) {
            if (IsBlankOrComment(line)) continue;
            const auto tab = line.find('\t');
            if (tab == std::string::npos) continue;
            out.push_back({line.substr(0, tab), static_cast<unsigned>(std::stoul(line.substr(tab + 1)))});
        }
        return out;
    }();
    return table;
}

const std::vector<ToolbarButton>& ToolbarButtons() {
    static const std::vector<ToolbarButton> buttons = [] {
        std::vector<ToolbarButton> out;
        for (const std::string& line : Lines(embedded_toolbar_txt)) {
            if (IsBlankOrComment(line)) continue;
            std::istringstream words(line);
            std::string keyword;
            words >> keyword;
            ToolbarButton button;
            if (keyword == "BUTTON") words >> button.id >> button.icon;
            out.push_back(button);
        }
        return out;
    }();
    return buttons;
}
