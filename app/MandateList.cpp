// "Mandanten suchen", "Suche abbrechen" and "Mandant einfügen": the mandate
// search and the registration of mandates in the list.
//
// Paths are case-sensitive here, so a mandate is registered under its canonical
// path (symbolic links resolved, no trailing "/") and the list shows the path
// as it was found; both stay openable.
#include <algorithm>

#include "app/CDirDialog.h"
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/RunProgress.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "res/Resource.h"
#include "mandate/MandatePath.h"
#include "mandate/MandateSearch.h"
#include "mandate/MandateSession.h"

bool CTheApp::LogWindowExists() const {
    const CMainFrame* frame = GetMainFrame();
    return frame && frame->IsWindowAlive() && GetLogView() && GetLogView()->Widget();
}

void CTheApp::OnSearch() {
    if (m_searchRunning) return;
    if (!m_searchRoot.empty() && m_searchRoot.back() != '/') m_searchRoot += '/';
    CDirDialog dialog;
    if (dialog.DoBrowse(m_searchRoot) <= 0) return;
    m_searchRoot = dialog.m_strPath;
    m_stopSearch = 0;
    SetSearchRunning(true);
    SwitchView(0);
    RunProgress& progress = GetMainFrame()->Progress();
    progress.Start(0, [this] { OnBreakSearch(); });
    searchedFolders_ = 0;
    registeredBefore_ = m_mandatePaths.size();
    searchLeftOut_ = {};
    unreadableFolders_ = 0;
    searchAnswers_.emplace();
    SearchMandates();
    searchAnswers_.reset();
    if (LogWindowExists()) LogSearchSummary();
    progress.Finish();
    SetSearchRunning(false);
    if (LogWindowExists()) SwitchView(1);
}

void CTheApp::OnBreakSearch() { m_stopSearch = 1; }

void CTheApp::SearchMandates() { SearchIt(m_searchRoot); }

int CTheApp::SearchIt(const std::string& path) {
    // The window stays responsive between folders, and "Suche abbrechen" or
    // closing the window ends the search.
    const auto stopped = [this] {
        if (m_stopSearch || !LogWindowExists()) return true;
        const int registered = static_cast<int>(m_mandatePaths.size() - std::min(registeredBefore_, m_mandatePaths.size()));
        GetMainFrame()->Progress().SetText(Format(LoadString(IDS_SEARCH_PROGRESS), ++searchedFolders_, registered));
        OnIdle(1);
        return false;
    };
    const auto unreadable = [this](const std::string& folder, const std::string& reason) {
        LogUnreadableFolder(folder, reason);
    };
    const auto found = [this](const std::string& dir) { AddMandate(dir); };
    return ::SearchMandates(path, found, stopped, unreadable) ? 1 : 0;
}

void CTheApp::LogUnreadableFolder(const std::string& path, const std::string& reason) {
    ++unreadableFolders_;
    GetLogView()->AppendLine(Format(LoadString(IDS_LOG_FOLDER_UNREADABLE), path, reason) + "\r\n");
}

void CTheApp::LogSearchSummary() {
    const std::size_t before = std::min(registeredBefore_, m_mandatePaths.size());
    const int registered = static_cast<int>(m_mandatePaths.size() - before);
    GetLogView()->AppendLine(Format(LoadString(IDS_SEARCH_SUMMARY), registered, searchLeftOut_.Count(),
                                    searchLeftOut_.Reasons(), unreadableFolders_));
}

bool CTheApp::AddMandate(const std::string& strPath) {
    const std::string shown = WithoutTrailingSlash(strPath);
    const std::string key = CanonicalMandatePath(shown);
    for (const std::string& registered : m_mandatePaths)
        if (registered == key) return false;
    std::string name;
    if (searchAnswers_) searchAnswers_->NextMandate();
    if (!CheckVersionAndPassword(shown, name)) {
        const int refusal = GetMainFrame()->Session().LastRefusal();
        if (searchAnswers_) searchLeftOut_.Add(*GetLogView(), shown, refusal);
        return false;
    }
    m_mandatePaths.push_back(key);
    const int row = static_cast<int>(m_mandatePaths.size()) - 1;
    listView_->AddItem(row, 0, shown);
    listView_->AddItem(row, 1, name);
    listView_->ShowStatus(row, GetMainFrame()->Session().RegisteredStatus());
    return true;
}

void CTheApp::OnInsertMandate() {
    std::string path = m_searchRoot;
    if (!SelectMandate(path)) return;
    AddMandate(path);
    m_searchRoot = path;
    SwitchView(1);
}
