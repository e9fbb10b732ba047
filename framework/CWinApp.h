#pragma once
#include "framework/CCmdTarget.h"

class CFrameWnd;

// The application object: start-up, shutdown, the pump step and the
// application's place in command routing. Exactly one exists at a time;
// AfxGetApp gives it.
class CWinApp : public CCmdTarget {
public:
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual int InitInstance() { return 1; }
    virtual int ExitInstance() { return 0; }
    // One step of the message pump: handles the events waiting now. Returns 0.
    virtual int OnIdle(long count);
    // Runs the event loop until the main window closes; returns ExitInstance().
    int Run();

    CFrameWnd* m_pMainWnd = nullptr;

    bool OnCmdMsg(unsigned id, CCmdUI* ui) override;
    void OnAppExit();

    // Pump steps done so far (for tests of the switch and the search).
    long PumpSteps() const { return pumpSteps_; }
    // True once a quit was asked for (also while a command was pumping).
    bool QuitRequested() const { return quitRequested_; }
    void RequestQuit();

private:
    long pumpSteps_ = 0;
    bool quitRequested_ = false;
};

CWinApp* AfxGetApp();
