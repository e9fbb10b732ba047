#pragma once
#include <string>

class CFrameWnd;
class CView;
class RunProgress;

// What the main frame's helpers (its runs, the search and registration, the
// key overview) ask of the window that owns them. The frame answers; the
// helpers know this and the framework's frame window, never the frame itself.
class WindowHost {
public:
    virtual CFrameWnd& Window() = 0;
    virtual RunProgress& Progress() = 0;
    // Shows view 0 (the log) or 1 (the list); the view shown before.
    virtual CView* SwitchView(unsigned index) = 0;
    // 1 when the list is shown and has a selected row.
    virtual int ListVisibleSelected() const = 0;
    virtual bool RunGoing() const = 0;
    virtual bool DryRun() const = 0;
    virtual void SetAbortFlag(int abort) = 0;

    virtual void OpenMandate(const std::string& path) = 0;
    // Closes the open mandate and refreshes the status bar.
    virtual void OnManClose() = 0;
    virtual void UpdateStatusbar() = 0;
    // The title and the status bar for a mandate open (or not) at `path`.
    virtual void ShowMandate(bool open, const std::string& name, const std::string& path) = 0;

protected:
    ~WindowHost() = default;
};
