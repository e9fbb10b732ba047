#pragma once
#include <string>

// The data library's own message table (German and French) and helpers.
// The language follows SetPendraLanguage ("de" or "fr"; German by default).
using HINSTANCE_PENDRA = const void*;

HINSTANCE_PENDRA ZylGetResourceHandle();
void SetPendraLanguage(const std::string& lang);

// Message `id` of the library's table, formatted printf-style with the arguments
// (strings and ints), shown through PendraUi::ShowMessage. Message 5000: a file
// cannot be opened (file name, status); 5064: the system could not be initialised.
void ShowError(HINSTANCE_PENDRA resources, int id);
void ShowError(HINSTANCE_PENDRA resources, int id, const std::string& arg, int status);
// The text ShowError would show (for logs and tests).
std::string PendraMessageText(int id);

// printf-style number text: FloatToAscii(7.7, "%g") == "7.7".
std::string FloatToAscii(double value, const char* format);
