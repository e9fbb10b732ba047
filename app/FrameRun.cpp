#include "app/FrameRun.h"

#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/LeftOutMandates.h"
#include "app/MenuText.h"
#include "app/RunProgress.h"
#include "app/RunTally.h"
#include "app/WindowHost.h"
#include "app/WindowLogSink.h"
#include "framework/AppSeam.h"
#include "framework/CFrameWnd.h"
#include "framework/WorkThread.h"
#include "base/Format.h"
#include "core/RunAnswers.h"
#include "core/Strings.h"
#include "core/UiSeam.h"
#include "mandate/MandateRun.h"
#include "mandate/MandateSession.h"
#include "mandate/MandateStatus.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"

namespace {

// The wait cursor for a whole run, steady from the first mandate to the
// last: on the frame and on the log, whose own cursor would win over the
// frame's. The boxes of the run and the stop button keep the arrow. A run
// never goes while a search does, so the log's own cursor is the arrow again.
class RunCursor {
public:
    RunCursor(QWidget& frame, CTheView& log) : frame_(frame), log_(log) {
        frame_.setCursor(Qt::WaitCursor);
        log_.OnSetCursor(true);
    }
    ~RunCursor() {
        log_.OnSetCursor(false);
        frame_.unsetCursor();
    }
    RunCursor(const RunCursor&) = delete;
    RunCursor& operator=(const RunCursor&) = delete;

private:
    QWidget& frame_;
    CTheView& log_;
};

// A run over a selection asks once, naming the command and how many mandates
// it changes; a command with a warning of its own gives it in the same box.
bool ConfirmSelectionRun(Command command, int mandates) {
    const CommandInfo& info = InfoOf(command);
    const std::string name = MenuItemText(info.menuId);
    MessageBoxRequest box;
    box.caption = LoadString(IDS_TITLE);
    box.text = info.confirmId ? Format(LoadString(IDS_CONFIRM_RUN_WITH), name, mandates, LoadString(info.confirmId))
                              : Format(LoadString(IDS_CONFIRM_RUN), name, mandates);
    box.type = info.confirmId ? info.confirmType : MB_YESNO | MB_ICONQUESTION;
    return AppSeam::Current().MessageBox(box) == IDYES;
}

// The directories of the list's selected rows, in list order.
std::vector<std::string> SelectedDirs(const CTheList& list) {
    std::vector<std::string> dirs;
    for (int row = list.GetNextSelectedItem(-1); row >= 0; row = list.GetNextSelectedItem(row))
        dirs.push_back(list.GetItemText(row, 0));
    return dirs;
}

}  // namespace

bool FrameRun::OverSelection(const MandateWork& work, const RunOptions& options) {
    if (!window_.ListVisibleSelected() || going_) return false;
    const std::vector<std::string> dirs = SelectedDirs(list_);
    window_.SwitchView(0);
    window_.SetAbortFlag(0);
    CTheView& log = log_;
    const int count = static_cast<int>(dirs.size());
    ClearStop();
    Begin(count);
    BatchResult result;
    RunTally tally;
    tally.dryRun = options.dryRun;
    {
        const RunCursor cursor(window_.Window(), log);
        RunAnswers answers(AppSeam::Current());
        LeftOutMandates leftOut;
        WindowLogSink runLog(log);
        int refusal = 0;
        const BatchObserver observer = Observer(count, tally, refusal, leftOut, runLog);
        const RunOptions stoppable = Stoppable(options);
        workthread::Run([&] {
            result = ::RunBatch(session_, dirs, work, runLog, answers, changeFlag_, observer, stoppable);
        });
    }
    const std::optional<RunStop> stop = StopOf(result, dirs);
    log.AppendLine(tally.EndLogLine(stop));
    End();
    window_.OnManClose();
    window_.Progress().ShowResult(tally.EndStatusText(stop));
    window_.SwitchView(1);
    CloseIfAsked();
    return true;
}

bool FrameRun::OverSelection(const std::function<void(const std::string& dir)>& work) {
    // On the window's thread, the walk waiting for it.
    return OverSelection(MandateWork([&work](CommandContext&, const std::string& dir) {
                             workthread::Call([&] { work(dir); });
                             return Outcome::kDone;
                         }),
                         {});
}

BatchObserver FrameRun::Observer(int count, RunTally& tally, int& refusal, LeftOutMandates& leftOut,
                                  LogSink& runLog) {
    BatchObserver observer;
    observer.starting = [this, count](std::size_t index, std::size_t, const std::string&) {
        workthread::Post([this, index, count] { window_.Progress().Step(static_cast<int>(index), count); });
    };
    observer.opened = [this, &refusal] {
        refusal = session_.LastRefusal();
        const bool open = session_.IsOpen();
        const std::string name = open ? session_.Current().GetName() : std::string();
        const std::string path = open ? session_.Current().GetPath() : std::string();
        workthread::Post([this, open, name, path] { window_.ShowMandate(open, name, path); });
    };
    observer.finished = [&tally, &refusal, &leftOut, &runLog](const MandateOutcome& outcome) {
        tally.Add(outcome, refusal);
        if (outcome.reasonId == IDS_BATCH_NOT_OPENED) leftOut.Add(runLog, outcome.dir, refusal);
    };
    return observer;
}

std::optional<RunStop> FrameRun::StopOf(const BatchResult& result, const std::vector<std::string>& dirs) {
    const int reached = static_cast<int>(result.outcomes.size());
    const int count = static_cast<int>(dirs.size());
    if (result.aborted) {
        window_.SetAbortFlag(1);
        log_.AppendLine(Format(LoadString(IDS_RUN_ABORTED), reached + 1, count, dirs[reached]));
        return std::nullopt;
    }
    if (result.cancelled) return RunStop{reached, count, dirs[reached]};
    return std::nullopt;
}

bool FrameRun::SayChangeRefused() const {
    if (changeRefusal_.empty()) return false;
    AppSeam::Current().MessageBox({changeRefusal_, LoadString(IDS_TITLE), MB_OK | MB_ICONERROR});
    return true;
}

void FrameRun::Conversion(Command command) {
    if (SayChangeRefused()) return;
    const bool confirmed = window_.ListVisibleSelected() ? ConfirmSelectionRun(command, list_.GetSelectedCount())
                                                         : ConfirmCommand(AppSeam::Current(), command);
    if (!confirmed) return;
    const bool dryRun = window_.DryRun();
    CTheList& list = list_;
    const RateChange& change = change_;
    const MandateWork work = [command, dryRun, &list, &change](CommandContext& ctx, const std::string& dir) {
        const Outcome outcome = RunCommand(ctx, command, dir);
        // The list's stage follows the change; a dry run changed nothing. The
        // run checked the tables when it started.
        if (!dryRun) {
            workthread::Post([&list, dir, status = ReadOpenMandateStatus(ctx.mandate, false, false, change)] {
                if (const int row = list.FindItem(dir); row >= 0) list.ShowStatus(row, status);
            });
        }
        return outcome;
    };
    RunOptions options;
    options.dryRun = dryRun;
    options.change = &change_;
    log_.BeginRun(dryRun);
    if (OverSelection(work, options)) return;
    if (!session_.IsOpen() || going_) return;
    OnOpenMandate(work, options);
}

void FrameRun::OnOpenMandate(const MandateWork& work, const RunOptions& options) {
    window_.SwitchView(0);
    ClearStop();
    Begin(1);
    window_.Progress().Step(0, 1);
    {
        const RunCursor cursor(window_.Window(), log_);
        WindowLogSink runLog(log_);
        const RunOptions stoppable = Stoppable(options);
        Mandate& mandate = session_.Current();
        workthread::Run([&] {
            RunOnMandate(mandate, mandate.GetPath(), work, runLog, AppSeam::Current(), changeFlag_, stoppable);
        });
    }
    End();
    CloseIfAsked();
}

RunOptions FrameRun::Stoppable(const RunOptions& options) const {
    RunOptions stoppable = options;
    stoppable.stop = &stopRequested_;
    // From the work thread, queued: the bar moves within the mandate's share.
    stoppable.progress = [this](std::size_t done, std::size_t total) {
        workthread::Post([this, done, total] { window_.Progress().Within(done, total); });
    };
    return stoppable;
}

bool FrameRun::CloseWhenEnded() {
    if (!going_) return false;
    closeAfterRun_ = true;
    RequestStop();
    return true;
}

void FrameRun::Background(const std::string& text, const std::function<void()>& work) {
    Begin(0);
    window_.Progress().SetText(text);
    workthread::Run(work);
    End();
    CloseIfAsked();
}

void FrameRun::Begin(int count) {
    going_ = true;
    window_.Progress().Start(count, [this] { RequestStop(); });
    window_.Window().UpdateCommandStates();
}

void FrameRun::End() {
    going_ = false;
    window_.Progress().Finish();
    window_.Window().UpdateCommandStates();
}

void FrameRun::CloseIfAsked() {
    if (!closeAfterRun_) return;
    closeAfterRun_ = false;
    window_.Window().close();
}
