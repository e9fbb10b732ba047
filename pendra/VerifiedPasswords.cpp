#include "pendra/VerifiedPasswords.h"

#include <sodium.h>

#include <array>
#include <map>
#include <mutex>
#include <utility>

namespace pendra {
namespace {

using Digest = std::array<unsigned char, crypto_generichash_BYTES>;

struct Remembered {
    std::mutex mutex;
    std::array<unsigned char, crypto_generichash_KEYBYTES> key{};
    bool keyed = false;
    std::map<std::pair<std::string, std::string>, Digest> digests;  // (identity, hash)
};

Remembered& State() {
    static Remembered state;
    return state;
}

// Under the state's mutex.
bool DigestOf(Remembered& state, const std::string& password, Digest& digest) {
    if (!state.keyed) {
        if (sodium_init() < 0) return false;
        randombytes_buf(state.key.data(), state.key.size());
        state.keyed = true;
    }
    return crypto_generichash(digest.data(), digest.size(),
                              reinterpret_cast<const unsigned char*>(password.data()),
                              password.size(), state.key.data(), state.key.size()) == 0;
}

}  // namespace

bool IsVerifiedPassword(const std::string& identity, const std::string& hash,
                        const std::string& password) {
    Remembered& state = State();
    std::lock_guard lock(state.mutex);
    auto found = state.digests.find({identity, hash});
    Digest digest;
    if (found == state.digests.end() || !DigestOf(state, password, digest)) return false;
    return sodium_memcmp(digest.data(), found->second.data(), digest.size()) == 0;
}

void RememberVerifiedPassword(const std::string& identity, const std::string& hash,
                              const std::string& password) {
    Remembered& state = State();
    std::lock_guard lock(state.mutex);
    Digest digest;
    if (DigestOf(state, password, digest)) state.digests[{identity, hash}] = digest;
}

void ForgetVerifiedPasswords() {
    Remembered& state = State();
    std::lock_guard lock(state.mutex);
    state.digests.clear();
}

}  // namespace pendra
