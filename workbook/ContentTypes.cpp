#include "workbook/ContentTypes.h"

#include "workbook/OoxmlEdit.h"
#include "workbook/OoxmlNames.h"
#include "workbook/PackagePaths.h"
#include "workbook/XmlText.h"

namespace ooxml {

ContentTypes::ContentTypes(const std::string* xml, const std::string& part) {
    if (xml) {
        root_ = edit::Parse(doc_, *xml, part);
    } else {
        root_ = edit::NewRoot(doc_, "Types", kContentTypesNs);
        AddDefault("rels", kTypeRels);
        AddDefault("xml", "application/xml");
    }
}

void ContentTypes::AddDefault(const char* extension, std::string_view type) {
    pugi::xml_node d = root_.append_child("Default");
    d.append_attribute("Extension") = extension;
    d.append_attribute("ContentType") = std::string(type).c_str();
}

void ContentTypes::Ensure(const std::string& part, std::string_view type) {
    if (Find(part)) return;
    pugi::xml_node o = root_.append_child("Override");
    o.append_attribute("PartName") = ("/" + part).c_str();
    o.append_attribute("ContentType") = std::string(type).c_str();
}

void ContentTypes::Remove(const std::string& part) {
    if (pugi::xml_node o = Find(part)) root_.remove_child(o);
}

std::string ContentTypes::Xml() const { return xmltext::Serialize(doc_); }

pugi::xml_node ContentTypes::Find(const std::string& part) const {
    for (pugi::xml_node o : root_.children())
        if (o.type() == pugi::node_element && xmltext::LocalName(o.name()) == "Override" &&
            packagepaths::ResolveTarget("", o.attribute("PartName").value()) == part)
            return o;
    return {};
}

}  // namespace ooxml
