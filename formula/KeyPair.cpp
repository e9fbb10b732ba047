#include "formula/KeyPair.h"

#include <string_view>

namespace keypair {

std::string Make(const std::string& oldId, const std::string& newId) { return oldId + kSeparator + newId; }

bool Split(const std::string& pair, std::string& oldId, std::string& newId) {
    const std::size_t at = pair.find(kSeparator);
    if (at == std::string::npos) return false;
    oldId = pair.substr(0, at);
    newId = pair.substr(at + std::string_view(kSeparator).size());
    return true;
}

void SplitAll(const std::vector<std::string>& pairs, std::vector<std::string>& oldIds,
              std::vector<std::string>& newIds) {
    for (const std::string& pair : pairs) {
        std::string oldId, newId;
        if (!Split(pair, oldId, newId)) continue;
        oldIds.push_back(std::move(oldId));
        newIds.push_back(std::move(newId));
    }
}

}  // namespace keypair
