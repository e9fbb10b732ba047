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

// Staging folders left by a run that was cut off (the mandate is held
// exclusively, so nobody else is writing into this folder now).
void RemoveStaging(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(kStagingPrefix)) names.push_back(name);
    }
    for (const std::string& name : names) RemoveBackupFolder(folder, name);
}

// The permissions of the mandate folder: the backup's folders are no more
// open than it, its files no more open than their originals.
mode_t FolderMode(const std::string& mandateDir) {
    struct stat st {};
    return ::stat(mandateDir.c_str(), &st) == 0 ? (st.st_mode & 0777) | 0700 : 0700;
}

// Makes `folder` and the folders above it that are missing, each with `mode`.
std::optional<Error> MakeFolders(const std::string& folder, mode_t mode) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return std::nullopt;
    const fs::path parent = fs::path(folder).parent_path();
    if (!parent.empty() && parent != fs::path(folder))
        if (auto error = MakeFolders(parent.string(), mode)) return error;
    if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST)
        return Fail(Error::Code::kFolder, folder, SystemMessage(errno));
    ::chmod(folder.c_str(), mode);  // not widened by the umask's absence, nor narrowed by it
    if (!fs::is_directory(folder, ec)) return Fail(Error::Code::kFolder, folder, SystemMessage(ENOTDIR));
    return std::nullopt;
}

// The staging folder of a backup being taken: removed on every way out
// unless released once it was renamed into place, as a transaction rolls
// back unless committed.
class StagingFolder {
public:
    StagingFolder(std::string folder, std::string name) : folder_(std::move(folder)), name_(std::move(name)) {}
    ~StagingFolder() {
        if (!released_) RemoveBackupFolder(folder_, name_);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    void Release() { released_ = true; }

private:
    std::string folder_;
    std::string name_;
    bool released_ = false;
};

}  // namespace

Taken Take(const std::string& mandateDir, StorageEngine& engine, const std::string& reason,
           const Settings& settings, bool prune) {
    if (auto error = EnsureExclusive(mandateDir, engine)) return {{}, error};
    if (auto error = CheckLinks(mandateDir)) return {{}, error};
    // A backup of damaged tables could not be restored; the command must not run on them either.
    if (auto error = CheckMandateTables(mandateDir, engine)) return {{}, error};
    const mode_t folderMode = FolderMode(mandateDir);
    const int fileMode = static_cast<int>(folderMode & 0666);
    const std::string folder = FolderOf(mandateDir, settings);
    if (auto error = MakeFolders(folder, folderMode)) return {{}, Fail(Error::Code::kFolder, folder, error->detail)};
    RemoveStaging(folder);

    const auto now = std::chrono::system_clock::now();
    std::string id = IdFor(now);
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(Join(folder, id), ec)); ++n) id = IdFor(now) + "-" + std::to_string(n);
    const std::string stage = Join(folder, kStagingPrefix + id);
    if (::mkdir(stage.c_str(), folderMode) != 0) return {{}, Fail(Error::Code::kWrite, stage, SystemMessage(errno))};
    StagingFolder staging(folder, kStagingPrefix + id);

    Manifest manifest;
    manifest.id = id;
    manifest.takenMs = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    manifest.reason = reason;
    manifest.sql = engine.GetKind() == StorageEngine::Kind::kSql;
    manifest.mandate = fs::weakly_canonical(mandateDir, ec).string();
    manifest.name = engine.Meta().name;
    // The first backup of a mandate holds the state before any change of ours.
    manifest.original = ListBackups(mandateDir, settings).empty();
    manifest.tables = records::SavedTables();

    auto fail = [](Error error) { return Taken{{}, std::move(error)}; };
    auto makeFolder = [&](const std::string& dir) -> std::optional<Error> {
        if (::mkdir(dir.c_str(), folderMode) != 0) return Fail(Error::Code::kWrite, dir, SystemMessage(errno));
        return std::nullopt;
    };
    // A copy that cannot be read back is no backup. It gets the mode of its original.
    auto addFile = [&](const std::string& relative, int mode) -> std::optional<Error> {
        const std::string copy = Join(stage, relative);
        ::chmod(copy.c_str(), static_cast<mode_t>(mode));
        std::error_code sizeError;
        const std::uintmax_t size = fs::file_size(copy, sizeError);
        std::string digest = sizeError ? std::string() : FileChecksum(copy);
        if (digest.empty())
            return Fail(Error::Code::kRead, copy, sizeError ? sizeError.message() : "");
        manifest.files.push_back({relative, size, std::move(digest), mode});
        return std::nullopt;
    };

    if (auto error = makeFolder(Join(stage, "records"))) return fail(*error);
    if (manifest.sql) {
        const std::string sqlDir = Join(stage, kSqlFolder);
        if (auto error = makeFolder(sqlDir)) return fail(*error);
        if (auto error = records::SavePg(static_cast<PgEngine&>(engine), sqlDir)) return fail(*error);
        for (const std::string& name : records::PgFiles(manifest.tables))
            if (auto error = addFile(std::string(kSqlFolder) + "/" + name, fileMode)) return fail(*error);
    } else {
        if (auto error = records::SaveSqlite(static_cast<SqliteEngine&>(engine), Join(stage, kDatabaseFile)))
            return fail(*error);
        const int databaseMode = ModeOf(pendra::schema::DatabasePath(mandateDir), fileMode);
        if (auto error = addFile(kDatabaseFile, databaseMode)) return fail(*error);
    }

    const std::string filesDir = Join(stage, kFilesFolder);
    if (auto error = makeFolder(filesDir)) return fail(*error);
    for (const std::string& name : filesofours::Names()) {
        const std::string source = MwstMandateFilePath(mandateDir, name);
        // A link counts when it leads to a file inside the mandate (the commands write through it).
        if (!regularfile::IsRegularInside(mandateDir, source)) continue;
        const std::string stored = fs::path(source).filename().string();
        const std::string target = Join(filesDir, stored);
        if (FileCopyResult copied = MwstCopyFile(source, target); !copied) {
            const bool source_side = copied.failure == FileCopyResult::Failure::kSource;
            return fail(Fail(source_side ? Error::Code::kRead : Error::Code::kWrite, source_side ? source : target,
                             SystemMessage(copied.error)));
        }
        if (auto error = addFile(std::string(kFilesFolder) + "/" + stored, ModeOf(source, fileMode)))
            return fail(*error);
    }
    for (const std::string& dir : {Join(stage, "records"), filesDir, manifest.sql ? Join(stage, kSqlFolder) : stage}) {
        if (auto error = SyncFolder(dir)) return fail(*error);
    }
    const std::string manifestPath = Join(stage, kManifestName);
    if (auto error = WriteSynced(manifestPath, ManifestText(manifest))) return fail(*error);
    ::chmod(manifestPath.c_str(), static_cast<mode_t>(fileMode));
    if (auto error = SyncFolder(stage)) return fail(*error);
    if (::rename(stage.c_str(), Join(folder, id).c_str()) != 0)
        return fail(Fail(Error::Code::kWrite, Join(folder, id), SystemMessage(errno)));
    staging.Release();
    if (auto error = SyncFolder(folder)) {
        // Not known to be on disk: not a backup to rely on.
        RemoveBackupFolder(folder, id);
        return Taken{{}, error};
    }
    if (prune) Prune(mandateDir, settings);
    return Taken{id, std::nullopt};
}

Taken TakeBackup(const std::string& mandateDir, StorageEngine& engine, const std::string& reason,
                 const Settings& settings, Retention retention) {
    return Take(mandateDir, engine, reason, settings, retention == Retention::kNow);
}

Taken TakeBackup(Mandate& mandate, const std::string& reason, const Settings& settings,
                 Retention retention) {
    if (!mandate.Engine()) return {{}, Fail(Error::Code::kDatabase, mandate.GetPath(), "no mandate open")};
    return TakeBackup(mandate.GetPath(), *mandate.Engine(), reason, settings, retention);
}

}  // namespace backup
