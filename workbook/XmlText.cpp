#include "workbook/XmlText.h"

#include <cstdio>
#include <sstream>

#include "base/Windows1252.h"

namespace xmltext {
namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// True when text[i..] is "_xHHHH_".
bool IsEscapeAt(std::string_view text, size_t i) {
    if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') return false;
    for (size_t k = 2; k < 6; ++k)
        if (!IsHex(text[i + k])) return false;
    return true;
}

bool NeedsPreserve(std::string_view text) {
    if (text.empty()) return false;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return blank(text.front()) || blank(text.back()) || text.find_first_of("\t\n\r") != std::string_view::npos ||
           text.find("  ") != std::string_view::npos;
}

}  // namespace

std::string_view LocalName(const char* qualifiedName) {
    std::string_view name(qualifiedName);
    size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node Child(pugi::xml_node parent, std::string_view localName) {
    for (pugi::xml_node child : parent.children())
        if (child.type() == pugi::node_element && LocalName(child.name()) == localName) return child;
    return {};
}

pugi::xml_attribute Attribute(pugi::xml_node node, std::string_view localName) {
    for (pugi::xml_attribute attr : node.attributes())
        if (LocalName(attr.name()) == localName) return attr;
    return {};
}

void SetText(pugi::xml_node node, std::string_view text) {
    if (NeedsPreserve(text)) node.append_attribute("xml:space") = "preserve";
    node.append_child(pugi::node_pcdata).set_value(std::string(text).c_str());
}

std::string Serialize(const pugi::xml_document& doc) {
    std::ostringstream out;
    out << R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)" << '\n';
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

std::string EncodeXstring(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (IsEscapeAt(text, i)) {
            out += "_x005F";
        } else if (c < 0x20 && c != '\t' && c != '\n') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "_x%04X_", c);
            out += escape;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string DecodeXstring(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsEscapeAt(text, i)) {
            unsigned cp = static_cast<unsigned>(std::stoul(std::string(text.substr(i + 2, 4)), nullptr, 16));
            win1252::AppendUtf8(out, static_cast<char32_t>(cp));
            i += 6;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace xmltext

