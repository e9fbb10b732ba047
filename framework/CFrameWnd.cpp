#include "framework/CFrameWnd.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QToolBar>
#include <QWhatsThis>

#include "framework/CView.h"
#include "framework/CWinApp.h"
#include "framework/ResourceIcon.h"
#include "core/Strings.h"
#include "res/Resource.h"

CFrameWnd::CFrameWnd() {
    // Idle-time update of the command states, as the toolbar needs them.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { UpdateCommandStates(); });
}

CFrameWnd::~CFrameWnd() = default;

QAction* CFrameWnd::EnsureAction(unsigned id) {
    if (auto it = actions_.find(id); it != actions_.end()) return it->second;
    auto* action = new QAction(this);
    action->setObjectName(QStringLiteral("command_%1").arg(id));
    action->setStatusTip(Q(PromptOf(id)));
    action->setWhatsThis(Q(PromptOf(id)));
    action->setToolTip(Q(TooltipOf(id)));
    connect(action, &QAction::triggered, this, [this, id] { DoCommand(id); });
    addAction(action);  // keeps its shortcut alive without a menu
    actions_[id] = action;
    return action;
}

void CFrameWnd::BuildCommandUi() {
    for (const MenuPopup& popup : Resources(CurrentLanguage()).menu) {
        QMenu* menu = menuBar()->addMenu(Q(popup.title));
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
        for (const MenuItem& item : popup.items) {
            if (item.id == 0) {
                menu->addSeparator();
                continue;
            }
            QAction* action = EnsureAction(item.id);
            action->setText(Q(item.text));
            menu->addAction(action);
        }
    }
    toolBar_ = addToolBar(QStringLiteral("toolbar"));
    toolBar_->setObjectName(QStringLiteral("toolbar154"));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(16, 15));
    for (const ToolbarButton& button : ToolbarButtons()) {
        if (button.id == 0) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* action = EnsureAction(button.id);
        action->setIcon(ResourceIcon(Q(button.icon)));
        toolBar_->addAction(action);
    }
    std::map<unsigned, QList<QKeySequence>> keys;
    for (const Accelerator& acc : Accelerators()) keys[acc.id].append(QKeySequence(Q(acc.keys)));
    for (const auto& [id, sequences] : keys) EnsureAction(id)->setShortcuts(sequences);
    UpdateCommandStates();
}

QAction* CFrameWnd::CommandAction(unsigned id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

bool CFrameWnd::RouteCmdMsg(unsigned id, CCmdUI* ui) {
    if (activeView_ && activeView_->OnCmdMsg(id, ui)) return true;
    if (document_ && document_->OnCmdMsg(id, ui)) return true;
    if (OnCmdMsg(id, ui)) return true;
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(id, ui);
}

bool CFrameWnd::IsCommandEnabled(unsigned id) {
    if (CommandBlocked(id)) return false;
    CCmdUI ui(id);
    // A command that nobody handles is disabled.
    return RouteCmdMsg(id, &ui) && ui.IsEnabled();
}

void CFrameWnd::DoCommand(unsigned id) {
    if (observer_) observer_(id);
    if (IsCommandEnabled(id)) RouteCmdMsg(id, nullptr);
}

void CFrameWnd::UpdateCommandStates() {
    if (updating_ || !alive_) return;
    updating_ = true;
    for (const auto& [id, action] : actions_) {
        CCmdUI ui(id);
        // A command blocked now must look so, not do nothing when chosen; its
        // rule is not asked, for it may read what a running work changes.
        action->setEnabled(!CommandBlocked(id) && RouteCmdMsg(id, &ui) && ui.IsEnabled());
        if (ui.HasCheck()) {
            action->setCheckable(true);
            action->setChecked(ui.IsChecked());
        }
    }
    updating_ = false;
}

void CFrameWnd::SetWindowText(const std::string& text) { setWindowTitle(Q(text)); }

std::string CFrameWnd::GetWindowText() const { return S(windowTitle()); }

void CFrameWnd::OnContextHelp() { QWhatsThis::enterWhatsThisMode(); }

void CFrameWnd::closeEvent(QCloseEvent* event) {
    OnClose();
    event->accept();
}

void CFrameWnd::OnClose() { alive_ = false; }
