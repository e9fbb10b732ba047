#include "app/MandateRegistry.h"

#include <algorithm>
#include <vector>

#include "app/CDirDialog.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/FrameRun.h"
#include "app/RunProgress.h"
#include "app/WindowHost.h"
#include "app/WindowLogSink.h"
#include "framework/AppSeam.h"
#include "framework/CFrameWnd.h"
#include "framework/WorkThread.h"
#include "base/Format.h"
#include "core/PendraUiBridge.h"
#include "core/Strings.h"
#include "mandate/MandatePath.h"
#include "mandate/MandateSearch.h"
#include "mandate/MandateSession.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"

void MandateRegistry::Search() {
    if (searchRunning_) return;
    std::string& root = searchRoot_;
    if (!root.empty() && root.back() != '/') root += '/';
    CDirDialog dialog;
    if (dialog.DoBrowse(root) <= 0) return;
    root = dialog.m_strPath;
    BeginSearch();
    SearchIt(root);
    EndSearch();
}

void MandateRegistry::BeginSearch() {
    run_.ClearStop();
    SetSearchRunning(true);
    window_.SwitchView(0);
    searchedFolders_ = 0;
    registeredBefore_ = mandatePaths_.size();
    searchLeftOut_ = {};
    unreadableFolders_ = 0;
    searchAnswers_.emplace(AppSeam::Current());
}

void MandateRegistry::EndSearch() {
    searchAnswers_.reset();
    if (LogWindowExists()) LogSearchSummary();
    SetSearchRunning(false);
    if (LogWindowExists()) window_.SwitchView(1);
}

void MandateRegistry::SetSearchRunning(bool running) {
    searchRunning_ = running;
    log_.OnSetCursor(running);
}

int MandateRegistry::SearchIt(const std::string& path) {
    // The walk and each mandate's checks run on the work's thread; the
    // window shows the progress and the boxes and registers what was found.
    // "Suche abbrechen", Stopp or closing the window end the search at the
    // next folder.
    WindowLogSink searchLog(log_);
    const auto progress = [this](int folders) {
        return Format(LoadString(IDS_SEARCH_PROGRESS), folders, RegisteredBySearch());
    };
    const auto stopped = [this, &progress] {
        if (run_.StopRequested()) return true;
        workthread::Post([this, &progress, folders = ++searchedFolders_] {
            window_.Progress().SetText(progress(folders));
        });
        return false;
    };
    const auto unreadable = [this, &searchLog](const std::string& folder, const std::string& reason) {
        ++unreadableFolders_;
        searchLog.Line(Format(LoadString(IDS_LOG_FOLDER_UNREADABLE), folder, reason) + "\r\n");
    };
    const auto found = [this, &searchLog](const std::string& dir) { AddFound(dir, searchLog); };
    bool ended = false;
    run_.Background(progress(searchedFolders_), [&] { ended = ::SearchMandates(path, found, stopped, unreadable); });
    return ended ? 1 : 0;
}

bool MandateRegistry::LogWindowExists() const {
    return window_.Window().IsWindowAlive() && log_.Widget();
}

int MandateRegistry::RegisteredBySearch() const {
    const std::size_t registered = mandatePaths_.size();
    return static_cast<int>(registered - std::min(registeredBefore_, registered));
}

void MandateRegistry::LogSearchSummary() {
    log_.AppendLine(Format(LoadString(IDS_SEARCH_SUMMARY), RegisteredBySearch(), searchLeftOut_.Count(),
                                         searchLeftOut_.Reasons(), unreadableFolders_));
}

bool MandateRegistry::Registered(const std::string& key) const {
    return std::find(mandatePaths_.begin(), mandatePaths_.end(), key) != mandatePaths_.end();
}

void MandateRegistry::Register(const std::string& key, const std::string& shown, const std::string& name) {
    mandatePaths_.push_back(key);
    const int row = static_cast<int>(mandatePaths_.size()) - 1;
    list_.AddItem(row, 0, shown);
    list_.AddItem(row, 1, name);
    if (session_.ReadsStatusOnRegistration()) list_.ShowStatus(row, session_.RegisteredStatus());
}

bool MandateRegistry::Add(const std::string& path) {
    const std::string shown = WithoutTrailingSlash(path);
    const std::string key = CanonicalMandatePath(shown);
    if (Registered(key)) return false;
    std::string name;
    if (!session_.CheckVersionAndPassword(shown, name, AppSeam::Current())) return false;
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
    std::string name;
    if (!session_.CheckVersionAndPassword(shown, name, seam)) {
        if (searchAnswers_) searchLeftOut_.Add(searchLog, shown, session_.LastRefusal());
        return;
    }
    workthread::Call([&] { Register(key, shown, name); });
}

void MandateRegistry::Insert() {
    std::string path = searchRoot_;
    if (!SelectMandate(path)) return;
    Add(path);
    searchRoot_ = path;
    window_.SwitchView(1);
}

void MandateRegistry::Clear() {
    list_.EraseList();
    list_.DisplayColumnHeadings(0);
    mandatePaths_.clear();
}

bool MandateRegistry::SelectMandate(std::string& mandatePath) {
    char buffer[1024] = {};
    mandatePath.copy(buffer, sizeof buffer - 1);
    PendraUiBridge chooser(AppSeam::Current());
    if (Mandate::SelectMandate(buffer, sizeof buffer, 0, chooser, nullptr, true) == 0) return false;
    mandatePath = buffer;
    return true;
}
