#pragma once
#include <atomic>
#include <string>

#include "core/Progress.h"

class ConvertTable;
struct RateChange;
class LogSink;
class Mandate;
class RunSafety;
class TemplateSheets;
class UiSeam;

// What a conversion command works on, handed in by the front end that runs
// it: the open mandate, the log it writes to, the seam that answers its
// questions and boxes, the change flag that a pass sets when it changed a
// workbook, and the mandate's conversion table (rules/ConvertTable.h).
// Nothing else is reached from a command.
struct CommandContext {
    Mandate& mandate;
    LogSink& log;
    UiSeam& seam;
    short& changeFlag;
    const ConvertTable& table;
    // The backup before the first change and the dry run (core/RunSafety.h);
    // null: the command changes the mandate directly, without a backup.
    RunSafety* safety = nullptr;
    // Set by the front end, from any thread, to stop the run: a command that
    // sees it rolls its transaction back and ends (null: nobody stops it).
    const std::atomic<bool>* stop = nullptr;
    // Where the command reads and writes the mandate's files of ours (form
    // workbooks, companion files, formula pass journal): a dry run's scratch
    // folder or an activation's staging folder, holding copies under the
    // mandate's names. Empty: the mandate's folder itself.
    std::string filesFolder = {};
    // The rate change the command converts for (rules/RateChange.h); null:
    // the change of 2024, the default.
    const RateChange* change = nullptr;
    // Told how far the command's long walks over records are (ProgressSteps);
    // null: nobody follows them.
    const ProgressSink* progress = nullptr;
    // The template mapping sheets the run has read (forms/TemplateSheets.h);
    // null: each workbook check reads the templates again.
    TemplateSheets* templateSheets = nullptr;
};

// How a command ended on one mandate. kAlreadyDone: its target held before it
// ran, the mandate had its work already; a joined run goes on. kRefused: the
// mandate was not ready for it (logged why, no failure); kFailed: it did not
// complete, or completed without reaching its target (logged, counted).
enum class Outcome { kDone, kAlreadyDone, kRefused, kFailed };

inline bool Completed(Outcome outcome) {
    return outcome == Outcome::kDone || outcome == Outcome::kAlreadyDone;
}

// The folder the command reads and writes the mandate's files of ours in:
// `filesFolder` when set, else the mandate's folder.
std::string FilesFolder(const CommandContext& ctx);
// True while the context runs a dry run.
bool IsDryRun(const CommandContext& ctx);
// True once the front end asked the run to stop.
bool StopRequested(const CommandContext& ctx);
// To be called before a command first changes the mandate: false (logged,
// counted) when it must not change anything.
bool BeforeChange(CommandContext& ctx);
