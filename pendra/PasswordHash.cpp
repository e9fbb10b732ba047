#include "pendra/PasswordHash.h"

#include <sodium.h>

#include <atomic>

namespace pendra {
namespace {

std::atomic<std::uint64_t> verifications{0};

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace

std::string HashPassword(const std::string& password) {
    if (!SodiumReady()) return {};
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        return {};
    }
    return hash;
}

bool VerifyPassword(const std::string& hash, const std::string& password) {
    if (!SodiumReady() || hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
    ++verifications;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::uint64_t PasswordVerifications() { return verifications.load(); }

}  // namespace pendra
