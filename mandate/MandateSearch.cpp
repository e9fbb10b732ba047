// Paths are case-sensitive here, so a mandate is met under the path the walk
// took; the caller registers it under its canonical path.
#include "mandate/MandateSearch.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include "base/Windows1252.h"

#include "mandate/MandatePath.h"
#include "mandate/backup/MandateBackup.h"
#include "mandate/pendra/Mandate.h"

namespace fs = std::filesystem;

namespace {

std::string ChildPath(const std::string& dir, const std::string& name) {
    return dir == "/" ? dir + name : dir + "/" + name;
}

class Search {
public:
    Search(const std::function<void(const std::string&)>& found, const std::function<bool()>& stopped)
        : found_(found), stopped_(stopped) {}

    bool Visit(const std::string& strPath) {
        if (stopped_ && stopped_()) return false;
        const std::string path = WithoutTrailingSlash(strPath);
        // A folder met again through a link has been searched already.
        if (!searched_.insert(CanonicalMandatePath(path)).second) return true;
        if (Mandate::PathContainsMandate(path)) found_(path);

        for (const std::string& name : SubfolderNames(path))
            if (!Visit(ChildPath(path, name))) return false;
        return true;
    }

private:
    // The folders in `path` but backups, in name order as a Windows
    // folder lists them (letter case aside), whatever order the file system
    // keeps: the list shows gruppe1 before gruppe2 on every machine.
    static std::vector<std::string> SubfolderNames(const std::string& path) {
        std::vector<std::string> names;
        std::error_code error;
        fs::directory_iterator entries(path, fs::directory_options::skip_permission_denied, error);
        if (error) return names;
        for (; entries != fs::directory_iterator(); entries.increment(error)) {
            if (error) break;  // the folder cannot be read further: skip the rest
            std::error_code typeError;
            if (!entries->is_directory(typeError)) continue;
            if (backup::IsBackupFolder(entries->path().string())) continue;
            names.push_back(entries->path().filename().string());
        }
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            const std::string foldedA = win1252::FoldCase(a), foldedB = win1252::FoldCase(b);
            return foldedA != foldedB ? foldedA < foldedB : a < b;
        });
        return names;
    }

    const std::function<void(const std::string&)>& found_;
    const std::function<bool()>& stopped_;
    std::set<std::string> searched_;
};

}  // namespace

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool SearchMandates(const std::string& root, const std::function<void(const std::string& path)>& found,
                    const std::function<bool()>& stopped) {
    return Search(found, stopped).Visit(root);
}
