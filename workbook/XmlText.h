#pragma once
#include <pugixml.hpp>

#include <string>
#include <string_view>

// Small helpers over pugixml for the OOXML parts: element lookup by local name
// (producers may use namespace prefixes), text that keeps its blanks, and the
// _xHHHH_ escapes OOXML strings use for characters XML cannot carry.
namespace xmltext {

std::string_view LocalName(const char* qualifiedName);
pugi::xml_node Child(pugi::xml_node parent, std::string_view localName);
pugi::xml_attribute Attribute(pugi::xml_node node, std::string_view localName);

// Sets the element's text, marking it xml:space="preserve" when blanks matter.
void SetText(pugi::xml_node node, std::string_view text);

// A document with the standard declaration, as compact UTF-8.
std::string Serialize(const pugi::xml_document& doc);

// Cell strings: control characters become _xHHHH_; a literal "_xHHHH_" is
// protected as "_x005F_xHHHH_". Decode reverses both.
std::string EncodeXstring(std::string_view text);
std::string DecodeXstring(std::string_view text);

}  // namespace xmltext
