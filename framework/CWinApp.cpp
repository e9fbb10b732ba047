#include "framework/CWinApp.h"

#include <QApplication>
#include <QEventLoop>

#include "framework/CFrameWnd.h"
#include "res/Resource.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

int CWinApp::OnIdle(long count) {
    (void)count;
    ++pumpSteps_;
    if (m_pMainWnd) m_pMainWnd->UpdateCommandStates();
    // A quit that arrives here is kept: the main loop ends as soon as the
    // command that pumps returns to it.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return 0;
}

int CWinApp::Run() {
    if (!quitRequested_) QApplication::exec();
    return ExitInstance();
}

void CWinApp::RequestQuit() {
    quitRequested_ = true;
    QCoreApplication::quit();
}

bool CWinApp::OnCmdMsg(unsigned id, CCmdUI* ui) {
    static const CommandEntry<CWinApp> map[] = {
        {ID_APP_EXIT, &CWinApp::OnAppExit, nullptr},
    };
    return DispatchCommand(this, map, id, ui);
}

void CWinApp::OnAppExit() {
    if (m_pMainWnd) m_pMainWnd->close();
}
