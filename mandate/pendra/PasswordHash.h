#pragma once
#include <string>

// Mandate passwords are kept only as salted Argon2id hashes (libsodium's
// crypto_pwhash_str, interactive limits); the text never reaches the file.
namespace pendra {

// Empty when hashing failed (out of memory).
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& hash, const std::string& password);

}  // namespace pendra
