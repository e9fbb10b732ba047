#pragma once
#include <pugixml.hpp>

#include <map>
#include <string>
#include <vector>

namespace ooxml {

// The formats written for the cells of a sheet protected in its structure, so
// that each of them takes input. LibreOffice gives a cell without "s" its
// default cell style, which is locked whatever format 0 says; so every cell
// there names its format. A format that is locked (an xf without a protection
// element is locked) gives way to an unlocked twin, one the style sheet already
// has or one appended to it; the formats of the file stay as they are.
class UnlockedFormats {
public:
    UnlockedFormats(const std::string& xml, const std::string& part);

    // Whether the style sheet has that format; an index it does not have is
    // written as it is, the file named it so.
    bool Has(int format) const { return format >= 0 && static_cast<size_t>(format) < xfs_.size(); }

    // The format a cell of format `format` (one the style sheet has) is written with.
    int For(int format);

    bool Changed() const { return changed_; }
    std::string Xml() const;

private:
    static bool Unlocked(pugi::xml_node xf);
    static void Unlock(pugi::xml_node xf);
    static std::string Text(pugi::xml_node xf);

    pugi::xml_document doc_;
    pugi::xml_node list_;
    std::vector<pugi::xml_node> xfs_;
    std::vector<std::string> texts_;  // of xfs_, made when first needed
    std::map<int, int> twins_;
    bool changed_ = false;
};

}  // namespace ooxml
