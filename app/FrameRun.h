#pragma once
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mandate/BatchWalk.h"
#include "commands/ConversionCommands.h"

class CTheList;
class CTheView;
class LeftOutMandates;
class LogSink;
class MandateSession;
class WindowHost;
struct RunStop;
struct RunTally;

// The window's runs of mandate work: over the selected rows of the list or on
// the open mandate, the work on a thread of its own while the window stays
// alive, with progress and stop in the status bar. Owned by the frame, whose
// progress and panes it drives, on the frame's session, list and log, the
// application's change flag and the rate change the frame converts for (a
// definition the frame refused, `changeRefusal` saying why: no conversion).
class FrameRun {
public:
    FrameRun(WindowHost& window, MandateSession& session, CTheList& list, CTheView& log, short& changeFlag,
             const RateChange& change, const std::string& changeRefusal)
        : window_(window), session_(session), list_(list), log_(log), changeFlag_(changeFlag), change_(change),
          changeRefusal_(changeRefusal) {}
    FrameRun(const FrameRun&) = delete;
    FrameRun& operator=(const FrameRun&) = delete;

    // The walk over the selected rows; false, doing nothing, when no rows of
    // the shown list are selected or a run goes already (CMainFrame::RunBatch).
    bool OverSelection(const MandateWork& work, const RunOptions& options);
    // The same for work of the window's own, which always counts as done.
    bool OverSelection(const std::function<void(const std::string& dir)>& work);
    // A conversion command of the menu: its confirmation, then the command on
    // each selected row or on the open mandate.
    void Conversion(Command command);
    // The box that says why the rate change the settings name was refused;
    // false, showing none, when it was not.
    bool SayChangeRefused() const;

    // Work of the window's own that walks no mandates (the search), as a run:
    // on the work's thread, with the progress (`text` until the work shows
    // its own), Stopp and a close that waits.
    void Background(const std::string& text, const std::function<void()>& work);

    bool Going() const { return going_; }
    // The command at work rolls its changes back and the run ends there (a
    // search at the next folder). The one stop flag of the window's runs and
    // searches: set by the stop button, Esc, "Suche abbrechen" and a close,
    // cleared when a run or a search begins.
    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_.load(); }
    void ClearStop() { stopRequested_ = false; }
    // Closing the window while a run goes stops the run and closes the
    // window when it has ended; false when no run goes.
    bool CloseWhenEnded();

private:
    // The work on the open mandate, stoppable as a run.
    void OnOpenMandate(const MandateWork& work, const RunOptions& options);
    // The observer of a walk over `count` mandates, called on the work's
    // thread: what it shows goes to the window's.
    BatchObserver Observer(int count, RunTally& tally, int& refusal, LeftOutMandates& leftOut, LogSink& runLog);
    // Where a walk over `dirs` stopped early; an Abort is logged here.
    std::optional<RunStop> StopOf(const BatchResult& result, const std::vector<std::string>& dirs);
    // `options` as the window runs them: stopped by the stop button, each
    // command's walk over the records moving the progress bar.
    RunOptions Stoppable(const RunOptions& options) const;
    // A run of `count` mandates begins, or ends: progress, stop and the
    // commands' states follow.
    void Begin(int count);
    void End();
    void CloseIfAsked();

    WindowHost& window_;
    MandateSession& session_;
    CTheList& list_;
    CTheView& log_;
    short& changeFlag_;
    const RateChange& change_;
    const std::string& changeRefusal_;
    bool going_ = false;
    // Read by the work's thread.
    std::atomic<bool> stopRequested_ = false;
    bool closeAfterRun_ = false;
};
