#include "backup/MandateBackup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/Strings.h"
#include "base/AtomicFile.h"
#include "base/RegularFile.h"
#include "base/TempFileName.h"
#include "templates/FileCopy.h"
#include "templates/MandateFiles.h"
#include "templates/TemplateSet.h"
#include "backup/BackupFolder.h"
#include "backup/RecordCopy.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/PgEngine.h"
#include "pendra/SqliteEngine.h"
#include "pendra/SqliteSchema.h"
#include "pendra/StorageEngine.h"
#include "res/Resource.h"

namespace fs = std::filesystem;

namespace backup {
namespace {

std::uintmax_t SizeOnDisk(const std::string& dir) {
    std::uintmax_t total = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError)) {
            const std::uintmax_t size = it->file_size(sizeError);
            if (!sizeError) total += size;
        }
    }
    return total;
}

}  // namespace

// Keeps the newest `settings.keep` backups besides the original and `spared`
// (the backup a restore just put back), which are never removed.
void Prune(const std::string& mandateDir, const Settings& settings, const std::string& spared) {
    if (CheckLinks(mandateDir)) return;
    std::vector<Info> backups = ListBackups(mandateDir, settings);
    std::erase_if(backups, [&spared](const Info& b) { return b.original || b.id == spared; });
    const std::size_t keep = static_cast<std::size_t>(std::max(1, settings.keep));
    if (backups.size() <= keep) return;
    const std::string folder = FolderOf(mandateDir, settings);
    for (std::size_t i = 0; i + keep < backups.size(); ++i) RemoveBackupFolder(folder, backups[i].id);
}

void KeepNewest(const std::string& mandateDir, const Settings& settings) {
    Prune(mandateDir, settings);
}

void DiscardBackup(const std::string& mandateDir, const std::string& id, const Settings& settings) {
    const std::string folder = FolderOf(mandateDir, settings);
    std::error_code ec;
    if (id.empty() || id.starts_with(".") || CheckLinks(mandateDir) || !fs::is_directory(Join(folder, id), ec))
        return;
    RemoveBackupFolder(folder, id);
}

bool FilesAsInBackup(const std::string& mandateDir, const std::string& id,
                     const Settings& settings) {
    const std::string backupDir = Join(FolderOf(mandateDir, settings), id);
    const std::optional<Manifest> manifest = ReadManifest(backupDir);
    if (!manifest) return false;
    const std::string prefix = std::string(kFilesFolder) + "/";
    std::size_t held = 0;
    for (const auto& file : manifest->files)
        if (file.path.starts_with(prefix)) ++held;

    std::size_t present = 0;
    for (const std::string& name : filesofours::Names()) {
        const std::string current = MwstMandateFilePath(mandateDir, name);
        if (!regularfile::IsRegular(current, regularfile::Links::kFollow)) continue;
        ++present;
        std::string now, then, error;
        const std::string stored = Join(backupDir, prefix + fs::path(current).filename().string());
        if (!regularfile::ReadWhole(current, now, error, kMaxComparedFile) ||
            !regularfile::ReadWhole(stored, then, error, kMaxComparedFile) || now != then)
            return false;
    }
    return present == held;
}

std::vector<Info> ListBackups(const std::string& mandateDir, const Settings& settings) {
    std::vector<Info> backups;
    ForEachBackupFolder(FolderOf(mandateDir, settings), [&backups](const fs::path& path) {
        const std::optional<Manifest> manifest = ReadManifest(path.string());
        if (!manifest) return;
        Info info;
        info.id = manifest->id;
        info.when = std::chrono::system_clock::time_point(std::chrono::milliseconds(manifest->takenMs));
        info.reason = manifest->reason;
        info.size = SizeOnDisk(path.string());
        info.sql = manifest->sql;
        info.original = manifest->original;
        info.path = path.string();
        backups.push_back(std::move(info));
    });
    std::sort(backups.begin(), backups.end(), [](const Info& a, const Info& b) {
        return a.when != b.when ? a.when < b.when : a.id < b.id;
    });
    return backups;
}

std::vector<std::string> DamagedBackups(const std::string& mandateDir, const Settings& settings) {
    std::vector<std::string> damaged = DamagedManifests(mandateDir, settings);
    for (const Info& info : ListBackups(mandateDir, settings)) {
        const std::optional<Manifest> manifest = ReadManifest(info.path);
        if (!manifest || CheckBackup(info.path, *manifest, manifest->sql)) damaged.push_back(info.id);
    }
    std::sort(damaged.begin(), damaged.end());
    return damaged;
}

}  // namespace backup
