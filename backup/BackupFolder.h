#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/MandateBackup.h"

// What taking, listing and restoring backups share (MandateBackupTake.cpp,
// MandateBackupList.cpp, MandateBackupRestore.cpp): the layout of a backup
// folder, its manifest and the checks made before anything is written.
// Internal to the backup library.
namespace backup {

inline constexpr const char* kManifestName = "backup.txt";
inline constexpr const char* kManifestHeader = "mwst-backup 1";
inline constexpr const char* kDatabaseFile = "records/mandate.sqlite";
inline constexpr const char* kSqlFolder = "records/sql";
inline constexpr const char* kFilesFolder = "files";
// Staging folders and backups being deleted; never listed.
inline constexpr const char* kStagingPrefix = ".tmp-";
// Names staged beside the mandate's files during a restore (tempname marks them ours).
inline constexpr const char* kRestoreSuffix = "restore";
// Larger files of ours are not compared and count as changed.
inline constexpr std::size_t kMaxComparedFile = 256u << 20;

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

Error Fail(Error::Code code, std::string path, std::string detail = {});
std::string SystemMessage(int error);
std::string Join(const std::string& dir, const std::string& name);
// Nothing is written, renamed or deleted through a link that leads out of the mandate.
std::optional<Error> CheckLinks(const std::string& mandateDir);
// A file with `text`, flushed to disk; the folder it lies in is not visible yet.
std::optional<Error> WriteSynced(const std::string& path, const std::string& text);
// Makes a rename or a new entry in `dir` durable (atomicfile::SyncFolder).
std::optional<Error> SyncFolder(const std::string& dir);
// "20240115-083012-123" in UTC: sorts like the time.
std::string IdFor(std::chrono::system_clock::time_point when);
// The CRC-32 of a file's bytes, eight hex digits; empty when it cannot be read.
std::string FileChecksum(const std::string& path);
std::string ManifestText(const Manifest& manifest);
std::optional<Manifest> ReadManifest(const std::string& backupDir);
// Removes a backup or a staging folder, renamed out of the listing first.
void RemoveBackupFolder(const std::string& folder, const std::string& name);
// Calls `visit` with each folder in the backup folder that may be a backup.
void ForEachBackupFolder(const std::string& folder, const std::function<void(const std::filesystem::path&)>& visit);
// The retention; the original and `spared` are never removed.
void Prune(const std::string& mandateDir, const Settings& settings, const std::string& spared = {});
std::optional<Error> EnsureExclusive(const std::string& mandateDir, StorageEngine& engine);
int ModeOf(const std::string& path, int fallback);
std::optional<Error> CheckMandateTables(const std::string& mandateDir, StorageEngine& engine);
std::optional<Error> CheckFilesOfOurs(const std::string& mandateDir);
// `prune`: apply the retention at once.
Taken Take(const std::string& mandateDir, StorageEngine& engine, const std::string& reason,
           const Settings& settings, bool prune);
// The ids of backup folders whose manifest cannot be read.
std::vector<std::string> DamagedManifests(const std::string& mandateDir, const Settings& settings);
// Every file of the manifest there, with its size and CRC-32.
std::optional<Error> CheckFiles(const std::string& backupDir, const Manifest& manifest);
// Everything a restore of `backupDir` checks before it changes anything.
std::optional<Error> CheckBackup(const std::string& backupDir, const Manifest& manifest, bool sql);

}  // namespace backup
