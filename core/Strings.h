#pragma once
#include <string>

#include "res/ResourceData.h"

// The user-interface language of the process and the string table lookups.
// SetProcessPreferredUILanguages takes a culture name ("de-CH", "fr-CH"):
// French for any "fr" culture, German otherwise. It also sets the data
// library's language, so its messages follow.
void SetProcessPreferredUILanguages(const std::string& cultureName);
Language CurrentLanguage();

// String `id` of the current language; empty when the table lacks it.
std::string LoadString(int id);
// The system's reason `error` (an errno value) in the current language, for
// the log: the common ones from the string table, any other as the C
// library words it, with its number.
std::string SystemText(int error);
// The status-bar prompt of a command (text before "\n") and its short form (after it).
std::string PromptOf(unsigned commandId);
std::string TooltipOf(unsigned commandId);
