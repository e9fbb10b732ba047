// "Öffnen" and "Schliessen", the batch over the selected rows of the list and
// the conversion commands of the menu: the window's side of the mandate
// session, the batch walk and the commands.
#include <QApplication>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
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
    CTheApp& app = TheApp();
    if (!app.ListVisibleSelected()) return false;
    CTheList* list = app.GetListView();
    std::vector<std::string> dirs;
    for (int row = list->GetNextSelectedItem(-1); row >= 0; row = list->GetNextSelectedItem(row))
        dirs.push_back(list->GetItemText(row, 0));
    app.SwitchView(0);
    m_abortFlag = 0;
    BatchObserver observer;
    observer.opened = [this] {
        const bool open = session_->IsOpen();
        SetWindowText(LoadString(IDS_TITLE) + (open ? " - " + session_->Current().GetName() : std::string()));
        UpdateStatusbar();
    };
    const auto eachMandate = [&work](CommandContext&, const std::string& dir) {
        work(dir);
        return Outcome::kDone;
    };
    const BatchResult result = ::RunBatch(*session_, dirs, eachMandate, *app.GetLogView(), UiSeam::Current(),
                                          app.m_changeFlag, observer);
    if (result.aborted) m_abortFlag = 1;
    OnManClose();
    app.SwitchView(1);
    return true;
}

void CMainFrame::RunConversion(Command command) {
    CTheApp& app = TheApp();
    if (!ConfirmCommand(UiSeam::Current(), command)) return;
    const auto run = [&app, command](const std::string& dir) {
        CommandContext ctx = app.Context();
        RunCommand(ctx, command, dir);
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!RunBatch(run) && app.m_pMandate->IsMandantOpen()) {
        app.SwitchView(0);
        run(app.m_pMandate->GetPath());
    }
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
