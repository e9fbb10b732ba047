#pragma once
#include <QMainWindow>
#include <functional>
#include <map>
#include <string>

#include "framework/CCmdTarget.h"

class QAction;
class QCloseEvent;
class CView;
class CDocument;

// The main window of a single-document program: menu, toolbar and accelerators
// built from the resources of the current language, one QAction per command id.
// Commands are routed through the active view, the document, the frame and the
// application; each command's enabled state comes from its update rule, asked
// before a menu opens and whenever the program goes idle.
class CFrameWnd : public QMainWindow, public CCmdTarget {
public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Menu bar, toolbar and accelerators from the resources.
    void BuildCommandUi();
    QAction* CommandAction(unsigned id) const;
    QToolBar* ToolBar() const { return toolBar_; }

    bool RouteCmdMsg(unsigned id, CCmdUI* ui);
    bool IsCommandEnabled(unsigned id);
    // Runs the command when its update rule enables it, as a menu choice does.
    void DoCommand(unsigned id);
    void UpdateCommandStates();
    // Told of every command that reaches DoCommand (menu, toolbar, accelerator).
    void SetCommandObserver(std::function<void(unsigned)> observer) { observer_ = std::move(observer); }

    CView* GetActiveView() const { return activeView_; }
    void SetActiveView(CView* view) { activeView_ = view; }
    CDocument* GetActiveDocument() const { return document_; }
    void SetActiveDocument(CDocument* doc) { document_ = doc; }

    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    // False once the window has been closed.
    bool IsWindowAlive() const { return alive_; }

    void OnContextHelp();

protected:
    // True for a command that the window's state turns off whatever its own
    // update rule says (a long run going on).
    virtual bool CommandBlocked(unsigned id) const {
        (void)id;
        return false;
    }
    void closeEvent(QCloseEvent* event) override;
    // Close processing; the base marks the window as gone.
    virtual void OnClose();

private:
    QAction* EnsureAction(unsigned id);

    std::map<unsigned, QAction*> actions_;
    QToolBar* toolBar_ = nullptr;
    CView* activeView_ = nullptr;
    CDocument* document_ = nullptr;
    bool alive_ = true;
    bool updating_ = false;
    std::function<void(unsigned)> observer_;
};

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }
