#include "workbook/UnlockedFormats.h"

#include <algorithm>
#include <sstream>
#include <string_view>

#include "workbook/OoxmlEdit.h"
#include "workbook/XmlText.h"

namespace ooxml {
namespace {

bool IsTrue(std::string_view value) { return value == "1" || value == "true"; }

}  // namespace

using edit::Parse;
using edit::PrefixOf;
using edit::Set;
using xmltext::Attribute;
using xmltext::Child;
using xmltext::LocalName;
using xmltext::Serialize;

UnlockedFormats::UnlockedFormats(const std::string& xml, const std::string& part) {
    list_ = Child(Parse(doc_, xml, part), "cellXfs");
    for (pugi::xml_node xf : list_.children())
        if (xf.type() == pugi::node_element && LocalName(xf.name()) == "xf") xfs_.push_back(xf);
}

int UnlockedFormats::For(int format) {
    const auto index = static_cast<size_t>(format);
    if (!Has(format) || Unlocked(xfs_[index])) return format;
    if (auto known = twins_.find(format); known != twins_.end()) return known->second;
    pugi::xml_document scratch;
    pugi::xml_node twin = scratch.append_copy(xfs_[index]);
    Unlock(twin);
    const std::string text = Text(twin);
    if (texts_.empty())
        for (pugi::xml_node xf : xfs_) texts_.push_back(Text(xf));
    auto same = std::find(texts_.begin(), texts_.end(), text);
    if (same == texts_.end()) {
        xfs_.push_back(list_.append_copy(twin));
        texts_.push_back(text);
        same = texts_.end() - 1;
        if (Attribute(list_, "count")) Set(list_, "count", std::to_string(xfs_.size()));
        changed_ = true;
    }
    return twins_[format] = static_cast<int>(same - texts_.begin());
}

std::string UnlockedFormats::Xml() const { return Serialize(doc_); }

bool UnlockedFormats::Unlocked(pugi::xml_node xf) {
    pugi::xml_attribute locked = Attribute(Child(xf, "protection"), "locked");
    return IsTrue(Attribute(xf, "applyProtection").value()) && locked && !IsTrue(locked.value());
}

void UnlockedFormats::Unlock(pugi::xml_node xf) {
    Set(xf, "applyProtection", "1");
    pugi::xml_node protection = Child(xf, "protection");
    // In schema order: after an alignment, before an extension list.
    const std::string name = PrefixOf(xf) + "protection";
    if (!protection)
        protection = Child(xf, "extLst") ? xf.insert_child_before(name.c_str(), Child(xf, "extLst"))
                                          : xf.append_child(name.c_str());
    Set(protection, "locked", "0");
}

std::string UnlockedFormats::Text(pugi::xml_node xf) {
    std::ostringstream out;
    xf.print(out, "", pugi::format_raw);
    return out.str();
}

}  // namespace ooxml
