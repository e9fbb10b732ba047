#include "workbook/OoxmlEdit.h"

#include <charconv>

#include "base/CException.h"
#include "workbook/OoxmlNames.h"

namespace ooxml::edit {

using xmltext::SetText;

std::string PrefixOf(pugi::xml_node node) {
    std::string_view name = node.name();
    size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(name.substr(0, colon + 1));
}

void Set(pugi::xml_node node, const char* name, const std::string& value) {
    pugi::xml_attribute attr = node.attribute(name);
    if (!attr) attr = node.append_attribute(name);
    attr.set_value(value.c_str());
}

void ReplaceText(pugi::xml_node node, const std::string& text) {
    while (node.first_child()) node.remove_child(node.first_child());
    node.remove_attribute("xml:space");
    SetText(node, text);
}

std::optional<long> Integer(std::string_view text) {
    long value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

pugi::xml_node Parse(pugi::xml_document& doc, const std::string& xml, const std::string& part) {
    if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata))
        throw CFileException("cannot write the workbook: its part " + part + " cannot be parsed again");
    return doc.document_element();
}

pugi::xml_node NewRoot(pugi::xml_document& doc, const char* name, std::string_view ns) {
    pugi::xml_node root = doc.append_child(name);
    root.append_attribute("xmlns") = std::string(ns).c_str();
    return root;
}

std::string RelIdAttribute(pugi::xml_node root) {
    for (pugi::xml_attribute attr : root.attributes()) {
        std::string_view name = attr.name();
        if (name.rfind("xmlns:", 0) == 0 && attr.value() == kRelNs) return std::string(name.substr(6)) + ":id";
    }
    std::string prefix = "r";
    while (root.attribute(("xmlns:" + prefix).c_str())) prefix += "r";
    root.append_attribute(("xmlns:" + prefix).c_str()) = std::string(kRelNs).c_str();
    return prefix + ":id";
}

}  // namespace ooxml::edit
