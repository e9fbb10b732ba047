#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// How the data library stores tax ids: in Windows-1252, the product's 8-bit
// ANSI code page, one byte a character. That is the form of the id fields of
// the records (the key's id, the account's and the booking's tax id) and of the
// key and taxid columns, so six letters fit the six-byte field whatever they
// are. Callers hand ids over and get them back as UTF-8.
namespace pendra {

// The stored form of the UTF-8 id `id` for a field of `width` bytes: kOk;
// kNotWindows1252 for a character Windows-1252 does not have (or text that is
// no UTF-8); kKeyTooLong for more than `width` characters; kBadArgument for a
// NUL. Nothing is ever cut.
int EncodeTaxId(std::string_view id, std::size_t width, std::string& stored);

// The UTF-8 id of a stored one (a byte without character gives U+FFFD).
std::string DecodeTaxId(std::string_view stored);

}  // namespace pendra
