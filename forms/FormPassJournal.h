#pragma once
#include <optional>
#include <string>
#include <vector>

#include "templates/MandateFiles.h"

struct CommandContext;

// The formula pass a key command asks of the mandate's form workbook, kept in
// a journal file beside the mandate from just before the command's commit
// until the pass has run. A run cut off in between (a crash, a lost
// connection) leaves the journal behind; the next command on the mandate runs
// the pass then, provided the records show that the commit went through.
// Every pass gives the same workbook when it runs again, so a pass that had
// already reached the workbook before the cut does no harm.
struct FormPass {
    enum class Kind {
        kExtend,      // new keys inserted: the extend pass
        kUndoExtend,  // new keys removed while the 2018 form is active
        kRemoveKeys,  // keys removed while the 2024 form is active: exactly these
    };
    Kind kind = Kind::kExtend;
    std::vector<std::string> first;   // old keys (extend) or the keys removed
    std::vector<std::string> second;  // new keys, by index with `first` (extend)
    std::vector<std::string> pairs;   // key pair texts (extend)
    // What the records look like once the commit went through.
    std::vector<std::string> inserted;
    std::vector<std::string> deleted;
    // The keys the log names as added to or removed from the formulas; said
    // only once the pass has saved the workbook, also for a pass finished
    // by a later command.
    std::vector<std::string> logged;
};

namespace formpass {

inline constexpr const char* kJournalName = filesofours::kFormPassJournalName;

// The journal in `folder`: the mandate's folder, or the folder a command
// works on the mandate's files in (FilesFolder, core/CommandContext.h).
std::string JournalPath(const std::string& folder);

// Writes the journal (crash-safe replacement); false with `reason` set.
bool Save(const std::string& folder, const FormPass& pass, std::string& reason);
// The journal in `folder`, if one is there and readable.
std::optional<FormPass> Load(const std::string& folder);
void Remove(const std::string& folder);

// Text form of a journal, one "field value" per line (ids hold no line ends).
std::string ToText(const FormPass& pass);
std::optional<FormPass> FromText(const std::string& text);

// Runs the pass on the context mandate's form workbook: true when it ran or
// there was nothing to do, false when it stopped on an error (logged). Once
// it saved the workbook, the log names the keys of `logged`.
bool Apply(CommandContext& ctx, const FormPass& pass);
// Applies the pass and removes the mandate's journal once the pass went through.
void RunJournalled(CommandContext& ctx, const FormPass& pass);

// Runs the pass of a journal left behind by an interrupted command, when the
// records show that its commit went through; drops a journal whose commit
// did not happen. Nothing without a journal or on a read-only mandate.
void FinishPending(CommandContext& ctx);

}  // namespace formpass
