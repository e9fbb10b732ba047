#pragma once
#include <optional>
#include <string>

#include "templates/MandateFiles.h"

class ConvertTable;
struct CommandContext;
struct FileCopyResult;

// What the commands log about the files of ours in a mandate folder; their
// names and the rule that keeps writes inside the folder are in
// templates/MandateFiles.h.
namespace filesofours {

// FindUnsafe for the context's mandate, logged and counted as a command that did
// not run: false when the command must not change anything.
bool Replaceable(CommandContext& ctx);

// "Die Konvertierungstabelle FILE kann nicht gelesen werden: WHY\r\n" when the
// table file exists but cannot be read as text; nullopt otherwise.
std::optional<std::string> UnreadableTableLine(const ConvertTable& table);

// Why a copy failed, in the user's language, for the log: the side that
// failed and the system's reason.
std::string CopyFailure(const FileCopyResult& copied, const std::string& source, const std::string& target);

}  // namespace filesofours
