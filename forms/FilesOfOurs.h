#pragma once
#include <optional>
#include <string>
#include <vector>

class ConvertTable;
struct CommandContext;
struct FileCopyResult;

// The files of ours in a mandate folder, and the rule that keeps every write
// to them inside that folder.
namespace filesofours {

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

// The first such file among the names above and the activation journal in
// `mandateDir`, if any.
std::optional<UnsafeFile> FindUnsafe(const std::string& mandateDir);

// FindUnsafe for the context's mandate, logged and counted as a command that did
// not run: false when the command must not change anything.
bool Replaceable(CommandContext& ctx);

// "Die Konvertierungstabelle FILE kann nicht gelesen werden: WHY\r\n" when the
// table file exists but cannot be read as text; nullopt otherwise.
std::optional<std::string> UnreadableTableLine(const ConvertTable& table);

// Why a copy failed, in the user's language, for the log: the side that
// failed and the system's reason.
std::string CopyFailure(const FileCopyResult& copied, const std::string& source, const std::string& target);

// Where a new file for the file of ours at `path` goes: the file a link
// inside the folder leads to, else `path` itself.
std::string WriteTarget(const std::string& mandateDir, const std::string& path);

}  // namespace filesofours
