#include "app/MandateRegistry.h"

#include <algorithm>
#include <vector>

#include "app/CDirDialog.h"
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/RunProgress.h"
#include "app/framework/AppSeam.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "mandate/MandatePath.h"
#include "mandate/MandateSearch.h"
#include "mandate/MandateSession.h"
#include "res/Resource.h"

void MandateRegistry::Search() {
    if (app_.m_searchRunning) return;
    std::string& root = app_.m_searchRoot;
    if (!root.empty() && root.back() != '/') root += '/';
    CDirDialog dialog;
    if (dialog.DoBrowse(root) <= 0) return;
    root = dialog.m_strPath;
    BeginSearch();
    SearchIt(root);
    EndSearch();
}

void MandateRegistry::BeginSearch() {
    app_.m_stopSearch = 0;
    app_.SetSearchRunning(true);
    app_.SwitchView(0);
    app_.GetMainFrame()->Progress().Start(0, [this] { app_.OnBreakSearch(); });
    searchedFolders_ = 0;
    registeredBefore_ = app_.m_mandatePaths.size();
    searchLeftOut_ = {};
    unreadableFolders_ = 0;
    searchAnswers_.emplace(AppSeam::Current());
}

void MandateRegistry::EndSearch() {
    searchAnswers_.reset();
    if (LogWindowExists()) LogSearchSummary();
    app_.GetMainFrame()->Progress().Finish();
    app_.SetSearchRunning(false);
    if (LogWindowExists()) app_.SwitchView(1);
}

int MandateRegistry::SearchIt(const std::string& path) {
    // The window stays responsive between folders, and "Suche abbrechen" or
    // closing the window ends the search.
    const auto stopped = [this] {
        if (app_.m_stopSearch || !LogWindowExists()) return true;
        app_.GetMainFrame()->Progress().SetText(
            Format(LoadString(IDS_SEARCH_PROGRESS), ++searchedFolders_, RegisteredBySearch()));
        app_.OnIdle(1);
        return false;
    };
    const auto unreadable = [this](const std::string& folder, const std::string& reason) {
        LogUnreadableFolder(folder, reason);
    };
    const auto found = [this](const std::string& dir) { Add(dir); };
    return ::SearchMandates(path, found, stopped, unreadable) ? 1 : 0;
}

bool MandateRegistry::LogWindowExists() const {
    const CMainFrame* frame = app_.GetMainFrame();
    return frame && frame->IsWindowAlive() && app_.GetLogView() && app_.GetLogView()->Widget();
}

int MandateRegistry::RegisteredBySearch() const {
    const std::size_t registered = app_.m_mandatePaths.size();
    return static_cast<int>(registered - std::min(registeredBefore_, registered));
}

void MandateRegistry::LogUnreadableFolder(const std::string& path, const std::string& reason) {
    ++unreadableFolders_;
    app_.GetLogView()->AppendLine(Format(LoadString(IDS_LOG_FOLDER_UNREADABLE), path, reason) + "\r\n");
}

void MandateRegistry::LogSearchSummary() {
    app_.GetLogView()->AppendLine(Format(LoadString(IDS_SEARCH_SUMMARY), RegisteredBySearch(), searchLeftOut_.Count(),
                                         searchLeftOut_.Reasons(), unreadableFolders_));
}

bool MandateRegistry::Add(const std::string& path) {
    const std::string shown = WithoutTrailingSlash(path);
    const std::string key = CanonicalMandatePath(shown);
    std::vector<std::string>& paths = app_.m_mandatePaths;
    if (std::find(paths.begin(), paths.end(), key) != paths.end()) return false;
    std::string name;
    if (searchAnswers_) searchAnswers_->NextMandate();
    MandateSession& session = app_.GetMainFrame()->Session();
    // A search asks through its answers for all mandates.
    UiSeam& seam = searchAnswers_ ? static_cast<UiSeam&>(*searchAnswers_) : AppSeam::Current();
    if (!session.CheckVersionAndPassword(shown, name, seam)) {
        if (searchAnswers_) searchLeftOut_.Add(*app_.GetLogView(), shown, session.LastRefusal());
        return false;
    }
    paths.push_back(key);
    const int row = static_cast<int>(paths.size()) - 1;
    CTheList& list = *app_.GetListView();
    list.AddItem(row, 0, shown);
    list.AddItem(row, 1, name);
    list.ShowStatus(row, session.RegisteredStatus());
    return true;
}

void MandateRegistry::Insert() {
    std::string path = app_.m_searchRoot;
    if (!app_.SelectMandate(path)) return;
    Add(path);
    app_.m_searchRoot = path;
    app_.SwitchView(1);
}
