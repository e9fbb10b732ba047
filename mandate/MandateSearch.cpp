// Paths are case-sensitive here, so a mandate is met under the path the walk
// took; the caller registers it under its canonical path.
#include "mandate/MandateSearch.h"

#include <filesystem>
#include <set>

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

        std::error_code error;
        fs::directory_iterator entries(path, fs::directory_options::skip_permission_denied, error);
        if (error) return true;
        for (; entries != fs::directory_iterator(); entries.increment(error)) {
            if (error) break;  // the folder cannot be read further: skip the rest
            std::error_code typeError;
            if (!entries->is_directory(typeError)) continue;
            if (backup::IsBackupFolder(entries->path().string())) continue;
            if (!Visit(ChildPath(path, entries->path().filename().string()))) return false;
        }
        return true;
    }

private:
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
