#pragma once
#include <string>
#include <vector>

// Key pair texts: old key id, the separator "^^_^^", new key id. The tax key
// commands produce them; the formula transfer and the formula passes split them.
namespace keypair {

inline constexpr const char* kSeparator = "^^_^^";

std::string Make(const std::string& oldId, const std::string& newId);

// Splits at the first separator. False, outputs untouched, for a text without
// one: such an entry names no pair and is skipped by the callers.
bool Split(const std::string& pair, std::string& oldId, std::string& newId);

// Splits a whole list into two index-aligned lists, skipping entries without
// a separator.
void SplitAll(const std::vector<std::string>& pairs, std::vector<std::string>& oldIds,
              std::vector<std::string>& newIds);

}  // namespace keypair
