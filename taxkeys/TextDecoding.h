#pragma once
#include <string>

// Text files the user edits on Windows: UTF-8 (a byte order mark is dropped)
// or, when the bytes are not valid UTF-8, Windows-1252. The result is UTF-8;
// bytes that Windows-1252 leaves undefined become U+FFFD.
std::string DecodeWindowsText(const std::string& bytes);
bool IsValidUtf8(const std::string& bytes);
