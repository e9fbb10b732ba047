#include "app/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QStackedWidget>
#include <QStatusBar>

#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/HelpWindow.h"
#include "app/RunProgress.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "mandate/MandateSession.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"

CMainFrame::CMainFrame()
    // The global mandate exists before any window (the application creates it).
    : session_(std::make_unique<MandateSession>(*Mandate::GetGlobalMandate())) {
    setObjectName(QStringLiteral("mainFrame"));
    // The list shows each mandate's stage, read while its registration has it open.
    session_->ReadStatusOnRegistration(true);
}

CMainFrame::~CMainFrame() = default;

int CMainFrame::OnCreate() {
    EnsureViewStack();
    BuildCommandUi();
    if (!ToolBar()) return -1;
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        panes_[i] = new QLabel(bar);
        panes_[i]->setObjectName(QStringLiteral("pane%1").arg(i));
        // A sunken frame and a little room on each side keep the panes apart.
        panes_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panes_[i]->setContentsMargins(kPaneMargin, 0, kPaneMargin, 0);
        bar->addWidget(panes_[i], i == 2 ? 1 : 0);
    }
    progress_ = new RunProgress(bar);
    // Probelauf stays in sight while it is on, whatever the run's own panes say.
    dryRunPane_ = new QLabel(Q(LoadString(IDS_STATUS_DRY_RUN)), bar);
    dryRunPane_->setObjectName(QStringLiteral("dryRunPane"));
    dryRunPane_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    dryRunPane_->setContentsMargins(kPaneMargin, 0, kPaneMargin, 0);
    bar->addPermanentWidget(dryRunPane_);
    listPane_ = new QLabel(bar);
    listPane_->setObjectName(QStringLiteral("listPane"));
    listPane_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    listPane_->setContentsMargins(kPaneMargin, 0, kPaneMargin, 0);
    bar->addPermanentWidget(listPane_);
    UpdateStatusbar();
    return 0;
}

void CMainFrame::EnsureViewStack() {
    if (views_) return;
    views_ = new QStackedWidget(this);
    views_->setObjectName(QStringLiteral("views"));
    setCentralWidget(views_);
}

void CMainFrame::AddViewWidget(QWidget* widget) {
    EnsureViewStack();
    views_->addWidget(widget);
}

void CMainFrame::ShowViewWidget(QWidget* widget) { views_->setCurrentWidget(widget); }

bool CMainFrame::OnCmdMsg(unsigned id, CCmdUI* ui) {
    static const CommandEntry<CMainFrame> map[] = {
        {ID_CONTEXT_HELP, &CMainFrame::OnContextHelp, nullptr},
        {ID_HELP_FINDER, &CMainFrame::OnHilfethemen, nullptr},
        {ID_HILFETHEMEN, &CMainFrame::OnHilfethemen, nullptr},
        {ID_MAN_OPEN, &CMainFrame::OnManOpen, nullptr},
        {ID_MAN_CLOSE, &CMainFrame::OnManClose, &CMainFrame::OnUpdateManClose},
        {ID_EDIT_VIEW, &CMainFrame::OnEditView, &CMainFrame::OnUpdateEditView},
        {ID_LIST_VIEW, &CMainFrame::OnListView, &CMainFrame::OnUpdateListView},
        {ID_NEW_KEYS, &CMainFrame::OnNewKeys, &CMainFrame::OnUpdateNewKeys},
        {ID_NEW_KEYS_REVERSE, &CMainFrame::OnNewKeysReverse, &CMainFrame::OnUpdateNewKeys},
        {ID_UPDATE_ACCOUNTS, &CMainFrame::OnUpdateAccounts, &CMainFrame::OnUpdateNewKeys},
        {ID_UNDO_UPDATE_ACCOUNTS, &CMainFrame::OnUndoUpdateAccounts, &CMainFrame::OnUpdateNewKeys},
        {ID_REMOVE_KEYS, &CMainFrame::OnRemoveKeys, &CMainFrame::OnUpdateRemoveKeys},
        {ID_FORM2024, &CMainFrame::OnForm2024, &CMainFrame::OnUpdateForm2024},
        {ID_FORM2018, &CMainFrame::OnForm2018, &CMainFrame::OnUpdateForm2018},
        {ID_DRY_RUN, &CMainFrame::OnDryRun, &CMainFrame::OnUpdateDryRun},
        {ID_RESTORE_BACKUP, &CMainFrame::OnRestoreBackup, &CMainFrame::OnUpdateRestoreBackup},
    };
    return DispatchCommand(this, map, id, ui);
}

void CMainFrame::UpdateStatusbar() {
    const Mandate* mandate = Mandate::GetGlobalMandate();
    const bool open = mandate && mandate->IsMandantOpen();
    ShowMandateInStatusbar(open, open ? mandate->GetName() : std::string(), open ? mandate->GetPath() : std::string());
}

void CMainFrame::ShowMandateInStatusbar(bool open, const std::string& name, const std::string& path) {
    if (!panes_[0]) return;
    const std::string texts[3] = {
        LoadString(IDS_STATUS_OK),
        open ? name : LoadString(IDS_NO_MANDATE),
        path,
    };
    // Panes 0 and 1 are as wide as their texts in their frames; pane 2 takes the rest.
    const QFontMetrics metrics(statusBar()->font());
    for (int i = 0; i < 3; ++i) {
        panes_[i]->setText(Q(texts[i]));
        if (i < 2) panes_[i]->setFixedWidth(metrics.horizontalAdvance(Q(texts[i])) + StatusPaneChrome());
    }
    panes_[2]->setToolTip(Q(texts[2]));
    dryRunPane_->setVisible(m_dryRun);
    UpdateListCounts();
    // The result of the last run stands until a mandate is open again.
    if (open && progress_) progress_->HideResult();
}

void CMainFrame::UpdateListCounts() {
    const CTheList* list = TheApp().GetListView();
    if (!listPane_ || !list) return;
    listPane_->setText(Q(Format(LoadString(IDS_LIST_COUNTS), list->GetItemCount(), list->GetSelectedCount())));
}

int CMainFrame::StatusPaneChrome() const { return 2 * (panes_[0]->frameWidth() + kPaneMargin); }

bool CMainFrame::CommandBlocked(unsigned id) const {
    if (!runGoing_) return false;
    // What only reads the log or shows help stays; Exit stops the run first.
    switch (id) {
    case ID_MANDANT_PRINTLOG:
    case ID_MANDANT_SAVELOG:
    case ID_APP_EXIT:
    case ID_APP_ABOUT:
    case ID_HILFETHEMEN:
    case ID_HELP_FINDER:
    case ID_CONTEXT_HELP:
        return false;
    default:
        return true;
    }
}

void CMainFrame::RequestStop() {
    stopRequested_ = true;
    if (TheApp().m_searchRunning) TheApp().OnBreakSearch();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (runGoing_) {
        closeAfterRun_ = true;
        RequestStop();
        event->ignore();
        return;
    }
    CFrameWnd::closeEvent(event);
}

std::string CMainFrame::StatusPaneText(int pane) const { return S(panes_[pane]->text()); }

int CMainFrame::StatusPaneWidth(int pane) const { return panes_[pane]->width(); }

void CMainFrame::OnClose() {
    CloseMandate();
    CFrameWnd::OnClose();
}

void CMainFrame::OnEditView() {
    if (TheApp().m_currentView != 0) TheApp().SwitchView(0);
}

void CMainFrame::OnUpdateEditView(CCmdUI* ui) { ui->Enable(TheApp().m_currentView != 0); }

void CMainFrame::OnListView() {
    if (TheApp().m_currentView != 1) TheApp().SwitchView(1);
}

void CMainFrame::OnUpdateListView(CCmdUI* ui) { ui->Enable(TheApp().m_currentView != 1); }

void CMainFrame::OnHilfethemen() { HelpWindow::ShowDefaultTopic(this); }

void CMainFrame::OnUpdateNewKeys(CCmdUI* ui) {
    Mandate* mandate = Mandate::GetGlobalMandate();
    ui->Enable((mandate && mandate->IsMandantOpen()) || TheApp().ListVisibleSelected());
}

void CMainFrame::OnUpdateRemoveKeys(CCmdUI* ui) { OnUpdateNewKeys(ui); }
void CMainFrame::OnUpdateForm2024(CCmdUI* ui) { OnUpdateNewKeys(ui); }
void CMainFrame::OnUpdateForm2018(CCmdUI* ui) { OnUpdateNewKeys(ui); }

void CMainFrame::OnUpdateManClose(CCmdUI* ui) {
    Mandate* mandate = Mandate::GetGlobalMandate();
    ui->Enable(mandate && mandate->IsMandantOpen());
}

void CMainFrame::OnManClose() {
    CloseMandate();
    UpdateStatusbar();
}
