#include "app/MandateRegistry.h"

#include <algorithm>
#include <vector>

#include "app/CDirDialog.h"
#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/RunProgress.h"
#include "app/WindowLogSink.h"
#include "framework/AppSeam.h"
#include "framework/WorkThread.h"
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
    searchedFolders_ = 0;
    registeredBefore_ = app_.m_mandatePaths.size();
    searchLeftOut_ = {};
    unreadableFolders_ = 0;
    searchAnswers_.emplace(AppSeam::Current());
}

void MandateRegistry::EndSearch() {
    searchAnswers_.reset();
    if (LogWindowExists()) LogSearchSummary();
    app_.SetSearchRunning(false);
    if (LogWindowExists()) app_.SwitchView(1);
}

int MandateRegistry::SearchIt(const std::string& path) {
    // The walk and each mandate's checks run on the work's thread; the
    // window shows the progress and the boxes and registers what was found.
    // "Suche abbrechen", Stopp or closing the window end the search at the
    // next folder.
    WindowLogSink searchLog(*app_.GetLogView());
    const auto progress = [this](int folders) {
        return Format(LoadString(IDS_SEARCH_PROGRESS), folders, RegisteredBySearch());
    };
    const auto stopped = [this, &progress] {
        if (app_.m_stopSearch) return true;
        workthread::Post([this, &progress, folders = ++searchedFolders_] {
            app_.GetMainFrame()->Progress().SetText(progress(folders));
        });
        return false;
    };
    const auto unreadable = [this, &searchLog](const std::string& folder, const std::string& reason) {
        ++unreadableFolders_;
        searchLog.Line(Format(LoadString(IDS_LOG_FOLDER_UNREADABLE), folder, reason) + "\r\n");
    };
    const auto found = [this, &searchLog](const std::string& dir) { AddFound(dir, searchLog); };
    bool ended = false;
    app_.GetMainFrame()->Background(progress(searchedFolders_),
                                    [&] { ended = ::SearchMandates(path, found, stopped, unreadable); });
    return ended ? 1 : 0;
}

bool MandateRegistry::LogWindowExists() const {
    const CMainFrame* frame = app_.GetMainFrame();
    return frame && frame->IsWindowAlive() && app_.GetLogView() && app_.GetLogView()->Widget();
}

int MandateRegistry::RegisteredBySearch() const {
    const std::size_t registered = app_.m_mandatePaths.size();
    return static_cast<int>(registered - std::min(registeredBefore_, registered));
}

void MandateRegistry::LogSearchSummary() {
    app_.GetLogView()->AppendLine(Format(LoadString(IDS_SEARCH_SUMMARY), RegisteredBySearch(), searchLeftOut_.Count(),
                                         searchLeftOut_.Reasons(), unreadableFolders_));
}

bool MandateRegistry::Registered(const std::string& key) const {
    const std::vector<std::string>& paths = app_.m_mandatePaths;
    return std::find(paths.begin(), paths.end(), key) != paths.end();
}

void MandateRegistry::Register(const std::string& key, const std::string& shown, const std::string& name) {
    std::vector<std::string>& paths = app_.m_mandatePaths;
    paths.push_back(key);
    const int row = static_cast<int>(paths.size()) - 1;
    CTheList& list = *app_.GetListView();
    list.AddItem(row, 0, shown);
    list.AddItem(row, 1, name);
    list.ShowStatus(row, app_.GetMainFrame()->Session().RegisteredStatus());
}

bool MandateRegistry::Add(const std::string& path) {
    const std::string shown = WithoutTrailingSlash(path);
    const std::string key = CanonicalMandatePath(shown);
    if (Registered(key)) return false;
    std::string name;
    if (!app_.GetMainFrame()->Session().CheckVersionAndPassword(shown, name, AppSeam::Current())) return false;
    Register(key, shown, name);
    return true;
}

void MandateRegistry::AddFound(const std::string& path, LogSink& searchLog) {
    const std::string shown = WithoutTrailingSlash(path);
    const std::string key = CanonicalMandatePath(shown);
    bool registered = false;
    workthread::Call([&] { registered = Registered(key); });
    if (registered) return;
    // A search asks through its answers for all mandates.
    if (searchAnswers_) searchAnswers_->NextMandate();
    UiSeam& seam = searchAnswers_ ? static_cast<UiSeam&>(*searchAnswers_) : AppSeam::Current();
    MandateSession& session = app_.GetMainFrame()->Session();
    std::string name;
    if (!session.CheckVersionAndPassword(shown, name, seam)) {
        if (searchAnswers_) searchLeftOut_.Add(searchLog, shown, session.LastRefusal());
        return;
    }
    workthread::Call([&] { Register(key, shown, name); });
}

void MandateRegistry::Insert() {
    std::string path = app_.m_searchRoot;
    if (!app_.SelectMandate(path)) return;
    Add(path);
    app_.m_searchRoot = path;
    app_.SwitchView(1);
}
