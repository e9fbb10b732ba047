#pragma once
#include <pugixml.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ooxml {

// The relationships part of `sourcePart` (`xml`: as read, or null for a new one).
class Relationships {
public:
    Relationships(const std::string* xml, const std::string& part, std::string sourcePart);

    // Id and target part of each relationship of a type ending in `suffix`.
    std::vector<std::pair<std::string, std::string>> OfType(std::string_view suffix) const;
    std::optional<std::string> TargetOf(const std::string& id, std::string_view suffix) const;
    void Remove(const std::string& id);
    std::string Add(std::string_view type, const std::string& part);
    std::string Xml() const;

private:
    std::string folder_;
    pugi::xml_document doc_;
    pugi::xml_node root_;
};

}  // namespace ooxml
