#pragma once
#include <map>
#include <string>
#include <vector>

// The program's resources by language: string table, menu, accelerators and
// toolbar, parsed once from the files compiled in from res/.
enum class Language { German, French };

struct MenuItem {
    unsigned id = 0;    // 0 for a separator
    std::string text;   // with "&" mnemonic and "\t" before the shortcut text
};

struct MenuPopup {
    std::string title;
    std::vector<MenuItem> items;
};

struct Accelerator {
    std::string keys;   // Qt key sequence text, e.g. "Ctrl+O"
    unsigned id = 0;
};

struct ToolbarButton {
    unsigned id = 0;    // 0 for a separator
    std::string icon;   // file name under res/icons/
};

struct ResourceSet {
    std::map<int, std::string> strings;
    std::vector<MenuPopup> menu;
    std::vector<std::string> errors;  // malformed lines, "file:line: message"
};

const ResourceSet& Resources(Language language);
const std::vector<Accelerator>& Accelerators();
const std::vector<ToolbarButton>& ToolbarButtons();

// Parsers, public for the tests of odd input.
std::vector<MenuPopup> ParseMenu(const std::string& text, std::vector<std::string>& errors);
