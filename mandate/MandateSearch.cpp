// Paths are case-sensitive here, so a mandate is met under the path the walk
// took; the caller registers it under its canonical path.
#include "mandate/MandateSearch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "backup/MandateBackup.h"
#include "pendra/Mandate.h"
#include "pendra/SqlMandateConfiguration.h"

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

    // `path` is the folder as the user will meet it; `parent` (when not -1)
    // the open folder above it, of which it is the subfolder `name`.
    bool Visit(const std::string& strPath, int parent = -1, const std::string& name = {}) {
        if (stopped_ && stopped_()) return false;
        const std::string path = WithoutTrailingSlash(strPath);
        // A mandate there could not be opened by its path.
        if (path.size() >= PATH_MAX) {
            Unreadable(path, ENAMETOOLONG);
            return true;
        }
        // Each folder is reached from the one above it and looked into
        // through its descriptor: no system call walks the whole path again,
        // so deep trees take time in proportion to their folders.
        const int fd = parent >= 0 ? ::openat(parent, name.c_str(), kFolderFlags) : ::open(path.c_str(), kFolderFlags);
        if (fd < 0) {
            Unreadable(path, errno);
            return true;
        }
        const bool searched = VisitOpen(path, fd);
        ::close(fd);
        return searched;
    }

private:
    static constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

    bool VisitOpen(const std::string& path, int fd) {
        // A folder met again through a link has been searched already; its
        // device and inode tell so without resolving the path.
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            Unreadable(path, errno);
            return true;
        }
        if (!searched_.insert({info.st_dev, info.st_ino}).second) return true;
        const std::string here = ThroughDescriptor(path, fd);
        bool databaseFile = false;
        const std::vector<std::string> subfolders = SubfolderNames(here, path, databaseFile);
        // A mandate whose database cannot be opened (damaged, cut short,
        // empty, a folder, named in other letters) is still found: opening
        // it says why it cannot be used, it is never passed over in silence.
        if (databaseFile || Mandate::PathContainsMandate(here) || SqlMandateConfiguration::ExistsIn(here))
            found_(path);
        for (const std::string& name : subfolders)
            if (!Visit(ChildPath(path, name), fd, name)) return false;
        return true;
    }

    // A short name of the open folder for the calls that take a path.
    static std::string ThroughDescriptor(const std::string& path, int fd) {
        static const bool procFs = ::access("/proc/self/fd", X_OK) == 0;
        return procFs ? "/proc/self/fd/" + std::to_string(fd) : path;
    }

    void Unreadable(const std::string& path, int error) {
        if (unreadable_) unreadable_(path, UnreadableReason(error));
    }

    // The folders in `path` but backups, in name order as a Windows
    // folder lists them (letter case aside), whatever order the file system
    // keeps: the list shows gruppe1 before gruppe2 on every machine.
    // `databaseFile`: an entry is named as a mandate's database, in any
    // letter case, whatever it is.
    std::vector<std::string> SubfolderNames(const std::string& here, const std::string& path, bool& databaseFile) {
        static const std::string database = win1252::FoldCase(MandateFiles::kDatabaseFileName);
        std::vector<std::string> names;
        std::error_code error;
        fs::directory_iterator entries(here, error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            std::string name = entries->path().filename().string();
            if (win1252::FoldCase(name) == database) databaseFile = true;
            std::error_code typeError;
            if (!entries->is_directory(typeError)) continue;
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
