#pragma once
#include <pugixml.hpp>

#include <cstddef>
#include <string_view>

// How deep an XML text nests and how many nodes (elements, attributes and
// texts) a parser builds of it, found by one flat pass over the text before
// it is parsed. pugixml builds its tree without recursion, but it frees a
// subtree (remove_child) with one call per level, so a part nesting a few
// hundred thousand elements deep would exhaust the stack when the writer
// replaces it; and every node costs tens of bytes, so a small part of
// "<a/>" repeated could cost far more memory than its size suggests.
namespace xmlbounds {

struct Bounds {
    std::size_t depth;  // elements open at once
    std::size_t nodes;
};

enum class Verdict {
    Within,
    TooDeep,
    TooManyNodes,
    DocumentType,  // a DTD, which no package may carry and which the parser would walk
};

struct Measure {
    Verdict verdict = Verdict::Within;
    std::size_t nodes = 0;  // counted up to where the pass stopped
    // The encoding the pass read the text in (UTF-8, or UTF-16/32 by byte
    // order mark or the first "<"); the parser must be told the same.
    pugi::xml_encoding encoding = pugi::encoding_utf8;
};

// Stops at the first bound passed. Never counts fewer levels or nodes than
// the parser builds of the text; malformed text may count more.
Measure Scan(std::string_view xml, const Bounds& bounds);

}  // namespace xmlbounds
