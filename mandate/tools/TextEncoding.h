#pragma once
#include <string>
#include <string_view>

// Input text of the mandate tool may come from Windows editors: UTF-8 (with
// or without byte order mark) or Windows-1252.
namespace mandant {

bool IsValidUtf8(std::string_view text);

// `text` as UTF-8: unchanged when it is valid UTF-8 (BOM removed), otherwise
// read as Windows-1252. False, with the 1-based line of the first offending
// byte in `badLine`, when a byte has no character in Windows-1252.
bool ToUtf8(std::string_view text, std::string& out, int& badLine);

}  // namespace mandant
