#include "workbook/PackageParts.h"

#include "workbook/OoxmlNames.h"
#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"

namespace ooxml {

PackageParts::PackageParts(const PackageOrigin* origin) : origin_(origin ? &origin->parts : nullptr) {}

const std::string* PackageParts::Find(const std::string& name) const {
    if (auto made = made_.find(name); made != made_.end()) return &made->second;
    if (!origin_ || dropped_.count(name)) return nullptr;
    auto kept = origin_->find(name);
    return kept == origin_->end() ? nullptr : &kept->second;
}

void PackageParts::Put(const std::string& name, std::string content) {
    made_[name] = std::move(content);
    dropped_.erase(name);
}

void PackageParts::Drop(const std::string& name) {
    made_.erase(name);
    dropped_.insert(name);
}

void PackageParts::AddTo(ZipWriter& zip) const {
    const std::string contentTypes(kPartContentTypes);
    std::map<std::string, const std::string*> all;
    if (origin_)
        for (const auto& [name, content] : *origin_)
            if (!dropped_.count(name)) all[name] = &content;
    for (const auto& [name, content] : made_) all[name] = &content;
    if (auto types = all.find(contentTypes); types != all.end()) zip.AddBorrowed(contentTypes, *types->second);
    for (const auto& [name, content] : all)
        if (name != contentTypes) zip.AddBorrowed(name, *content);
}

}  // namespace ooxml
