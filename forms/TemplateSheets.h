#pragma once
#include <sys/stat.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// What a workbook check needs of a template's mapping sheet: its labels and
// the keys its formulas name (upper case). Empty when the template is not
// there, cannot be read or has no mapping sheet.
struct TemplateSheet {
    std::vector<std::string> labels;
    std::set<std::string> keys;
};

// The template mapping sheets one run has read. Every workbook checked needs
// the templates of both years (eight workbooks), which do not change while a
// run goes on: each is read once and again only when the file is another or
// changed (device, inode, size, modification and change time). Shared by the
// workers of a run, hence the lock.
class TemplateSheets {
public:
    using Reader = TemplateSheet (*)(const std::string& path);

    // The sheet of the template `path`, read by `read` unless known.
    std::shared_ptr<const TemplateSheet> Of(const std::string& path, Reader read);

private:
    struct Remembered {
        struct stat identity;
        std::shared_ptr<const TemplateSheet> sheet;
    };
    std::mutex lock_;
    std::map<std::string, Remembered> remembered_;
};
