// The conversion table parser (quorvex.txt): any bytes, Windows-1252 or UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rules/ConvertTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto entries = ConvertTable::Parse(std::string(reinterpret_cast<const char*>(data), size));
    std::size_t total = 0;
    for (const auto& entry : entries) total += entry.oldId.size() + entry.newId.size();
    if (total > 3 * size) std::abort();  // a byte decodes to at most three of UTF-8
    return 0;
}
