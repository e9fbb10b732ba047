#include "app/CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QStackedWidget>
#include <QStatusBar>
#include <algorithm>
#include <optional>

#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/HelpWindow.h"
#include "app/MandateRegistry.h"
#include "app/MenuText.h"
#include "app/RunProgress.h"
#include "app/FrameRun.h"
#include "app/TaxKeyOverview.h"
#include "framework/AppSeam.h"
#include "framework/CWinApp.h"
#include "backup/MandateBackup.h"
#include "base/Format.h"
#include "commands/RateChangeFile.h"
#include "core/Strings.h"
#include "core/UiSeam.h"
#include "mandate/MandateRestore.h"
#include "mandate/MandateRun.h"
#include "mandate/MandateSession.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"

namespace {

// What followed a backup, by the menu command's name ("insert-keys" reads
// "Neue Steuerschlüssel einfügen"); a reason the menu does not know as stored.
std::string BackupReasonText(const std::string& reason) {
    unsigned id = reason == backup::kRestoreReason ? static_cast<unsigned>(ID_RESTORE_BACKUP) : 0u;
    if (const CommandInfo* command = FindCommand(reason)) id = command->menuId;
    const std::string text = id == 0 ? std::string() : MenuItemText(id);
    return text.empty() ? reason : text;
}

// The user's choice among the backups of `dir`, the newest on top; the
// original, which the retention keeps for good, marked as mwst-batch marks it.
std::optional<std::size_t> ChooseAmong(UiSeam& seam, const std::string& dir, const std::vector<backup::Info>& backups) {
    ChoiceRequest choice{Format(LoadString(IDS_RESTORE_PROMPT), dir), LoadString(IDS_RESTORE_TITLE), {}};
    for (const backup::Info& info : backups)
        choice.items.push_back(Format(LoadString(IDS_RESTORE_ITEM), BackupTimeText(info.when),
                                      BackupReasonText(info.reason), std::to_string(info.size), info.id) +
                               (info.original ? "    " + LoadString(IDS_BACKUP_ORIGINAL) : std::string()));
    const std::optional<std::size_t> chosen = seam.ChooseItem(choice);
    if (!chosen || *chosen >= backups.size()) return std::nullopt;
    return chosen;
}

bool ConfirmRestore(UiSeam& seam, const std::string& dir, const backup::Info& info) {
    const std::string question = Format(LoadString(IDS_RESTORE_CONFIRM), info.id, BackupTimeText(info.when), dir);
    return seam.MessageBox({question, LoadString(IDS_TITLE), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2}) == IDYES;
}

// The backup of `dir` to put back, chosen from its list and confirmed;
// none when there is none or the user declined.
std::optional<backup::Info> ChooseBackup(UiSeam& seam, const std::string& dir) {
    std::vector<backup::Info> backups = backup::ListBackups(dir, ProductBackupSettings());
    if (backups.empty()) {
        seam.MessageBox({Format(LoadString(IDS_BACKUP_NONE), dir), LoadString(IDS_TITLE), MB_OK | MB_ICONEXCLAMATION});
        return std::nullopt;
    }
    std::reverse(backups.begin(), backups.end());
    const std::optional<std::size_t> chosen = ChooseAmong(seam, dir, backups);
    if (!chosen || !ConfirmRestore(seam, dir, backups[*chosen])) return std::nullopt;
    return backups[*chosen];
}

// The change the settings name loaded into `change`; empty, or why its
// definition was refused.
std::string LoadSettingsChange(RateChange& change) {
    std::string refusal;
    LoadRateChange(RateChangeSetting(), change, refusal);
    return refusal;
}

}  // namespace

CMainFrame::CMainFrame(Mandate& mandate, CTheView& log, CTheList& list, short& changeFlag)
    : log_(log),
      list_(list),
      changeRefusal_(LoadSettingsChange(change_)),
      session_(std::make_unique<MandateSession>(mandate)),
      run_(std::make_unique<FrameRun>(*this, *session_, list, log, changeFlag, change_, changeRefusal_)),
      registry_(std::make_unique<MandateRegistry>(*this, *run_, *session_, list, log)),
      overview_(std::make_unique<TaxKeyOverview>(*this, *session_, list, log)),
      viewByIndex_{&log, &list} {
    setObjectName(QStringLiteral("mainFrame"));
    // The list shows each mandate's stage for the change, read while its
    // registration has it open; none for a refused change.
    session_->ReadStatusOnRegistration(changeRefusal_.empty() ? &change_ : nullptr);
    QObject::connect(&list, &CTheList::countsChanged, this, &CMainFrame::UpdateListCounts);
    QObject::connect(&list, &CTheList::rowActivated, this, [this](int item) { overview_->ShowForActivatedRow(item); });
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

CView* CMainFrame::SwitchView(unsigned index) {
    if (index > 1) return nullptr;
    CView* oldView = GetActiveView();
    CView* newView = viewByIndex_[index];
    if (!oldView || !newView) return nullptr;
    if (oldView == newView) return oldView;
    currentView_ = static_cast<int>(index);
    ShowViewWidget(newView->Widget());
    SetActiveView(newView);
    newView->Widget()->setFocus();
    newView->Widget()->update();
    // Let repaints and layout happen before a long operation goes on.
    for (int i = 0; i < 1000; ++i) AfxGetApp()->OnIdle(1);
    return oldView;
}

int CMainFrame::ListVisibleSelected() const { return currentView_ == 1 && list_.GetSelectedCount() > 0 ? 1 : 0; }

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
    const bool open = session_->IsOpen();
    const Mandate& mandate = session_->Current();
    ShowMandateInStatusbar(open, open ? mandate.GetName() : std::string(), open ? mandate.GetPath() : std::string());
}

void CMainFrame::ShowMandate(bool open, const std::string& name, const std::string& path) {
    ShowTitle(open ? name : std::string());
    ShowMandateInStatusbar(open, name, path);
}

void CMainFrame::ShowTitle(const std::string& mandateName) {
    std::string title = LoadString(IDS_TITLE);
    if (changeRefusal_.empty() && change_.name != DefaultRateChange().name)
        title = Format(LoadString(IDS_TITLE_CHANGE), title, ChangeText(change_, CurrentLanguage() == Language::French));
    SetWindowText(mandateName.empty() ? title : title + " - " + mandateName);
}

void CMainFrame::SayChangeRefused() const { run_->SayChangeRefused(); }

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
    if (!listPane_) return;
    listPane_->setText(Q(Format(LoadString(IDS_LIST_COUNTS), list_.GetItemCount(), list_.GetSelectedCount())));
}

int CMainFrame::StatusPaneChrome() const { return 2 * (panes_[0]->frameWidth() + kPaneMargin); }

bool CMainFrame::CommandBlocked(unsigned id) const {
    if (!run_->Going()) return false;
    // What only reads the log, shows help or ends a search stays; Exit stops the run first.
    switch (id) {
    case ID_BREAK_SEARCH:
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

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (run_->CloseWhenEnded()) {
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
    if (currentView_ != 0) SwitchView(0);
}

void CMainFrame::OnUpdateEditView(CCmdUI* ui) { ui->Enable(currentView_ != 0); }

void CMainFrame::OnListView() {
    if (currentView_ != 1) SwitchView(1);
}

void CMainFrame::OnUpdateListView(CCmdUI* ui) { ui->Enable(currentView_ != 1); }

void CMainFrame::OnHilfethemen() { HelpWindow::ShowDefaultTopic(this); }

void CMainFrame::OnUpdateNewKeys(CCmdUI* ui) { ui->Enable(session_->IsOpen() || ListVisibleSelected()); }

void CMainFrame::OnUpdateRemoveKeys(CCmdUI* ui) { OnUpdateNewKeys(ui); }
void CMainFrame::OnUpdateForm2024(CCmdUI* ui) { OnUpdateNewKeys(ui); }
void CMainFrame::OnUpdateForm2018(CCmdUI* ui) { OnUpdateNewKeys(ui); }

void CMainFrame::OnUpdateManClose(CCmdUI* ui) { ui->Enable(session_->IsOpen()); }

void CMainFrame::OnManClose() {
    CloseMandate();
    UpdateStatusbar();
}

void CMainFrame::OpenMandate(const std::string& path) {
    CloseMandate();
    const MandateSession::Opened opened = session_->Open(path, AppSeam::Current(), log_);
    if (opened == MandateSession::Opened::kAborted) m_abortFlag = 1;
    if (opened != MandateSession::Opened::kYes) return;
    ShowTitle(session_->Current().GetName());
    UpdateStatusbar();
}

void CMainFrame::CloseMandate() {
    session_->Close();
    ShowTitle(std::string());
    UpdateStatusbar();
}

void CMainFrame::OnManOpen() {
    std::string path;
    if (!MandateRegistry::SelectMandate(path)) return;
    std::string name;
    if (!session_->CheckVersionAndPassword(path, name, AppSeam::Current())) return;
    registry_->SetSearchRoot(path);
    OpenMandate(path);
    UpdateStatusbar();
}

bool CMainFrame::RunBatch(const MandateWork& work, const RunOptions& options) {
    return run_->OverSelection(work, options);
}

bool CMainFrame::RunBatch(const std::function<void(const std::string& dir)>& work) {
    return run_->OverSelection(work);
}

bool CMainFrame::RunGoing() const { return run_->Going(); }

void CMainFrame::RequestStop() { run_->RequestStop(); }
bool CMainFrame::StopRequested() const { return run_->StopRequested(); }
void CMainFrame::RunConversion(Command command) { run_->Conversion(command); }

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
    if (!session_->IsOpen()) return;
    const std::string dir = session_->Current().GetPath();
    const std::optional<backup::Info> chosen = ChooseBackup(AppSeam::Current(), dir);
    if (!chosen) return;
    SwitchView(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool restored = RestoreMandate(session_->Current(), chosen->id, log_);
    QApplication::restoreOverrideCursor();
    // The open mandate still reports its name and flags of before: open it again.
    if (restored) OpenMandate(dir);
}
