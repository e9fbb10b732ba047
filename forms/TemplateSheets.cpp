#include "forms/TemplateSheets.h"

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

std::shared_ptr<const TemplateSheet> TemplateSheets::Of(const std::string& path, Reader read) {
    struct stat identity {};
    if (::stat(path.c_str(), &identity) != 0 || !S_ISREG(identity.st_mode))
        return std::make_shared<const TemplateSheet>();
    const std::lock_guard<std::mutex> guard(lock_);
    auto known = remembered_.find(path);
    if (known != remembered_.end() && SameFile(known->second.identity, identity)) return known->second.sheet;
    auto sheet = std::make_shared<const TemplateSheet>(read(path));
    remembered_[path] = Remembered{identity, sheet};
    return sheet;
}
