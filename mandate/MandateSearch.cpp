// "Mandanten suchen", "Suche abbrechen" and "Mandant einfügen": finding mandates
// below a folder and registering them in the mandate list.
//
// Paths are case-sensitive here, so a mandate is registered under its canonical
// path (symbolic links resolved, no trailing "/") and the list shows the path
// as it was found; both stay openable.
#include <filesystem>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "mandate/CDirDialog.h"
#include "mandate/MandatePath.h"
#include "mandate/pendra/Mandate.h"

namespace fs = std::filesystem;

namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string ChildPath(const std::string& dir, const std::string& name) {
    return dir == "/" ? dir + name : dir + "/" + name;
}

}  // namespace

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
    SearchMandates();
    SetSearchRunning(false);
    if (LogWindowExists()) SwitchView(1);
}

void CTheApp::OnBreakSearch() { m_stopSearch = 1; }

void CTheApp::SearchMandates() {
    m_searchedDirs.clear();
    SearchIt(m_searchRoot);
    m_searchedDirs.clear();
}

int CTheApp::SearchIt(const std::string& strPath) {
    if (m_stopSearch) return 0;
    if (!LogWindowExists()) return 0;
    OnIdle(1);
    const std::string path = WithoutTrailingSlash(strPath);
    // A folder met again through a link has been searched already.
    if (!m_searchedDirs.insert(CanonicalMandatePath(path)).second) return 1;
    if (Mandate::PathContainsMandate(path)) AddMandate(path);

    std::error_code error;
    fs::directory_iterator entries(path, fs::directory_options::skip_permission_denied, error);
    if (error) return 1;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error) break;  // the folder cannot be read further: skip the rest
        std::error_code typeError;
        if (!entries->is_directory(typeError)) continue;
        if (SearchIt(ChildPath(path, entries->path().filename().string())) == 0) return 0;
    }
    return 1;
}

bool CTheApp::AddMandate(const std::string& strPath) {
    const std::string shown = WithoutTrailingSlash(strPath);
    const std::string key = CanonicalMandatePath(shown);
    for (const std::string& registered : m_mandatePaths)
        if (registered == key) return false;
    std::string name;
    if (!CheckVersionAndPassword(shown, name)) return false;
    m_mandatePaths.push_back(key);
    const int row = static_cast<int>(m_mandatePaths.size()) - 1;
    listView_->AddItem(row, 0, shown);
    listView_->AddItem(row, 1, name);
    return true;
}

void CTheApp::OnInsertMandate() {
    std::string path = m_searchRoot;
    if (!SelectMandate(path)) return;
    AddMandate(path);
    m_searchRoot = path;
    SwitchView(1);
}
