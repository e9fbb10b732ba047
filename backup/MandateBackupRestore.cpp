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

#include "core/Strings.h"
#include "base/AtomicFile.h"
#include "base/JournalFile.h"
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

// A file of ours in the mandate directory to be replaced from a backup.
struct Replacement {
    std::string staged;  // the backup's copy beside the target
    std::string target;
};

void RemoveStaged(const std::vector<Replacement>& replacements) {
    for (const Replacement& r : replacements) ::unlink(r.staged.c_str());
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
        if (regularfile::IsRegular(current, regularfile::Links::kNotFollowed) && std::find(keptTargets.begin(), keptTargets.end(), current) == keptTargets.end())
            ::unlink(current.c_str());
    }
    if (std::optional<Error> unsynced = SyncFolder(mandateDir)) return unsynced;
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

constexpr const char* kRestoreJournalHeader = "mwst-restore 1";

std::string RestoreJournalPath(const std::string& mandateDir) { return Join(mandateDir, kRestoreJournalName); }

std::optional<Error> SaveRestoreJournal(const std::string& mandateDir, const RestoreJournal& journal) {
    std::string text = std::string(kRestoreJournalHeader) + "\nbackup " + journal.id + "\n";
    if (!journal.safetyId.empty()) text += "safety " + journal.safetyId + "\n";
    return WriteSynced(RestoreJournalPath(mandateDir), text);
}

std::optional<RestoreJournal> LoadRestoreJournal(const std::string& mandateDir) {
    journalfile::Journal read = journalfile::Journal::Read(RestoreJournalPath(mandateDir), kRestoreJournalHeader, 4096);
    RestoreJournal journal;
    for (const journalfile::Entry& entry : read.Entries()) {
        const std::string_view field = entry.Field(), value = entry.Value();
        std::string* id = field == "backup" ? &journal.id : field == "safety" ? &journal.safetyId : nullptr;
        if (!id || !entry.HasValue()) continue;
        // A backup is a folder in the backup folder; staging folders start with a dot.
        if (!read.CheckName(entry, value, journalfile::Name::kSingle) || value.starts_with('.')) return std::nullopt;
        *id = value;
    }
    if (!read || journal.id.empty()) return std::nullopt;
    return journal;
}

std::optional<Error> RemoveRestoreJournal(const std::string& mandateDir) {
    ::unlink(RestoreJournalPath(mandateDir).c_str());
    return SyncFolder(mandateDir);
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
    if (!result.error || recordsReplaced) {
        std::optional<Error> unsynced = RemoveRestoreJournal(mandateDir);
        if (!result.error) result.error = std::move(unsynced);
    }
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
