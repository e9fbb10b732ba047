// "Öffnen" and "Schliessen", the batch over the selected rows of the list and
// the conversion commands of the menu: the window's side of the mandate
// session, the batch walk and the commands.
#include <QApplication>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/RunProgress.h"
#include "app/RunTally.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "core/UiSeam.h"
#include "mandate/BatchWalk.h"
#include "mandate/MandateSession.h"
#include "mandate/pendra/Mandate.h"
#include "res/Resource.h"
#include "taxkeys/TaxArray.h"

bool CTheApp::CheckVersionAndPassword(const std::string& path, std::string& outMandateName) {
    return GetMainFrame()->Session().CheckVersionAndPassword(path, outMandateName, UiSeam::Current());
}

bool CTheApp::IsVersion(Mandate* mandate) { return MandateSession::IsVersion(*mandate, UiSeam::Current()); }

bool CTheApp::AskPassword(Mandate* mandate) { return MandateSession::AskPassword(*mandate, UiSeam::Current()); }

bool CTheApp::SelectMandate(std::string& mandatePath) {
    char buffer[1024] = {};
    mandatePath.copy(buffer, sizeof buffer - 1);
    if (Mandate::SelectMandate(buffer, sizeof buffer, 0, nullptr, nullptr, true) == 0) return false;
    mandatePath = buffer;
    return true;
}

void CMainFrame::OpenMandate(const std::string& path) {
    CloseMandate();
    const MandateSession::Opened opened = session_->Open(path, UiSeam::Current(), *TheApp().GetLogView());
    if (opened == MandateSession::Opened::kAborted) m_abortFlag = 1;
    if (opened != MandateSession::Opened::kYes) return;
    SetWindowText(LoadString(IDS_TITLE) + " - " + session_->Current().GetName());
    UpdateStatusbar();
}

void CMainFrame::CloseMandate() {
    session_->Close();
    SetWindowText(LoadString(IDS_TITLE));
    UpdateStatusbar();
}

void CMainFrame::OnManOpen() {
    CTheApp& app = TheApp();
    std::string path;
    if (!app.SelectMandate(path)) return;
    std::string name;
    if (!app.CheckVersionAndPassword(path, name)) return;
    app.m_searchRoot = path;
    OpenMandate(path);
    UpdateStatusbar();
}

bool CMainFrame::RunBatch(const std::function<void(const std::string& dir)>& work) {
    return RunBatchWork([&work](const std::string& dir) {
        work(dir);
        return Outcome::kDone;
    });
}

namespace {

// The wait cursor for a whole run, steady from the first mandate to the
// last: on the frame and on the log, whose own cursor would win over the
// frame's. The boxes of the run and the stop button keep the arrow.
class RunCursor {
public:
    RunCursor(QWidget& frame, CTheView& log) : frame_(frame), log_(log) {
        frame_.setCursor(Qt::WaitCursor);
        log_.OnSetCursor(true);
    }
    ~RunCursor() {
        log_.OnSetCursor(TheApp().m_searchRunning != 0);
        frame_.unsetCursor();
    }
    RunCursor(const RunCursor&) = delete;
    RunCursor& operator=(const RunCursor&) = delete;

private:
    QWidget& frame_;
    CTheView& log_;
};

}  // namespace

bool CMainFrame::RunBatchWork(const std::function<Outcome(const std::string& dir)>& work) {
    CTheApp& app = TheApp();
    if (!app.ListVisibleSelected() || runGoing_) return false;
    CTheList* list = app.GetListView();
    std::vector<std::string> dirs;
    for (int row = list->GetNextSelectedItem(-1); row >= 0; row = list->GetNextSelectedItem(row))
        dirs.push_back(list->GetItemText(row, 0));
    app.SwitchView(0);
    m_abortFlag = 0;
    CTheView& log = *app.GetLogView();
    const int count = static_cast<int>(dirs.size());
    runGoing_ = true;
    stopRequested_ = false;
    progress_->Start(count, [this] { RequestStop(); });
    UpdateCommandStates();
    BatchResult result;
    RunTally tally;
    {
        const RunCursor cursor(*this, log);
        int refusal = 0;
        BatchObserver observer;
        observer.starting = [this, &app, count](std::size_t index, std::size_t, const std::string&) {
            progress_->Step(static_cast<int>(index), count);
            app.PumpWhileRunning();
        };
        observer.opened = [this, &app, &refusal] {
            refusal = session_->LastRefusal();
            const bool open = session_->IsOpen();
            SetWindowText(LoadString(IDS_TITLE) + (open ? " - " + session_->Current().GetName() : std::string()));
            UpdateStatusbar();
            app.PumpWhileRunning();
        };
        observer.finished = [&app, &tally, &refusal](const MandateOutcome& outcome) {
            tally.Add(outcome, refusal);
            app.PumpWhileRunning();
        };
        observer.cancelled = [this] { return stopRequested_; };
        const auto eachMandate = [&work](CommandContext&, const std::string& dir) { return work(dir); };
        result = ::RunBatch(*session_, dirs, eachMandate, log, UiSeam::Current(), app.m_changeFlag, observer);
    }
    // Where the run stopped early, and what it did.
    const int reached = static_cast<int>(result.outcomes.size());
    if (result.aborted) {
        m_abortFlag = 1;
        log.AppendLine(Format(LoadString(IDS_RUN_ABORTED), reached + 1, count, dirs[reached]));
    } else if (result.cancelled) {
        log.AppendLine(Format(LoadString(IDS_RUN_STOPPED), reached, count, dirs[reached]));
    }
    log.AppendLine(Format(LoadString(IDS_RUN_SUMMARY_LOG), tally.Reached(), tally.Counts()));
    runGoing_ = false;
    progress_->Finish();
    OnManClose();
    progress_->ShowResult(Format(LoadString(IDS_RUN_SUMMARY_STATUS), tally.Counts()));
    app.SwitchView(1);
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
    return true;
}

void CMainFrame::RunConversion(Command command) {
    CTheApp& app = TheApp();
    if (!ConfirmCommand(UiSeam::Current(), command)) return;
    const auto run = [&app, command](const std::string& dir) {
        CommandContext ctx = app.Context();
        return RunCommand(ctx, command, dir);
    };
    if (RunBatchWork(run)) return;
    if (!app.m_pMandate->IsMandantOpen()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    app.SwitchView(0);
    run(app.m_pMandate->GetPath());
    QApplication::restoreOverrideCursor();
}

void CMainFrame::OnNewKeys() { RunConversion(Command::kInsertKeys); }
void CMainFrame::OnNewKeysReverse() { RunConversion(Command::kRemoveNewKeys); }
void CMainFrame::OnUpdateAccounts() { RunConversion(Command::kAdaptAccounts); }
void CMainFrame::OnUndoUpdateAccounts() { RunConversion(Command::kResetAccounts); }
void CMainFrame::OnRemoveKeys() { RunConversion(Command::kRemoveOldKeys); }
void CMainFrame::OnForm2024() { RunConversion(Command::kForm2024); }
void CMainFrame::OnForm2018() { RunConversion(Command::kForm2018); }

CommandContext CTheApp::Context() { return CommandContext{*m_pMandate, *GetLogView(), UiSeam::Current(), m_changeFlag}; }

int CTheApp::Failures() const { return GetLogView() ? GetLogView()->Failures() : 0; }

int CTheApp::OnExtendTax() {
    CommandContext ctx = Context();
    return ::OnExtendTax(ctx);
}

int CTheApp::OnReverseExtendTax() {
    CommandContext ctx = Context();
    return ::OnReverseExtendTax(ctx);
}

int CTheApp::UpdateAccounts(int rev) {
    CommandContext ctx = Context();
    return ::UpdateAccounts(ctx, rev);
}

int CTheApp::OnRemoveTax() {
    CommandContext ctx = Context();
    return ::OnRemoveTax(ctx);
}

void CTheApp::GetTaxArray(std::vector<std::string>& ar, int all) { ::GetTaxArray(*m_pMandate, ar, all); }
