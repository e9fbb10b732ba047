#pragma once
#include <map>
#include <set>
#include <string>

struct PackageOrigin;
class ZipWriter;

namespace ooxml {

// The parts to write: those of the workbook's origin, read where they are,
// and those this write makes or drops. A part nobody changes (an image, the
// style sheet) is handed to the zip as it is, never copied.
class PackageParts {
public:
    explicit PackageParts(const PackageOrigin* origin);

    const std::string* Find(const std::string& name) const;
    void Put(const std::string& name, std::string content);
    void Drop(const std::string& name);

    // The content types first, as producers put them; the others by name.
    void AddTo(ZipWriter& zip) const;

private:
    using Parts = std::map<std::string, std::string>;
    const Parts* origin_;
    Parts made_;
    std::set<std::string> dropped_;
};

}  // namespace ooxml
