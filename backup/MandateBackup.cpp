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

constexpr const char* kManifestName = "backup.txt";
constexpr const char* kManifestHeader = "mwst-backup 1";
constexpr const char* kDatabaseFile = "records/mandate.sqlite";
constexpr const char* kSqlFolder = "records/sql";
constexpr const char* kFilesFolder = "files";
// Staging folders and backups being deleted; never listed.
constexpr const char* kStagingPrefix = ".tmp-";
// Names staged beside the mandate's files during a restore (tempname marks them ours).
constexpr const char* kRestoreSuffix = "restore";
// Larger files of ours are not compared and count as changed.
constexpr std::size_t kMaxComparedFile = 256u << 20;

Error Fail(Error::Code code, std::string path, std::string detail = {}) {
    return Error{code, std::move(path), std::move(detail)};
}

std::string SystemMessage(int error) { return SystemText(error); }

std::string Join(const std::string& dir, const std::string& name) { return (fs::path(dir) / name).string(); }

// Nothing is written, renamed or deleted through a link that leads out of the mandate.
std::optional<Error> CheckLinks(const std::string& mandateDir) {
    const std::optional<filesofours::UnsafeFile> link = filesofours::FindLinkOutside(mandateDir);
    if (!link) return std::nullopt;
    return Fail(Error::Code::kUnsafeFile, link->path, link->why);
}


// A file with `text`, flushed to disk; the folder it lies in is not visible yet.
std::optional<Error> WriteSynced(const std::string& path, const std::string& text) {
    if (const atomicfile::Result written = atomicfile::Replace(path, text); !written)
        return Fail(Error::Code::kWrite, written.path, SystemMessage(written.error));
    return std::nullopt;
}

// Makes a rename or a new entry in `dir` durable.
std::optional<Error> SyncFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Fail(Error::Code::kWrite, dir, SystemMessage(errno));
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (rc != 0) return Fail(Error::Code::kWrite, dir, SystemMessage(error));
    return std::nullopt;
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::symlink_status(path, ec));
}

// "20240115-083012-123" in UTC: sorts like the time.
std::string IdFor(std::chrono::system_clock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];  // room for any int the compiler cannot rule out
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d-%03d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
    return text;
}

std::string IsoTime(std::chrono::system_clock::time_point when) {
    std::string id = IdFor(when);  // YYYYMMDD-HHMMSS-mmm
    return id.substr(0, 4) + "-" + id.substr(4, 2) + "-" + id.substr(6, 2) + "T" + id.substr(9, 2) + ":" +
           id.substr(11, 2) + ":" + id.substr(13, 2) + "." + id.substr(16, 3) + "Z";
}

std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
}

struct ManifestFile {
    std::string path;  // relative to the backup's folder
    std::uintmax_t size = 0;
    std::string digest;  // CRC-32 in hex; empty in backups made before it was kept
    int mode = -1;       // the original's permissions; -1 in backups made before they were kept
};

struct Manifest {
    std::string id;
    long long takenMs = 0;
    std::string reason;
    bool sql = false;
    std::string mandate;
    std::string name;
    // The state before the first change of the mandate: never pruned.
    bool original = false;
    // The tables of the records; backups made before they were named hold all five.
    std::vector<std::string> tables = {"meta", "settings", "tax", "konto", "buch"};
    std::vector<ManifestFile> files;
};

// The CRC-32 of a file's bytes, eight hex digits; empty when it cannot be
// read. A check against damage on disk or in a copy, not against tampering:
// the backup folder is the user's own, and the copy of a large database is
// checked in a fraction of the time a cryptographic digest takes.
std::string FileChecksum(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    uLong crc = crc32(0L, Z_NULL, 0);
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()),
                    static_cast<uInt>(in.gcount()));
        if (!in) break;
    }
    if (in.bad()) return {};
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08lx", static_cast<unsigned long>(crc & 0xffffffffUL));
    return hex;
}

std::string ManifestText(const Manifest& manifest) {
    std::ostringstream out;
    out << kManifestHeader << "\n";
    out << "id " << manifest.id << "\n";
    out << "taken " << IsoTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(manifest.takenMs)))
        << "\n";
    out << "taken-ms " << manifest.takenMs << "\n";
    out << "reason " << OneLine(manifest.reason) << "\n";
    out << "kind " << (manifest.sql ? "sql" : "file") << "\n";
    out << "mandate " << OneLine(manifest.mandate) << "\n";
    out << "name " << OneLine(manifest.name) << "\n";
    if (manifest.original) out << "original 1\n";
    out << "tables";
    for (const std::string& table : manifest.tables) out << " " << table;
    out << "\n";
    // The digests on lines of their own: a reader that knows only "file" lines still reads the
    // manifest.
    for (const ManifestFile& file : manifest.files) {
        out << "file " << file.size << " " << file.path << "\n";
        if (!file.digest.empty()) out << "crc32 " << file.digest << " " << file.path << "\n";
        if (file.mode >= 0) {
            char mode[16];
            std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(file.mode));
            out << "mode " << mode << " " << file.path << "\n";
        }
    }
    return out.str();
}

std::optional<Manifest> ReadManifest(const std::string& backupDir) {
    std::ifstream in(Join(backupDir, kManifestName), std::ios::binary);
    if (!in) return std::nullopt;
    std::string line;
    if (!std::getline(in, line) || line != kManifestHeader) return std::nullopt;
    Manifest manifest;
    bool haveTime = false, haveKind = false;
    while (std::getline(in, line)) {
        const std::size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (key == "id") {
            manifest.id = value;
        } else if (key == "taken-ms") {
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), manifest.takenMs);
            haveTime = ec == std::errc() && end == value.data() + value.size();
        } else if (key == "reason") {
            manifest.reason = value;
        } else if (key == "kind") {
            haveKind = value == "sql" || value == "file";
            manifest.sql = value == "sql";
        } else if (key == "mandate") {
            manifest.mandate = value;
        } else if (key == "name") {
            manifest.name = value;
        } else if (key == "original") {
            manifest.original = value == "1";
        } else if (key == "file") {
            const std::size_t second = value.find(' ');
            if (second == std::string::npos) return std::nullopt;
            std::uintmax_t size = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + second, size);
            if (ec != std::errc() || end != value.data() + second) return std::nullopt;
            const std::string path = value.substr(second + 1);
            // Only names below the backup's own folder.
            if (path.empty() || path.front() == '/' || path.find("..") != std::string::npos) return std::nullopt;
            manifest.files.push_back({path, size, {}});
        } else if (key == "tables") {
            manifest.tables.clear();
            std::istringstream names(value);
            for (std::string table; names >> table;) manifest.tables.push_back(table);
        } else if (key == "crc32" || key == "mode") {
            const std::size_t second = value.find(' ');
            if (second == std::string::npos) return std::nullopt;
            const std::string path = value.substr(second + 1);
            auto file = std::find_if(manifest.files.begin(), manifest.files.end(),
                                     [&path](const ManifestFile& f) { return f.path == path; });
            if (file == manifest.files.end()) return std::nullopt;
            if (key == "crc32") {
                file->digest = value.substr(0, second);
            } else {
                unsigned mode = 0;
                auto [end, ec] = std::from_chars(value.data(), value.data() + second, mode, 8);
                if (ec != std::errc() || end != value.data() + second || mode > 07777) return std::nullopt;
                file->mode = static_cast<int>(mode);
            }
        }
    }
    if (!haveTime || !haveKind || manifest.id != fs::path(backupDir).filename().string()) return std::nullopt;
    return manifest;
}

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

// Removes a backup or a staging folder: renamed out of the listing first, so
// that a removal cut short never leaves a listed backup half there.
void RemoveBackupFolder(const std::string& folder, const std::string& name) {
    std::error_code ec;
    std::string doomed = Join(folder, name);
    if (!name.starts_with(kStagingPrefix)) {
        const std::string renamed = Join(folder, kStagingPrefix + name);
        if (fs::rename(doomed, renamed, ec); !ec) doomed = renamed;
    }
    fs::remove_all(doomed, ec);
}

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

// Calls `visit` with each folder in the backup folder that may be a backup
// (not a staging folder, not a link).
void ForEachBackupFolder(const std::string& folder,
                         const std::function<void(const fs::path&)>& visit) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.starts_with(".") || !it->is_directory(typeError) || it->is_symlink(typeError))
            continue;
        visit(it->path());
    }
}

// Keeps the newest `settings.keep` backups besides the original and `spared`
// (the backup a restore just put back), which are never removed.
void Prune(const std::string& mandateDir, const Settings& settings, const std::string& spared = {}) {
    if (CheckLinks(mandateDir)) return;
    std::vector<Info> backups = ListBackups(mandateDir, settings);
    std::erase_if(backups, [&spared](const Info& b) { return b.original || b.id == spared; });
    const std::size_t keep = static_cast<std::size_t>(std::max(1, settings.keep));
    if (backups.size() <= keep) return;
    const std::string folder = FolderOf(mandateDir, settings);
    for (std::size_t i = 0; i + keep < backups.size(); ++i) RemoveBackupFolder(folder, backups[i].id);
}

std::optional<Error> EnsureExclusive(const std::string& mandateDir, StorageEngine& engine) {
    const int status = engine.AcquireExclusive();
    // A lock file we may not write: the mandate is read-only to this process.
    if (status == pendra::kAccessDenied) return Fail(Error::Code::kReadOnly, mandateDir);
    if (status != pendra::kOk) return Fail(Error::Code::kNotExclusive, mandateDir, "status " + std::to_string(status));
    return std::nullopt;
}

// The permissions of the mandate folder: the backup's folders are no more
// open than it, its files no more open than their originals.
mode_t FolderMode(const std::string& mandateDir) {
    struct stat st {};
    return ::stat(mandateDir.c_str(), &st) == 0 ? (st.st_mode & 0777) | 0700 : 0700;
}

int ModeOf(const std::string& path, int fallback) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : fallback;
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

std::optional<Error> CheckMandateTables(const std::string& mandateDir, StorageEngine& engine) {
    std::string detail;
    if (engine.CheckIntegrity(detail) != pendra::kOk) return Fail(Error::Code::kDamagedMandate, mandateDir, detail);
    return std::nullopt;
}

std::optional<Error> CheckFilesOfOurs(const std::string& mandateDir) {
    const std::optional<filesofours::UnsafeFile> unsafe = filesofours::FindUnsafe(mandateDir);
    if (!unsafe) return std::nullopt;
    return Fail(Error::Code::kUnsafeFile, unsafe->path, unsafe->why);
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
        if (!IsRegularFile(source) &&
            regularfile::CheckReplaceable(mandateDir, source) != regularfile::Replaceable::kYes)
            continue;
        if (!regularfile::IsRegular(source)) continue;
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

// The ids of backup folders whose manifest cannot be read.
std::vector<std::string> DamagedManifests(const std::string& mandateDir, const Settings& settings) {
    std::vector<std::string> damaged;
    ForEachBackupFolder(FolderOf(mandateDir, settings), [&damaged](const fs::path& path) {
        if (!ReadManifest(path.string())) damaged.push_back(path.filename().string());
    });
    return damaged;
}

// A file of ours in the mandate directory to be replaced from a backup.
struct Replacement {
    std::string staged;  // the backup's copy beside the target
    std::string target;
};

void RemoveStaged(const std::vector<Replacement>& replacements) {
    for (const Replacement& r : replacements) ::unlink(r.staged.c_str());
}

std::optional<Error> CheckFiles(const std::string& backupDir, const Manifest& manifest) {
    for (const ManifestFile& file : manifest.files) {
        std::error_code ec;
        const std::string path = Join(backupDir, file.path);
        const std::uintmax_t found = fs::file_size(path, ec);
        if (ec) return Fail(Error::Code::kDamaged, manifest.id, path + ": " + ec.message());
        if (found != file.size) {
            return Fail(Error::Code::kDamaged, manifest.id,
                        path + ": " + std::to_string(found) + " bytes instead of " +
                            std::to_string(file.size));
        }
        if (!file.digest.empty() && FileChecksum(path) != file.digest)
            return Fail(Error::Code::kDamaged, manifest.id,
                        path + ": the content changed since the backup was taken");
    }
    return std::nullopt;
}

// Puts the backup in `backupDir` back; the mandate is either wholly restored
// or (return value set) untouched, as far as renames in one folder go.
std::optional<Error> PutBack(const std::string& mandateDir, StorageEngine& engine, const std::string& backupDir,
                             const Manifest& manifest, bool& recordsReplaced, std::vector<std::string>* restored) {
    recordsReplaced = false;
    // The backup's files staged beside their targets first: a failure here
    // changes nothing in the mandate.
    std::vector<Replacement> replacements;
    std::vector<std::string> keptTargets;
    const std::string prefix = std::string(kFilesFolder) + "/";
    for (const ManifestFile& file : manifest.files) {
        const std::string& relative = file.path;
        if (!relative.starts_with(prefix)) continue;
        const std::string name = relative.substr(prefix.size());
        if (name.find('/') != std::string::npos) continue;
        // Through a link inside the mandate to the file it leads to, as the commands write.
        const std::string target = filesofours::WriteTarget(mandateDir, Join(mandateDir, name));
        Replacement r{tempname::For(target, kRestoreSuffix), target};
        ::unlink(r.staged.c_str());  // left by a restore that was cut off
        const std::string source = Join(backupDir, relative);
        if (FileCopyResult copied = MwstCopyFile(source, r.staged); !copied) {
            RemoveStaged(replacements);
            const bool sourceSide = copied.failure == FileCopyResult::Failure::kSource;
            return Fail(sourceSide ? Error::Code::kRead : Error::Code::kWrite, sourceSide ? source : r.staged,
                        SystemMessage(copied.error));
        }
        // The original's mode as the backup kept it; else that of the file it replaces.
        struct stat st {};
        if (file.mode >= 0)
            ::chmod(r.staged.c_str(), static_cast<mode_t>(file.mode));
        else if (::stat(r.target.c_str(), &st) == 0)
            ::chmod(r.staged.c_str(), st.st_mode & 07777);
        replacements.push_back(r);
        keptTargets.push_back(Join(mandateDir, name));
    }

    std::optional<Error> error =
        engine.GetKind() == StorageEngine::Kind::kSql
            ? records::RestorePg(static_cast<PgEngine&>(engine), Join(backupDir, kSqlFolder))
            : records::RestoreSqlite(static_cast<SqliteEngine&>(engine), Join(backupDir, kDatabaseFile));
    engine.ReleaseCaches();
    if (error) {
        RemoveStaged(replacements);
        return error;
    }
    recordsReplaced = true;

    for (const Replacement& r : replacements) {
        if (::rename(r.staged.c_str(), r.target.c_str()) != 0) {
            const int renameError = errno;
            RemoveStaged(replacements);
            return Fail(Error::Code::kWrite, r.target, SystemMessage(renameError));
        }
    }
    // Files of ours the backup does not hold did not exist then.
    for (const std::string& name : filesofours::Names()) {
        const std::string current = MwstMandateFilePath(mandateDir, name);
        if (IsRegularFile(current) && std::find(keptTargets.begin(), keptTargets.end(), current) == keptTargets.end())
            ::unlink(current.c_str());
    }
    SyncFolder(mandateDir);
    if (restored)
        for (const std::string& target : keptTargets) restored->push_back(fs::path(target).filename().string());
    return std::nullopt;
}

// The restore journal: which backup is being put back and, once taken, the
// backup of the state before. Written before the first change, removed after the last.
struct RestoreJournal {
    std::string id;
    std::string safetyId;
};

std::string RestoreJournalPath(const std::string& mandateDir) { return Join(mandateDir, kRestoreJournalName); }

std::optional<Error> SaveRestoreJournal(const std::string& mandateDir, const RestoreJournal& journal) {
    std::string text = "mwst-restore 1\nbackup " + journal.id + "\n";
    if (!journal.safetyId.empty()) text += "safety " + journal.safetyId + "\n";
    return WriteSynced(RestoreJournalPath(mandateDir), text);
}

std::optional<RestoreJournal> LoadRestoreJournal(const std::string& mandateDir) {
    std::string text, error;
    if (!regularfile::ReadWhole(RestoreJournalPath(mandateDir), text, error, 4096)) return std::nullopt;
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != "mwst-restore 1") return std::nullopt;
    RestoreJournal journal;
    while (std::getline(lines, line)) {
        if (line.starts_with("backup ")) journal.id = line.substr(7);
        if (line.starts_with("safety ")) journal.safetyId = line.substr(7);
    }
    if (journal.id.empty() || journal.id.starts_with(".") || journal.id.find('/') != std::string::npos)
        return std::nullopt;
    return journal;
}

void RemoveRestoreJournal(const std::string& mandateDir) {
    ::unlink(RestoreJournalPath(mandateDir).c_str());
    SyncFolder(mandateDir);
}

// Everything a restore of `backupDir` checks before it changes anything.
std::optional<Error> CheckBackup(const std::string& backupDir, const Manifest& manifest, bool sql) {
    if (manifest.sql != sql)
        return Fail(Error::Code::kOtherKind, manifest.id, manifest.sql ? "SQL mandate" : "file mandate");
    if (auto error = CheckFiles(backupDir, manifest)) return error;
    for (const std::string& table : records::RestoredTables())
        if (std::find(manifest.tables.begin(), manifest.tables.end(), table) == manifest.tables.end())
            return Fail(Error::Code::kDamaged, manifest.id, "no table " + table);
    if (!sql) {
        if (auto error = records::CheckSqlite(Join(backupDir, kDatabaseFile)))
            return Fail(Error::Code::kDamaged, manifest.id, error->Describe());
    }
    return std::nullopt;
}

// Puts `backupDir` back under the journal; `journal.safetyId` is the backup
// of the state before when an earlier try took it already.
Restored RestoreUnderJournal(const std::string& mandateDir, StorageEngine& engine, const std::string& backupDir,
                             const Manifest& manifest, RestoreJournal journal, const std::string& safetyReason,
                             const Settings& settings) {
    Restored result;
    result.id = manifest.id;
    const std::string folder = FolderOf(mandateDir, settings);
    const bool resumed = !journal.safetyId.empty() && ReadManifest(Join(folder, journal.safetyId)).has_value();
    if ((result.error = SaveRestoreJournal(mandateDir, journal))) return result;
    if (!resumed) {
        // The state before, so that the restore itself can be undone.
        Taken safety = Take(mandateDir, engine, safetyReason, settings, false);
        if (!safety.Ok()) {
            result.error = safety.error;
            RemoveRestoreJournal(mandateDir);
            return result;
        }
        journal.safetyId = safety.id;
        if ((result.error = SaveRestoreJournal(mandateDir, journal))) {
            RemoveBackupFolder(folder, safety.id);
            RemoveRestoreJournal(mandateDir);
            return result;
        }
    }
    result.safetyId = journal.safetyId;

    bool recordsReplaced = false;
    result.error = PutBack(mandateDir, engine, backupDir, manifest, recordsReplaced, &result.files);
    if (result.error && !recordsReplaced && !resumed) {
        // Nothing changed, so the backup of the current state is not needed, and
        // it must not push the chosen backup out of the retention.
        RemoveBackupFolder(folder, journal.safetyId);
        result.safetyId.clear();
        RemoveRestoreJournal(mandateDir);
        return result;
    }
    if (result.error && recordsReplaced) {
        // Cut off after the records went back (a file could not be renamed into
        // place): the state before comes back from the safety backup.
        const std::string safetyDir = Join(folder, journal.safetyId);
        bool again = false;
        if (std::optional<Manifest> before = ReadManifest(safetyDir))
            PutBack(mandateDir, engine, safetyDir, *before, again, nullptr);
    }
    // A resumed restore that fails keeps its journal: the next try finishes it.
    if (!result.error || recordsReplaced) RemoveRestoreJournal(mandateDir);
    Prune(mandateDir, settings, manifest.id);
    return result;
}

// The checked backup `id` of the mandate, or why it cannot be restored.
std::optional<Error> FindBackup(const std::string& mandateDir, const std::string& id, const Settings& settings,
                                bool sql, std::string& backupDir, Manifest& manifest) {
    const std::vector<std::string> damaged = DamagedManifests(mandateDir, settings);
    if (std::find(damaged.begin(), damaged.end(), id) != damaged.end())
        return Fail(Error::Code::kDamaged, id, Join(Join(FolderOf(mandateDir, settings), id), kManifestName));
    const std::vector<Info> backups = ListBackups(mandateDir, settings);
    if (backups.empty()) return Fail(Error::Code::kNoBackup, mandateDir);
    auto chosen = std::find_if(backups.begin(), backups.end(), [&](const Info& b) { return b.id == id; });
    if (id.empty()) {
        // The newest taken before a command: a restore's own backup of the state
        // it replaced is restored only by its id, so a restore run again is
        // the same restore.
        auto before = std::find_if(backups.rbegin(), backups.rend(),
                                   [](const Info& b) { return b.reason != kRestoreReason; });
        chosen = before != backups.rend() ? std::prev(before.base()) : std::prev(backups.end());
    }
    if (chosen == backups.end()) return Fail(Error::Code::kUnknownId, id);
    backupDir = chosen->path;
    std::optional<Manifest> read = ReadManifest(backupDir);
    if (!read) return Fail(Error::Code::kDamaged, chosen->id, Join(backupDir, kManifestName));
    manifest = std::move(*read);
    return CheckBackup(backupDir, manifest, sql);
}

// True when the mandate holds the records and the files of ours of the backup
// already: a restore would change nothing.
bool AsInBackup(const std::string& mandateDir, StorageEngine& engine, const std::string& backupDir,
                const Manifest& manifest, const Settings& settings) {
    if (!FilesAsInBackup(mandateDir, manifest.id, settings)) return false;
    // A restore puts the permissions back too.
    const std::string prefix = std::string(kFilesFolder) + "/";
    for (const ManifestFile& file : manifest.files) {
        if (!file.path.starts_with(prefix) || file.mode < 0) continue;
        const std::string target = filesofours::WriteTarget(mandateDir, Join(mandateDir, file.path.substr(prefix.size())));
        if (ModeOf(target, -1) != file.mode) return false;
    }
    bool same = false;
    const std::optional<Error> error =
        engine.GetKind() == StorageEngine::Kind::kSql
            ? records::SameAsPg(static_cast<PgEngine&>(engine), Join(backupDir, kSqlFolder), same)
            : records::SameAsSqlite(static_cast<SqliteEngine&>(engine), Join(backupDir, kDatabaseFile), same);
    return !error && same;
}

std::optional<Error> CheckBeforeRestore(const std::string& mandateDir, StorageEngine& engine) {
    if (engine.IsReadOnly()) return Fail(Error::Code::kReadOnly, mandateDir);
    if (auto error = EnsureExclusive(mandateDir, engine)) return error;
    if (auto error = CheckMandateTables(mandateDir, engine)) return error;
    return CheckFilesOfOurs(mandateDir);
}

}  // namespace

Settings Settings::Read(const Reader& read) {
    Settings settings;
    settings.root = read(kSection, kRootKey);
    while (settings.root.size() > 1 && settings.root.back() == '/') settings.root.pop_back();
    const std::string keep = read(kSection, kKeepKey);
    int value = 0;
    auto [end, ec] = std::from_chars(keep.data(), keep.data() + keep.size(), value);
    if (ec == std::errc() && end == keep.data() + keep.size() && value >= 1) settings.keep = value;
    return settings;
}

int Error::StringId() const {
    switch (code) {
    case Code::kNotExclusive: return IDS_BACKUP_NOT_EXCLUSIVE;
    case Code::kReadOnly: return IDS_BACKUP_READ_ONLY;
    case Code::kFolder: return IDS_BACKUP_FOLDER;
    case Code::kRead: return IDS_REASON_CANNOT_READ;
    case Code::kWrite: return IDS_REASON_CANNOT_WRITE;
    case Code::kDatabase: return IDS_BACKUP_RECORDS;
    case Code::kNoBackup: return IDS_BACKUP_NONE;
    case Code::kUnknownId: return IDS_BACKUP_UNKNOWN;
    case Code::kDamaged: return IDS_BACKUP_DAMAGED;
    case Code::kOtherKind: return IDS_BACKUP_OTHER_KIND;
    case Code::kBookedKeys: return IDS_BACKUP_BOOKED_KEYS;
    case Code::kDamagedMandate: return IDS_MANDATE_DAMAGED;
    case Code::kUnsafeFile: return IDS_UNSAFE_FILE;
    }
    return IDS_BACKUP_RECORDS;
}

std::string Error::Describe() const {
    auto with = [&](const std::string& text) { return detail.empty() ? text : text + ": " + detail; };
    switch (code) {
    case Code::kNotExclusive: return with("the mandate " + path + " is in use by another program");
    case Code::kReadOnly: return "the mandate " + path + " is read-only";
    case Code::kFolder: return with("cannot create the backup folder " + path);
    case Code::kRead: return with("cannot read " + path);
    case Code::kWrite: return with("cannot write " + path);
    case Code::kDatabase: return with("cannot copy the records (" + path + ")");
    case Code::kNoBackup: return "the mandate " + path + " has no backup";
    case Code::kUnknownId: return "there is no backup " + path;
    case Code::kDamaged: return with("the backup " + path + " is incomplete or damaged");
    case Code::kOtherKind: return with("the backup " + path + " is of another kind of mandate");
    case Code::kBookedKeys:
        return detail + " bookings use the keys " + path + ", which the backup does not hold";
    case Code::kDamagedMandate: return with("the tables of the mandate " + path + " are damaged");
    case Code::kUnsafeFile: return with(path + " may not be replaced");
    }
    return with(path);
}

bool IsBackupFolder(const std::string& path) {
    for (const fs::path& part : fs::path(path))
        if (part == kFolderName) return true;
    return false;
}

std::string FolderOf(const std::string& mandateDir, const Settings& settings) {
    if (settings.root.empty()) return Join(mandateDir, kFolderName);
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(fs::absolute(mandateDir, ec), ec);
    if (ec) canonical = fs::absolute(mandateDir).lexically_normal();
    return (fs::path(settings.root) / canonical.relative_path() / kFolderName).lexically_normal().string();
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
        if (!regularfile::IsRegular(current)) continue;
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

Restored RestoreBackup(const std::string& mandateDir, StorageEngine& engine, const std::string& id,
                       const std::string& safetyReason, const Settings& settings) {
    Restored result;
    if ((result.error = CheckBeforeRestore(mandateDir, engine))) return result;
    // An interrupted restore is finished first; it may be the one asked for.
    if (std::optional<Restored> resumed = ResumeRestore(mandateDir, engine, settings)) {
        if (!resumed->Ok() || id.empty() || id == resumed->id) return *resumed;
    }
    std::string backupDir;
    Manifest manifest;
    if ((result.error = FindBackup(mandateDir, id, settings, engine.GetKind() == StorageEngine::Kind::kSql,
                                   backupDir, manifest))) {
        result.id = id;
        return result;
    }
    if (AsInBackup(mandateDir, engine, backupDir, manifest, settings)) {
        // Nothing to put back: no backup of the state before, which would only push others out.
        result.id = manifest.id;
        result.unchanged = true;
        return result;
    }
    return RestoreUnderJournal(mandateDir, engine, backupDir, manifest, RestoreJournal{manifest.id, {}},
                               safetyReason, settings);
}

std::optional<Restored> ResumeRestore(const std::string& mandateDir, StorageEngine& engine,
                                      const Settings& settings) {
    const std::optional<RestoreJournal> journal = LoadRestoreJournal(mandateDir);
    if (!journal) return std::nullopt;
    Restored result;
    result.id = journal->id;
    result.resumed = true;
    if ((result.error = CheckBeforeRestore(mandateDir, engine))) return result;
    std::string backupDir;
    Manifest manifest;
    if ((result.error = FindBackup(mandateDir, journal->id, settings,
                                   engine.GetKind() == StorageEngine::Kind::kSql, backupDir, manifest))) {
        // Gone or damaged since: nothing to finish; the journal would only stand in the way.
        RemoveRestoreJournal(mandateDir);
        return result;
    }
    Restored finished = RestoreUnderJournal(mandateDir, engine, backupDir, manifest, *journal, kRestoreReason, settings);
    finished.resumed = true;
    return finished;
}

Restored RestoreBackup(Mandate& mandate, const std::string& id, const std::string& safetyReason,
                       const Settings& settings) {
    if (!mandate.Engine()) {
        Restored result;
        result.error = Fail(Error::Code::kDatabase, mandate.GetPath(), "no mandate open");
        return result;
    }
    return RestoreBackup(mandate.GetPath(), *mandate.Engine(), id, safetyReason, settings);
}

}  // namespace backup
