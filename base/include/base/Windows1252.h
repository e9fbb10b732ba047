#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Windows-1252, the 8-bit ANSI code page of the accounting product's texts,
// and UTF-8, the program's text in memory. One byte of Windows-1252 is one
// character; the bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D are no character.
namespace win1252 {

// The character of a byte; nullopt for the five bytes without one.
std::optional<char32_t> ToCodePoint(unsigned char byte);
// The byte of a character; nullopt when Windows-1252 has no such character.
std::optional<unsigned char> FromCodePoint(char32_t c);

// Well-formed UTF-8: no overlong forms, surrogates or values beyond U+10FFFF.
bool IsValidUtf8(std::string_view text);
void AppendUtf8(std::string& out, char32_t c);

// Windows-1252 bytes as UTF-8. Bytes without a character become U+FFFD; the
// checking form answers false instead, with the offset of the first of them.
std::string ToUtf8(std::string_view bytes);
bool ToUtf8(std::string_view bytes, std::string& out, std::size_t& badOffset);

// UTF-8 text as Windows-1252 bytes; nullopt when the text is no UTF-8 or holds
// a character that Windows-1252 does not have.
std::optional<std::string> FromUtf8(std::string_view text);
// True when FromUtf8 would succeed.
bool IsRepresentable(std::string_view text);

// Text of files edited on Windows: UTF-8 as it is (a byte order mark
// dropped), or, when the bytes are no UTF-8, Windows-1252. The checking form
// answers false, with the offset of the first byte that is no character in
// either, where the first form puts U+FFFD.
std::string DecodeWindowsText(std::string_view bytes);
bool DecodeWindowsText(std::string_view bytes, std::string& out, std::size_t& badOffset);

// UTF-16 text (without its byte order mark) as UTF-8; nullopt for an odd
// number of bytes or a surrogate without its partner.
std::optional<std::string> Utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Characters of UTF-8 text (code points); the first `count` of them. A byte
// that is no UTF-8 counts as one character.
std::size_t CharacterCount(std::string_view text);
std::string_view FirstCharacters(std::string_view text, std::size_t count);

// Letter case as Windows maps it in this code page: A-Z, the accented letters
// À-Þ (not ×), Š, Œ, Ž and Ÿ have lower-case partners (ß, µ, ª, º and ƒ have
// none). Bytes that are no upper-case letter stay as they are.
unsigned char ToLower(unsigned char byte);
unsigned char ToUpper(unsigned char byte);
// UTF-8 text with every upper-case letter of Windows-1252 lower-cased;
// other characters, and bytes that are no UTF-8, stay as they are.
std::string FoldCase(std::string_view text);
// Equal without regard to letter case (of Windows-1252 letters).
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace win1252
