#include "workbook/PackageRelationships.h"

#include "workbook/OoxmlEdit.h"
#include "workbook/OoxmlNames.h"
#include "workbook/PackagePaths.h"
#include "workbook/XmlText.h"

namespace ooxml {

using packagepaths::EndsWith;
using packagepaths::Folder;
using packagepaths::ResolveTarget;
using packagepaths::TargetFrom;

Relationships::Relationships(const std::string* xml, const std::string& part, std::string sourcePart)
    : folder_(Folder(sourcePart)) {
    if (xml)
        root_ = edit::Parse(doc_, *xml, part);
    else
        root_ = edit::NewRoot(doc_, "Relationships", kPackageRelNs);
}

std::vector<std::pair<std::string, std::string>> Relationships::OfType(std::string_view suffix) const {
    std::vector<std::pair<std::string, std::string>> found;
    for (pugi::xml_node rel : root_.children())
        if (rel.type() == pugi::node_element && EndsWith(rel.attribute("Type").value(), suffix) &&
            std::string_view(rel.attribute("TargetMode").value()) != "External")
            found.emplace_back(rel.attribute("Id").value(), ResolveTarget(folder_, rel.attribute("Target").value()));
    return found;
}

std::optional<std::string> Relationships::TargetOf(const std::string& id, std::string_view suffix) const {
    for (const auto& [relId, target] : OfType(suffix))
        if (relId == id) return target;
    return std::nullopt;
}

void Relationships::Remove(const std::string& id) {
    for (pugi::xml_node rel : root_.children())
        if (rel.type() == pugi::node_element && id == rel.attribute("Id").value()) {
            root_.remove_child(rel);
            return;
        }
}

std::string Relationships::Add(std::string_view type, const std::string& part) {
    std::string id;
    for (long n = 1;; ++n) {
        id = "rId" + std::to_string(n);
        if (!root_.find_child_by_attribute("Id", id.c_str())) break;
    }
    pugi::xml_node rel = root_.append_child("Relationship");
    rel.append_attribute("Id") = id.c_str();
    rel.append_attribute("Type") = std::string(type).c_str();
    rel.append_attribute("Target") = TargetFrom(folder_, part).c_str();
    return id;
}

std::string Relationships::Xml() const { return xmltext::Serialize(doc_); }

}  // namespace ooxml
