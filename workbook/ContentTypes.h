#pragma once
#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace ooxml {

// The package's content types part (`xml`: as read, or null for a new one).
class ContentTypes {
public:
    ContentTypes(const std::string* xml, const std::string& part);
    void AddDefault(const char* extension, std::string_view type);
    // Parts of ours get their type; a part already listed keeps its entry.
    void Ensure(const std::string& part, std::string_view type);
    void Remove(const std::string& part);
    std::string Xml() const;

private:
    pugi::xml_node Find(const std::string& part) const;
    pugi::xml_document doc_;
    pugi::xml_node root_;
};

}  // namespace ooxml
