#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "templates/MandateFiles.h"

class Mandate;
class StorageEngine;

// Backups of a mandate: its records and the files of ours beside them (form
// workbooks, companion files, conversion table, formula pass journal), taken
// before a command changes anything and put back in one step.
//
// Every function expects the caller to hold the mandate exclusively (an open
// Mandate with MIniSetHelper::OpenExclusive or TryGetExclusiveLock). They ask
// the engine for exclusive use themselves and answer kNotExclusive when
// another process has the mandate open; an exclusive hold they obtain that way
// stays until the caller releases it or closes the mandate, as always. None of
// them may be called while a StorageEngine::BeginBatch of the mandate is open.
//
// A backup is written into a hidden staging folder and renamed into place once
// complete, so a listed backup is always whole; a failed one leaves nothing.
namespace backup {

// The name of a backup folder: inside the mandate directory by default, or at
// the end of the mandate's path below the backup root of the settings.
inline constexpr const char* kFolderName = filesofours::kBackupFolderName;
inline constexpr int kDefaultKeep = 5;
// The reason of the backup a restore takes of the state it replaces.
inline constexpr const char* kRestoreReason = "restore";

// The product settings of backups (INI section and keys below).
struct Settings {
    static constexpr const char* kSection = "Sicherheitskopien";
    static constexpr const char* kRootKey = "verzeichnis";  // backup root; empty: in the mandate
    static constexpr const char* kKeepKey = "behalten";     // backups kept per mandate

    std::string root;
    int keep = kDefaultKeep;

    // Reads the keys through `read(section, key)` (e.g. ReadBrisolString). A
    // keep count that is no whole number from 1 up gives kDefaultKeep.
    using Reader = std::function<std::string(const std::string& section, const std::string& key)>;
    static Settings Read(const Reader& read);
};

// Why a backup or a restore did not happen. The mandate is unchanged.
struct Error {
    enum class Code {
        kNotExclusive,  // another process has the mandate open
        kReadOnly,      // restore refused: the mandate is read-only
        kFolder,        // the backup folder cannot be made
        kRead,          // a file of the mandate or of a backup cannot be read
        kWrite,         // a file of the backup or of the mandate cannot be written
        kDatabase,      // the records cannot be copied
        kNoBackup,      // restore: the mandate has no backup
        kUnknownId,     // restore: no backup of that id
        kDamaged,       // restore: the backup is incomplete or not ours
        kOtherKind,     // restore: a file mandate's backup on an SQL mandate or back
        kBookedKeys,    // restore: bookings use keys the backup does not hold (path: the ids, detail: bookings)
        kDamagedMandate,  // the mandate's own tables are damaged (detail: what is wrong)
        kUnsafeFile,    // a file of ours is a link leading out of the mandate, or no regular file (detail: why, as text)
    };
    Code code = Code::kDatabase;
    std::string path;    // the mandate, file, folder or backup id concerned
    std::string detail;  // the system's or the database's message

    // The id of the text in res/strings (res/Resource.h), with "%s" for
    // `path` and then `detail`.
    int StringId() const;
    // The same in English, for tests and tools' stderr.
    std::string Describe() const;
};

struct Taken {
    std::string id;              // set when the backup was taken
    std::optional<Error> error;  // set when not
    bool Ok() const { return !error.has_value(); }
};

struct Restored {
    std::string id;              // the backup put back
    std::string safetyId;        // the backup of the state before, taken first
    std::optional<Error> error;  // set when nothing was put back
    std::vector<std::string> files;  // the files of ours put back
    bool resumed = false;        // an interrupted restore was finished first
    bool unchanged = false;      // the mandate was as the backup already: nothing done, no safety backup
    bool Ok() const { return !error.has_value(); }
};

struct Info {
    std::string id;  // sorts like `when`
    std::chrono::system_clock::time_point when;
    std::string reason;      // the command that followed, as the caller named it
    std::uintmax_t size = 0; // bytes on disk
    bool sql = false;        // taken of an SQL mandate
    bool original = false;   // the state before the first change: kept for good
    std::string path;        // the backup's folder
};

// True for a backup folder or anything inside one (by name; no disk access).
// The mandate search does not descend into them and they never open as a mandate.
bool IsBackupFolder(const std::string& path);

// Where the backups of the mandate in `mandateDir` lie.
std::string FolderOf(const std::string& mandateDir, const Settings& settings);

// When a backup's retention applies: at once, or once the caller knows that
// the backup is wanted (KeepNewest or DiscardBackup), so that a backup that
// turns out not to be needed never pushes an older one out.
enum class Retention { kNow, kLater };

// Takes a backup and (Retention::kNow) applies the retention. `reason` names
// what follows (the command); line ends in it become blanks. The first backup
// of a mandate that has none is its original.
Taken TakeBackup(const std::string& mandateDir, StorageEngine& engine, const std::string& reason,
                 const Settings& settings, Retention retention = Retention::kNow);
Taken TakeBackup(Mandate& mandate, const std::string& reason, const Settings& settings,
                 Retention retention = Retention::kNow);

// The retention: keeps the original and the newest `settings.keep` other
// backups of the mandate and removes the rest.
void KeepNewest(const std::string& mandateDir, const Settings& settings);

// Removes backup `id` of the mandate (nothing when there is none).
void DiscardBackup(const std::string& mandateDir, const std::string& id, const Settings& settings);

// True when the files of ours in the mandate directory are exactly those of
// backup `id`: the same names, byte for byte. False when the backup cannot be read.
bool FilesAsInBackup(const std::string& mandateDir, const std::string& id,
                     const Settings& settings);

// The complete backups of the mandate, oldest first.
std::vector<Info> ListBackups(const std::string& mandateDir, const Settings& settings);

// The ids (folder names) of backups that are damaged: a manifest that cannot
// be read (such a backup is never listed, restored or pruned), or a file that
// fails the check a restore makes (size, CRC-32, the records' own check). A
// backup not named here restores.
std::vector<std::string> DamagedBackups(const std::string& mandateDir, const Settings& settings);

// Puts backup `id` back (empty: the newest taken before a command, never a
// restore's own backup of the state it replaced): the tax keys, accounts and
// settings in one transaction, the files of ours by renames; the bookings
// (and the mandate's name and password) stay as they are now. Refused,
// changing nothing, when bookings use a key the backup does not hold, when
// the mandate's tables are damaged, or when a file of ours is a link leading
// out of the mandate. First takes a backup of the current state (reason
// `safetyReason`), unless the mandate is as the backup already: then nothing
// is done (Restored::unchanged). Files of ours that the backup does not hold
// are removed. The retention that follows spares the backup put back.
//
// Resumable: a journal in the mandate folder names the backup from before
// the first change until the end; a restore cut off is finished by
// ResumeRestore (at the next open) or by the next RestoreBackup, which never
// takes the interrupted restore's own safety backup for the one to restore.
// Afterwards the caller closes and reopens the mandate: its name and flags as
// the open Mandate reports them are still those from before.
Restored RestoreBackup(const std::string& mandateDir, StorageEngine& engine, const std::string& id,
                       const std::string& safetyReason, const Settings& settings);
Restored RestoreBackup(Mandate& mandate, const std::string& id, const std::string& safetyReason,
                       const Settings& settings);

// Finishes a restore of the mandate that was cut off (its journal is there):
// nullopt when there was none, else how it ended.
std::optional<Restored> ResumeRestore(const std::string& mandateDir, StorageEngine& engine,
                                      const Settings& settings);

// The name of the restore journal in the mandate folder.
inline constexpr const char* kRestoreJournalName = filesofours::kRestoreJournalName;

}  // namespace backup
