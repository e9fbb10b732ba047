#pragma once
#include <string>

// The text engine for key-sum formulas ("A+B_x+C"): replace a key, add a new
// key behind an old one, remove a key. A formula is read as terms joined by
// "+"; a term's key part runs up to its first "_", the rest is its suffix and
// is kept. Nothing else of formula syntax is understood, so brackets, blanks,
// constants and other operators pass through untouched and never match.
// Rename and extend never produce a term (key and suffix) that the formula
// already has, so applying an operation twice gives what applying it once does.
//
// Each operation sets `changeFlag` to 1 as soon as a term matches and never
// clears it; the caller owns the flag (the application's change flag).
namespace formel {

std::string Rename(std::string formula, const std::string& oldKey, const std::string& newKey,
                   short& changeFlag);
std::string Extend(std::string formula, const std::string& oldKey, const std::string& newKey,
                   short& changeFlag);
std::string Delete(std::string formula, const std::string& key, short& changeFlag);

}  // namespace formel
