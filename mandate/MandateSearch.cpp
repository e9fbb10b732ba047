// Paths are case-sensitive here, so a mandate is met under the path the walk
// took; the caller registers it under its canonical path.
#include "mandate/MandateSearch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "base/Format.h"
#include "base/Windows1252.h"
#include "core/Strings.h"
#include "res/Resource.h"
#include "mandate/backup/MandateBackup.h"
#include "mandate/pendra/Mandate.h"

namespace fs = std::filesystem;

namespace {

std::string ChildPath(const std::string& dir, const std::string& name) {
    return dir == "/" ? dir + name : dir + "/" + name;
}

std::string UnreadableReason(int error) {
    if (error == ENAMETOOLONG) return Format(LoadString(IDS_REASON_PATH_TOO_LONG), PATH_MAX - 1);
    return SystemText(error);
}

class Search {
public:
    Search(const std::function<void(const std::string&)>& found, const std::function<bool()>& stopped,
           const UnreadableFolder& unreadable)
        : found_(found), stopped_(stopped), unreadable_(unreadable) {}

    bool Visit(const std::string& strPath) {
        if (stopped_ && stopped_()) return false;
        const std::string path = WithoutTrailingSlash(strPath);
        // A folder met again through a link has been searched already. Its
        // device and inode tell so at once, where resolving the path would
        // walk every folder above it again (quadratic in the depth at least).
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            Unreadable(path, errno);
            return true;
        }
        if (!searched_.insert({info.st_dev, info.st_ino}).second) return true;
        if (Mandate::PathContainsMandate(path)) found_(path);

        for (const std::string& name : SubfolderNames(path))
            if (!Visit(ChildPath(path, name))) return false;
        return true;
    }

private:
    void Unreadable(const std::string& path, int error) {
        if (unreadable_) unreadable_(path, UnreadableReason(error));
    }

    // The folders in `path` but backups, in name order as a Windows
    // folder lists them (letter case aside), whatever order the file system
    // keeps: the list shows gruppe1 before gruppe2 on every machine.
    std::vector<std::string> SubfolderNames(const std::string& path) {
        std::vector<std::string> names;
        std::error_code error;
        fs::directory_iterator entries(path, error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            std::error_code typeError;
            if (!entries->is_directory(typeError)) continue;
            std::string name = entries->path().filename().string();
            if (!backup::IsBackupFolder(name)) names.push_back(std::move(name));
        }
        // The folders listed before the error are still searched.
        if (error) Unreadable(path, error.value());
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            const std::string foldedA = win1252::FoldCase(a), foldedB = win1252::FoldCase(b);
            return foldedA != foldedB ? foldedA < foldedB : a < b;
        });
        return names;
    }

    const std::function<void(const std::string&)>& found_;
    const std::function<bool()>& stopped_;
    const UnreadableFolder& unreadable_;
    std::set<std::pair<dev_t, ino_t>> searched_;
};

}  // namespace

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool SearchMandates(const std::string& root, const std::function<void(const std::string& path)>& found,
                    const std::function<bool()>& stopped, const UnreadableFolder& unreadable) {
    return Search(found, stopped, unreadable).Visit(root);
}
