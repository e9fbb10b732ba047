#pragma once
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/WindowHost.h"
#include "framework/CFrameWnd.h"
#include "mandate/BatchWalk.h"
#include "commands/ConversionCommands.h"
#include "rules/RateChange.h"

class QLabel;
class QStackedWidget;
class CTheList;
class CTheView;
class Mandate;
class MandateRegistry;
class MandateSession;
class RunProgress;
class FrameRun;
class TaxKeyOverview;

// The main window: toolbar, the three-pane status bar that always shows which
// mandate is open, the session that opens and closes the application's
// mandate (owned), its runs of mandate work (owned, FrameRun), the search and
// registration of mandates (owned, MandateRegistry), the key overview and the
// abort flag of batch runs. It hosts the log and list views (view 0 and 1),
// one shown at a time, and routes the mandate and conversion commands.
class CMainFrame : public CFrameWnd, public WindowHost {
public:
    // `mandate`, the views and the change flag are the application's and
    // outlive the frame.
    CMainFrame(Mandate& mandate, CTheView& log, CTheList& list, short& changeFlag);
    ~CMainFrame() override;

    int OnCreate();
    bool OnCmdMsg(unsigned id, CCmdUI* ui) override;

    // Adds a view's widget to the client area (hidden until shown).
    void AddViewWidget(QWidget* widget);
    void ShowViewWidget(QWidget* widget);
    // Shows view `index` (0 the log, 1 the list) and lets the window repaint;
    // the view shown before, or none for an unknown index.
    CView* SwitchView(unsigned index) override;
    int CurrentView() const { return currentView_; }
    // 1 when the list is shown and at least one row is selected; 0 otherwise.
    int ListVisibleSelected() const override;

    void UpdateStatusbar() override;
    // The status bar's mandate panes for a mandate open (or not) at `path`.
    void ShowMandateInStatusbar(bool open, const std::string& name, const std::string& path);
    // The title and the status bar for a mandate open (or not) at `path`.
    void ShowMandate(bool open, const std::string& name, const std::string& path) override;
    // The program's title, naming a rate change other than 2024, and the
    // open mandate's name when there is one (not empty).
    void ShowTitle(const std::string& mandateName);
    // At start: the box that says why the rate change the settings name was
    // refused (the window then converts nothing); none when it was not.
    void SayChangeRefused() const;
    // "146 Mandanten, 3 ausgewählt": the list's rows and its selection.
    void UpdateListCounts();
    std::string StatusPaneText(int pane) const;
    int StatusPaneWidth(int pane) const;
    // What a pane's frame and margins add to the width of its text.
    int StatusPaneChrome() const;
    static constexpr int kPaneMargin = 3;

    void OnEditView();
    void OnUpdateEditView(CCmdUI* ui);
    void OnListView();
    void OnUpdateListView(CCmdUI* ui);
    void OnHilfethemen();
    void OnUpdateNewKeys(CCmdUI* ui);

    // Mandate open and close.
    void OpenMandate(const std::string& path) override;
    void CloseMandate();
    void OnManOpen();
    void OnManClose() override;
    void OnUpdateManClose(CCmdUI* ui);

    // The batch walk over the selected rows of the list (RunBatch of the
    // mandate layer). With the list shown and rows selected
    // (ListVisibleSelected), it shows the log view, clears the abort
    // flag and, for each selected row in list order, opens the row's mandate,
    // stops when the user chose Abort, refreshes the status bar, passes over a
    // mandate that did not open and calls `work` with the row's directory
    // while that mandate is open, closing it afterwards. At the end no mandate
    // is open and the list is shown again. Returns false, doing nothing, when
    // no batch applies: the command then runs once on the open mandate.
    // Each mandate's work runs through RunOnMandate (backup before the first
    // change, or a dry run with `options.dryRun`); the outcome of `work` on
    // each mandate is counted in the line at the end of the run. While the
    // run goes the window stays alive (RunGoing): progress and stop in the
    // status bar, the log and the status bar follow the run.
    bool RunBatch(const MandateWork& work, const RunOptions& options = {});
    // The same for work that always counts as done.
    bool RunBatch(const std::function<void(const std::string& dir)>& work);
    // A run over the list's mandates is going: the commands that would open,
    // close or change mandates, the list or the view are off meanwhile.
    bool RunGoing() const override;
    // The stop button and Esc: the command at work rolls its changes back
    // and the run ends there (a search at the next folder).
    void RequestStop();
    bool StopRequested() const;
    RunProgress& Progress() override { return *progress_; }
    CFrameWnd& Window() override { return *this; }
    // A conversion command of the menu: its confirmation, then the command on
    // each selected row or on the open mandate.
    void RunConversion(Command command);

    // "Konvertierung › Probelauf": while checked, the conversion commands run
    // as dry runs, and the status bar says so. "Mandant › Sicherheitskopie
    // zurückladen...": a backup of the open mandate chosen from its list,
    // confirmed, put back.
    void OnDryRun();
    void OnUpdateDryRun(CCmdUI* ui);
    void OnRestoreBackup();
    void OnUpdateRestoreBackup(CCmdUI* ui);
    bool DryRun() const override { return m_dryRun; }
    bool m_dryRun = false;

    // Conversion commands.
    void OnNewKeys();
    void OnNewKeysReverse();
    void OnUpdateAccounts();
    void OnUndoUpdateAccounts();
    void OnRemoveKeys();
    void OnUpdateRemoveKeys(CCmdUI* ui);
    void OnForm2024();
    void OnForm2018();
    void OnUpdateForm2024(CCmdUI* ui);
    void OnUpdateForm2018(CCmdUI* ui);
    MandateSession& Session() { return *session_; }
    MandateRegistry& Registry() { return *registry_; }
    TaxKeyOverview& Overview() { return *overview_; }

    void SetAbortFlag(int abort) override { m_abortFlag = abort; }
    int m_abortFlag = 0;

protected:
    void OnClose() override;
    bool CommandBlocked(unsigned id) const override;
    // Closing the window while a run goes stops the run; the window closes
    // when it has ended.
    void closeEvent(QCloseEvent* event) override;

private:
    void EnsureViewStack();

    CTheView& log_;
    CTheList& list_;
    // The rate change the settings name ([Konvertierung] satzaenderung, else
    // 2024), or why its definition was refused.
    RateChange change_;
    std::string changeRefusal_;
    std::unique_ptr<MandateSession> session_;
    std::unique_ptr<FrameRun> run_;
    std::unique_ptr<MandateRegistry> registry_;
    std::unique_ptr<TaxKeyOverview> overview_;
    // The views by index (0 the log, 1 the list) and the index of the one shown.
    std::array<CView*, 2> viewByIndex_;
    int currentView_ = 0;
    QStackedWidget* views_ = nullptr;
    QLabel* panes_[3] = {};
    QLabel* dryRunPane_ = nullptr;  // shown while Probelauf is on
    QLabel* listPane_ = nullptr;    // mandates listed and selected
    RunProgress* progress_ = nullptr;
};
