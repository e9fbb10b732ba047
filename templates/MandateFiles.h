#pragma once
#include <optional>
#include <string>
#include <vector>

// The files of ours in a mandate folder, and the rule that keeps every write
// to them inside that folder. The commands' log lines about them are in
// forms/FilesOfOurs.h.
namespace filesofours {

// The names of the files of ours beside the form workbooks and their
// companions (TemplateSet.h): the conversion table (ConvertTable::kFileName
// spells it too), the formula pass journal and the form activation's journal.
inline constexpr const char* kConvertTableName = "quorvex.txt";
inline constexpr const char* kFormPassJournalName = ".mwst-formpass";
inline constexpr const char* kActivationJournalName = ".mwst-activation";
// The restore journal and the backup folder (backup/MandateBackup.h).
inline constexpr const char* kRestoreJournalName = ".mwst-restore";
inline constexpr const char* kBackupFolderName = ".mwst-backup";

// What a backup takes and a restore puts back beside the records: the form
// workbooks and their companion files, the conversion table and the formula
// pass journal.
const std::vector<std::string>& Names();

// A file of ours in a mandate folder that may not be replaced, and why (in
// the user's language): a link leading out of the folder or to no file, a
// FIFO, a device or a folder standing under such a name.
struct UnsafeFile {
    std::string path;
    std::string why;
    std::string Text() const;  // "Die Datei PATH wird nicht überschrieben: WHY"
};

// The first such file among the names above, the activation and restore
// journals in `mandateDir`, if any; or a link leading out of the folder
// under a name the program or its database writes, renames or deletes there
// (the backup folder, the lock file, SQLite's journals).
std::optional<UnsafeFile> FindUnsafe(const std::string& mandateDir);

// The first of those names in `mandateDir` that is a link leading out of
// it; used where no file of ours is replaced (opening, backups).
std::optional<UnsafeFile> FindLinkOutside(const std::string& mandateDir);

// The UnsafeFile of `path`, a link that leads to `target` out of the folder.
UnsafeFile LinkOutside(const std::string& path, const std::string& target);

// Where a new file for the file of ours at `path` goes: the file a link
// inside the folder leads to, else `path` itself.
std::string WriteTarget(const std::string& mandateDir, const std::string& path);

}  // namespace filesofours
