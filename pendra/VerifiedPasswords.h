#pragma once
#include <string>

// Passwords verified in this process, so that opening the same mandate again
// (the next command of a batch, the window checking what the list checked)
// costs no second Argon2 check. Only a keyed BLAKE2b digest is kept (the key
// random for each process), per mandate identity and stored password hash: a
// changed password or another mandate is checked in full, and the text
// itself is never kept.
namespace pendra {

// True when `password` is the one verified before for `identity` and `hash`.
bool IsVerifiedPassword(const std::string& identity, const std::string& hash,
                        const std::string& password);
void RememberVerifiedPassword(const std::string& identity, const std::string& hash,
                              const std::string& password);
void ForgetVerifiedPasswords();

}  // namespace pendra
