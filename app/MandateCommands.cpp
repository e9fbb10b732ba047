// "Öffnen" and "Schliessen", the batch over the selected rows of the list and
// the conversion commands of the menu: the window's side of the mandate
// session, the batch walk and the commands.
#include <QApplication>
#include <algorithm>
#include <optional>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/LeftOutMandates.h"
#include "app/RunProgress.h"
#include "app/RunTally.h"
#include "app/WindowLogSink.h"
#include "app/framework/WorkThread.h"
#include "base/Format.h"
#include "core/RunAnswers.h"
#include "core/Strings.h"
#include "core/UiSeam.h"
#include "mandate/BatchWalk.h"
#include "mandate/MandateRestore.h"
#include "mandate/MandateRun.h"
#include "mandate/MandateSession.h"
#include "mandate/MandateStatus.h"
#include "backup/MandateBackup.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"
#include "res/ResourceData.h"
#include "commands/ConversionCommands.h"
#include "rules/TaxArray.h"

namespace {

// A menu text as the window shows it in a sentence: without the mnemonic
// marks, the shortcut and the closing "...".
std::string PlainMenuText(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size() && text[i] != '\t'; ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    if (plain.ends_with("...")) plain.resize(plain.size() - 3);
    return plain;
}

// The menu's text of command `id` in a sentence; empty when the menu has no such item.
std::string MenuItemText(unsigned id) {
    for (const MenuPopup& popup : Resources(CurrentLanguage()).menu)
        for (const MenuItem& item : popup.items)
            if (item.id == id) return PlainMenuText(item.text);
    return {};
}

// What followed a backup, by the menu command's name ("insert-keys" reads
// "Neue Steuerschlüssel einfügen"); a reason the menu does not know as stored.
std::string BackupReasonText(const std::string& reason) {
    unsigned id = reason == backup::kRestoreReason ? static_cast<unsigned>(ID_RESTORE_BACKUP) : 0u;
    if (const CommandInfo* command = FindCommand(reason)) id = command->menuId;
    const std::string text = id == 0 ? std::string() : MenuItemText(id);
    return text.empty() ? reason : text;
}

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
    return UiSeam::Current().MessageBox(box) == IDYES;
}

}  // namespace

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

bool CMainFrame::RunBatch(const MandateWork& work, const RunOptions& options) {
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
    BeginRun(count);
    BatchResult result;
    RunTally tally;
    tally.dryRun = options.dryRun;
    {
        const RunCursor cursor(*this, log);
        RunAnswers answers;
        LeftOutMandates leftOut;
        WindowLogSink runLog(log);
        int refusal = 0;
        // The observer is called on the work's thread: what it shows goes to the window's.
        BatchObserver observer;
        observer.starting = [this, count](std::size_t index, std::size_t, const std::string&) {
            workthread::Post([this, index, count] { progress_->Step(static_cast<int>(index), count); });
        };
        observer.opened = [this, &refusal] {
            refusal = session_->LastRefusal();
            const bool open = session_->IsOpen();
            const std::string name = open ? session_->Current().GetName() : std::string();
            const std::string path = open ? session_->Current().GetPath() : std::string();
            workthread::Post([this, open, name, path] {
                SetWindowText(LoadString(IDS_TITLE) + (open ? " - " + name : std::string()));
                ShowMandateInStatusbar(open, name, path);
            });
        };
        observer.finished = [&tally, &refusal, &leftOut, &runLog](const MandateOutcome& outcome) {
            tally.Add(outcome, refusal);
            if (outcome.reasonId == IDS_BATCH_NOT_OPENED) leftOut.Add(runLog, outcome.dir, refusal);
        };
        RunOptions stoppable = options;
        stoppable.stop = &stopRequested_;
        short& changeFlag = app.m_changeFlag;
        workthread::Run([&] {
            result = ::RunBatch(*session_, dirs, work, runLog, UiSeam::Current(), changeFlag, observer, stoppable);
        });
    }
    // Where the run stopped early, and what it did.
    const int reached = static_cast<int>(result.outcomes.size());
    std::optional<RunStop> stop;
    if (result.aborted) {
        m_abortFlag = 1;
        log.AppendLine(Format(LoadString(IDS_RUN_ABORTED), reached + 1, count, dirs[reached]));
    } else if (result.cancelled) {
        stop = RunStop{reached, count, dirs[reached]};
    }
    log.AppendLine(tally.EndLogLine(stop));
    EndRun();
    OnManClose();
    progress_->ShowResult(tally.EndStatusText(stop));
    app.SwitchView(1);
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
    return true;
}

bool CMainFrame::RunBatch(const std::function<void(const std::string& dir)>& work) {
    // Work of the window's own: on the window's thread, the walk waiting for it.
    return RunBatch(MandateWork([&work](CommandContext&, const std::string& dir) {
        workthread::Call([&] { work(dir); });
        return Outcome::kDone;
    }));
}

void CMainFrame::BeginRun(int count) {
    runGoing_ = true;
    stopRequested_ = false;
    progress_->Start(count, [this] { RequestStop(); });
    UpdateCommandStates();
}

void CMainFrame::EndRun() {
    runGoing_ = false;
    progress_->Finish();
    UpdateCommandStates();
}

void CMainFrame::RunConversion(Command command) {
    CTheApp& app = TheApp();
    const bool confirmed = app.ListVisibleSelected()
                               ? ConfirmSelectionRun(command, app.GetListView()->GetSelectedCount())
                               : ConfirmCommand(UiSeam::Current(), command);
    if (!confirmed) return;
    const bool dryRun = m_dryRun;
    CTheList& list = *app.GetListView();
    const MandateWork work = [command, dryRun, &list](CommandContext& ctx, const std::string& dir) {
        const Outcome outcome = RunCommand(ctx, command, dir);
        // The list's stage follows the change; a dry run changed nothing.
        if (!dryRun) {
            workthread::Post([&list, dir, status = ReadOpenMandateStatus(ctx.mandate, false)] {
                if (const int row = list.FindItem(dir); row >= 0) list.ShowStatus(row, status);
            });
        }
        return outcome;
    };
    RunOptions options;
    options.dryRun = m_dryRun;
    if (m_dryRun) app.GetLogView()->NoteDryRun();
    if (RunBatch(work, options)) return;
    if (!app.m_pMandate->IsMandantOpen() || runGoing_) return;
    RunOnOpenMandate(work, options);
}

void CMainFrame::RunOnOpenMandate(const MandateWork& work, const RunOptions& options) {
    CTheApp& app = TheApp();
    CTheView& log = *app.GetLogView();
    app.SwitchView(0);
    BeginRun(1);
    progress_->Step(0, 1);
    {
        const RunCursor cursor(*this, log);
        WindowLogSink runLog(log);
        RunOptions stoppable = options;
        stoppable.stop = &stopRequested_;
        Mandate& mandate = *app.m_pMandate;
        short& changeFlag = app.m_changeFlag;
        workthread::Run([&] {
            RunOnMandate(mandate, mandate.GetPath(), work, runLog, UiSeam::Current(), changeFlag, stoppable);
        });
    }
    EndRun();
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
}

void CMainFrame::OnNewKeys() { RunConversion(Command::kInsertKeys); }
void CMainFrame::OnNewKeysReverse() { RunConversion(Command::kRemoveNewKeys); }
void CMainFrame::OnUpdateAccounts() { RunConversion(Command::kAdaptAccounts); }
void CMainFrame::OnUndoUpdateAccounts() { RunConversion(Command::kResetAccounts); }
void CMainFrame::OnRemoveKeys() { RunConversion(Command::kRemoveOldKeys); }
void CMainFrame::OnForm2024() { RunConversion(Command::kForm2024); }
void CMainFrame::OnForm2018() { RunConversion(Command::kForm2018); }

void CMainFrame::OnDryRun() {
    m_dryRun = !m_dryRun;
    UpdateStatusbar();
}

void CMainFrame::OnUpdateDryRun(CCmdUI* ui) { ui->SetCheck(m_dryRun ? 1 : 0); }

void CMainFrame::OnUpdateRestoreBackup(CCmdUI* ui) { ui->Enable(session_->IsOpen()); }

void CMainFrame::OnRestoreBackup() {
    CTheApp& app = TheApp();
    if (!session_->IsOpen()) return;
    UiSeam& seam = UiSeam::Current();
    const std::string dir = session_->Current().GetPath();
    const backup::Settings settings = ProductBackupSettings();
    std::vector<backup::Info> backups = backup::ListBackups(dir, settings);
    if (backups.empty()) {
        seam.MessageBox({Format(LoadString(IDS_BACKUP_NONE), dir), LoadString(IDS_TITLE), MB_OK | MB_ICONEXCLAMATION});
        return;
    }
    std::reverse(backups.begin(), backups.end());  // the newest on top
    ChoiceRequest choice{Format(LoadString(IDS_RESTORE_PROMPT), dir), LoadString(IDS_RESTORE_TITLE), {}};
    for (const backup::Info& info : backups)
        choice.items.push_back(Format(LoadString(IDS_RESTORE_ITEM), BackupTimeText(info.when),
                                      BackupReasonText(info.reason), std::to_string(info.size),
                                      info.id));
    const std::optional<std::size_t> chosen = seam.ChooseItem(choice);
    if (!chosen || *chosen >= backups.size()) return;
    const backup::Info& info = backups[*chosen];
    const std::string question = Format(LoadString(IDS_RESTORE_CONFIRM), info.id, BackupTimeText(info.when), dir);
    if (seam.MessageBox({question, LoadString(IDS_TITLE), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2}) != IDYES) return;

    CTheView& log = *app.GetLogView();
    app.SwitchView(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool restored = RestoreMandate(session_->Current(), info.id, log);
    QApplication::restoreOverrideCursor();
    // The open mandate still reports its name and flags of before: open it again.
    if (restored) OpenMandate(dir);
}

CommandContext CTheApp::Context() {
    m_convertTable.LoadList(m_pMandate->GetPath());
    return CommandContext{*m_pMandate, *GetLogView(), UiSeam::Current(), m_changeFlag, m_convertTable};
}

int CTheApp::Failures() const { return GetLogView() ? GetLogView()->Failures() : 0; }

void CTheApp::GetTaxArray(std::vector<std::string>& ar, int all) {
    m_convertTable.LoadList(m_pMandate->GetPath());
    ::GetTaxArray(*m_pMandate, m_convertTable, ar, all);
}
