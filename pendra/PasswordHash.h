#pragma once
#include <cstdint>
#include <string>

// Mandate passwords are kept only as salted Argon2id hashes (libsodium's
// crypto_pwhash_str, interactive limits); the text never reaches the file.
namespace pendra {

// Empty when hashing failed (out of memory).
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& hash, const std::string& password);
// Argon2 checks VerifyPassword ran in this process (each costs about 90 ms).
std::uint64_t PasswordVerifications();

}  // namespace pendra
