#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/framework/CFrameWnd.h"

class QLabel;
class QStackedWidget;
class MIniSetHelper;
class CTheView;

// The main window: toolbar, the three-pane status bar that always shows which
// mandate is open, the exclusive-access object of the global mandate (owned)
// and the abort flag of batch runs. It hosts the log and list views, one shown
// at a time, and routes the mandate and conversion commands.
class CMainFrame : public CFrameWnd {
public:
    CMainFrame();
    ~CMainFrame() override;

    int OnCreate();
    bool OnCmdMsg(unsigned id, CCmdUI* ui) override;

    // Adds a view's widget to the client area (hidden until shown).
    void AddViewWidget(QWidget* widget);
    void ShowViewWidget(QWidget* widget);

    void UpdateStatusbar();
    std::string StatusPaneText(int pane) const;
    int StatusPaneWidth(int pane) const;

    void OnEditView();
    void OnUpdateEditView(CCmdUI* ui);
    void OnListView();
    void OnUpdateListView(CCmdUI* ui);
    void OnHilfethemen();
    void OnUpdateNewKeys(CCmdUI* ui);

    // Mandate open and close.
    void OpenMandate(const std::string& path);
    void CloseMandate();
    void OnManOpen();
    void OnManClose();
    void OnUpdateManClose(CCmdUI* ui);

    // The batch walk that every conversion command shares. With the list shown
    // and rows selected (CTheApp::ListVisibleSelected), it shows the log view,
    // clears the abort flag and, for each selected row in list order, opens the
    // row's mandate (OpenMandate: no password is asked), stops when the user
    // chose Abort, refreshes the status bar, passes over a mandate that did not
    // open and calls `work` with the row's directory while that mandate is open.
    // BatchClose::AfterEach closes the mandate after each row's work (accounts,
    // forms). At the end no mandate is open and the list is shown again.
    // Returns false, doing nothing, when no batch applies: the command then runs
    // once on the open mandate.
    enum class BatchClose { AtEnd, AfterEach };
    bool RunBatch(const std::function<void(const std::string& dir)>& work,
                  BatchClose close = BatchClose::AtEnd);

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
    bool UpdateForms(int year2011, CTheView* pV, int invert);
    // The two form commands: confirmation, then the year's form on the open
    // mandate or on each selected one, with the end line `endLineId`.
    void ActivateForm(int year, int endLineId);
    // `failure` receives why a transfer failed, for the log.
    int CopyUpdateForm(const std::string& source, const std::string& target, int invert,
                       std::string* failure = nullptr);

    int m_abortFlag = 0;
    MIniSetHelper* m_pExclusive = nullptr;

protected:
    void OnClose() override;

private:
    void EnsureViewStack();

    QStackedWidget* views_ = nullptr;
    QLabel* panes_[3] = {};
};
