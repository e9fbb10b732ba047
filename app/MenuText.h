#pragma once
#include <string>

// The menu's text of command `id` as the window shows it in a sentence:
// without the mnemonic marks, the shortcut and the closing "..."; empty when
// the menu has no such item.
std::string MenuItemText(unsigned id);
