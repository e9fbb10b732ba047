#include "workbook/PackagePaths.h"

#include <vector>

namespace packagepaths {

bool EndsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string Folder(const std::string& part) {
    size_t slash = part.rfind('/');
    return slash == std::string::npos ? "" : part.substr(0, slash);
}

std::string RelsPartOf(const std::string& part) {
    std::string folder = Folder(part);
    std::string file = folder.empty() ? part : part.substr(folder.size() + 1);
    return (folder.empty() ? "" : folder + "/") + "_rels/" + file + ".rels";
}

std::string ResolveTarget(const std::string& folder, std::string_view target) {
    std::string joined = !target.empty() && target.front() == '/' ? std::string(target.substr(1))
                         : folder.empty()                         ? std::string(target)
                                                                  : folder + "/" + std::string(target);
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= joined.size()) {
        size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        std::string segment = joined.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string resolved;
    for (const auto& segment : segments) resolved += (resolved.empty() ? "" : "/") + segment;
    return resolved;
}

std::string TargetFrom(const std::string& folder, const std::string& part) {
    if (folder.empty()) return part;
    if (part.size() > folder.size() && part.compare(0, folder.size(), folder) == 0 && part[folder.size()] == '/')
        return part.substr(folder.size() + 1);
    return "/" + part;
}

}  // namespace packagepaths
