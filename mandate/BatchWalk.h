#pragma once
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/CommandContext.h"
#include "commands/ConversionCommands.h"
#include "forms/TemplateSheets.h"

class Mandate;
class MandateSession;
struct RateChange;

// How one mandate of a batch ended. A mandate unchanged had the work of
// every command done already. A mandate skipped was not changed: it did not
// open (its box said why), or a command refused on it (read-only, or the
// mandate was not ready for it). `reasonId` is the string that says so.
struct MandateOutcome {
    enum class Kind { kDone, kUnchanged, kSkipped, kFailed };
    std::string dir;
    Kind kind = Kind::kDone;
    int reasonId = 0;

    bool Completed() const { return kind == Kind::kDone || kind == Kind::kUnchanged; }
};

struct BatchResult {
    std::vector<MandateOutcome> outcomes;  // one per mandate reached, in order
    bool aborted = false;                  // Abort in the exclusive-access box
    bool cancelled = false;                // the observer asked to stop
};

// What a front end sees of a batch while it runs. Every member may be empty.
struct BatchObserver {
    // Before mandate `index` (from 0) of `count` is opened.
    std::function<void(std::size_t index, std::size_t count, const std::string& dir)> starting;
    // The mandate is open (or did not open) now.
    std::function<void()> opened;
    std::function<void(const MandateOutcome& outcome)> finished;
    // Asked before each mandate: true ends the run there.
    std::function<bool()> cancelled;
};

// The work on one open mandate; its outcome decides the mandate's.
using MandateWork = std::function<Outcome(CommandContext& ctx, const std::string& dir)>;

// One conversion command with its log lines (RunCommand).
MandateWork CommandWork(Command command);
// The steps in the order given; the first that does not complete ends the
// mandate's work. The work is kAlreadyDone when every step was, kDone when
// any step did work.
MandateWork StepsWork(std::vector<MandateWork> steps);

// How the commands of a run treat each mandate.
struct RunOptions {
    // Run fully, log everything, change nothing: no backup, records rolled
    // back, workbooks written to a scratch folder only.
    bool dryRun = false;
    // Set, from any thread, to stop the run: the command at work rolls its
    // transaction back and ends, and no further mandate is opened.
    const std::atomic<bool>* stop = nullptr;
    // The rate change the commands convert for (null: the default, 2024).
    const RateChange* change = nullptr;
    // Told, on the thread the commands run on, how far a command's long walk
    // over a mandate's records is; empty: nobody follows it.
    ProgressSink progress = {};
    // The template mapping sheets read so far, shared by the run's mandates
    // and by the copies of these options.
    std::shared_ptr<TemplateSheets> templateSheets = std::make_shared<TemplateSheets>();
};

// `work` on the open mandate `session.Current()`, which is held exclusively,
// as every front end runs commands: a backup of the mandate is taken before
// the first change the commands make (once, however many commands `work`
// runs), or, with `options.dryRun`, the run changes nothing. A backup that
// cannot be taken ends the command that needed it (logged, counted): the
// mandate stays unchanged. `dir` is the directory the log lines name.
Outcome RunOnMandate(Mandate& mandate, const std::string& dir, const MandateWork& work, LogSink& log, UiSeam& seam,
                     short& changeFlag, const RunOptions& options = {});

// The batch walk: for each directory in order it opens the mandate through
// `session` (boxes and prompts through `seam`; no password is asked, the
// mandates were registered), runs `work` on it while it is open and closes
// it again. Abort in the exclusive-access box ends the walk there, as does
// `observer.cancelled` or `options.stop`; no mandate is open when it returns.
// Each mandate's work runs through RunOnMandate; a mandate whose work a stop
// cut short is not counted as reached: the walk ends there, cancelled.
BatchResult RunBatch(MandateSession& session, const std::vector<std::string>& dirs, const MandateWork& work,
                     LogSink& log, UiSeam& seam, short& changeFlag, const BatchObserver& observer = {},
                     const RunOptions& options = {});
