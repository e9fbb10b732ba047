#include "workbook/Workbook.h"

#include <algorithm>

#include "base/CException.h"
#include "workbook/TextRules.h"

using textrules::SameSheetName;

Workbook::Workbook() { SetSheetCount(kDefaultSheetCount); }

Workbook::Workbook(std::vector<Sheet> sheets) {
    if (sheets.empty()) throw CInvalidArgException("a workbook needs at least one sheet");
    if (static_cast<long>(sheets.size()) > kMaxSheetCount)
        throw CInvalidArgException("a workbook holds at most " + std::to_string(kMaxSheetCount) + " sheets");
    for (auto& sheet : sheets) {
        textrules::RequireSheetName(sheet.Name());
        RequireUniqueName(sheet.Name(), 0);
        sheets_.push_back(std::move(sheet));
    }
}

void Workbook::SetSheetCount(long count) {
    if (count < 1 || count > kMaxSheetCount)
        throw CInvalidArgException("sheet count " + std::to_string(count) + " is out of range 1.." +
                                   std::to_string(kMaxSheetCount));
    if (count < SheetCount()) sheets_.resize(static_cast<size_t>(count), Sheet(""));
    while (SheetCount() < count) sheets_.emplace_back(FreshSheetName());
    active_ = std::min(active_, count);
}

Sheet& Workbook::SheetAt(long index) {
    RequireIndex(index);
    return sheets_[static_cast<size_t>(index - 1)];
}

const Sheet& Workbook::SheetAt(long index) const {
    RequireIndex(index);
    return sheets_[static_cast<size_t>(index - 1)];
}

void Workbook::RenameSheet(long index, std::string name) {
    RequireIndex(index);
    textrules::RequireSheetName(name);
    RequireUniqueName(name, index);
    sheets_[static_cast<size_t>(index - 1)].name_ = std::move(name);
}

void Workbook::RenameSheets(const std::vector<std::string>& names) {
    if (static_cast<long>(names.size()) != SheetCount())
        throw CInvalidArgException(std::to_string(names.size()) + " names for " + std::to_string(SheetCount()) +
                                   " sheets");
    for (size_t i = 0; i < names.size(); ++i) {
        textrules::RequireSheetName(names[i]);
        for (size_t k = 0; k < i; ++k)
            if (SameSheetName(names[k], names[i]))
                throw CInvalidArgException("sheet name \"" + names[i] + "\" is used by sheets " +
                                           std::to_string(k + 1) + " and " + std::to_string(i + 1));
    }
    for (size_t i = 0; i < names.size(); ++i) sheets_[i].name_ = names[i];
}

void Workbook::SetActiveSheet(long index) {
    RequireIndex(index);
    active_ = index;
}

const std::string* Workbook::FindDefinedName(const std::string& name) const {
    auto it = names_.find(name);
    return it == names_.end() ? nullptr : &it->second;
}

void Workbook::SetDefinedName(const std::string& name, std::string definition) {
    textrules::RequireDefinedName(name);
    textrules::RequireXmlSafeText(definition, ("definition of \"" + name + "\"").c_str());
    names_[name] = std::move(definition);
}

void Workbook::RequireIndex(long index) const {
    if (index < 1 || index > SheetCount())
        throw CInvalidArgException("sheet " + std::to_string(index) + " is out of range 1.." +
                                   std::to_string(SheetCount()));
}

void Workbook::RequireUniqueName(const std::string& name, long exceptIndex) const {
    for (long i = 1; i <= SheetCount(); ++i)
        if (i != exceptIndex && SameSheetName(sheets_[static_cast<size_t>(i - 1)].Name(), name))
            throw CInvalidArgException("sheet name \"" + name + "\" is already used by sheet " +
                                       std::to_string(i));
}

std::string Workbook::FreshSheetName() const {
    for (long n = SheetCount() + 1;; ++n) {
        std::string name = "Sheet" + std::to_string(n);
        bool used = std::any_of(sheets_.begin(), sheets_.end(),
                                [&](const Sheet& s) { return SameSheetName(s.Name(), name); });
        if (!used) return name;
    }
}
