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

// Where a new file for the file of ours at `path` goes: the file a link
// inside the folder leads to, else `path` itself.
std::string WriteTarget(const std::string& mandateDir, const std::string& path);

}  // namespace filesofours
