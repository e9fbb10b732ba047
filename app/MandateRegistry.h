#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/LeftOutMandates.h"
#include "core/RunAnswers.h"

class CTheList;
class CTheView;
class FrameRun;
class LogSink;
class MandateSession;
class WindowHost;

// "Mandanten suchen", "Suche abbrechen", "Mandant einfügen" and "Liste
// aufheben": the search for mandates below a folder and the registration of
// mandates in the list. It keeps the registered paths, the search root and
// whether a search runs; a search is one of the frame's runs (FrameRun) and
// stops by its stop flag.
//
// Paths are case-sensitive here, so a mandate is registered under its
// canonical path (symbolic links resolved, no trailing "/") and the list
// shows the path as it was found; both stay openable.
class MandateRegistry {
public:
    MandateRegistry(WindowHost& window, FrameRun& run, MandateSession& session, CTheList& list, CTheView& log)
        : window_(window), run_(run), session_(session), list_(list), log_(log) {}
    MandateRegistry(const MandateRegistry&) = delete;
    MandateRegistry& operator=(const MandateRegistry&) = delete;

    // Asks for the folder, searches it and logs the search's summary.
    void Search();
    // Searches below `path`; 0 when the search was stopped, 1 when it ran to its end.
    int SearchIt(const std::string& path);
    // Registers the mandate in `path` after its checks; false when it fails
    // them or is registered already.
    bool Add(const std::string& path);
    // Registers the mandate the user picks.
    void Insert();
    // Empties the list and the registered paths.
    void Clear();
    // The data library's mandate chooser, starting at `mandatePath`; false
    // when the user cancelled.
    static bool SelectMandate(std::string& mandatePath);

    const std::vector<std::string>& MandatePaths() const { return mandatePaths_; }
    // Where the next search and the mandate chooser start.
    const std::string& SearchRoot() const { return searchRoot_; }
    void SetSearchRoot(const std::string& root) { searchRoot_ = root; }
    bool SearchRunning() const { return searchRunning_; }
    // The search runs (or no longer): the log shows the wait cursor meanwhile.
    void SetSearchRunning(bool running);

private:
    void BeginSearch();
    void EndSearch();
    bool LogWindowExists() const;
    // Mandates registered since the search began.
    int RegisteredBySearch() const;
    void LogSearchSummary();
    bool Registered(const std::string& key) const;
    void Register(const std::string& key, const std::string& shown, const std::string& name);
    // A mandate the search found, checked on the search's thread.
    void AddFound(const std::string& path, LogSink& searchLog);

    WindowHost& window_;
    FrameRun& run_;
    MandateSession& session_;
    CTheList& list_;
    CTheView& log_;
    std::string searchRoot_;
    std::vector<std::string> mandatePaths_;
    bool searchRunning_ = false;
    int searchedFolders_ = 0;
    std::size_t registeredBefore_ = 0;
    // While a search runs: its answers for all mandates, the mandates and
    // folders it left out.
    std::optional<RunAnswers> searchAnswers_;
    LeftOutMandates searchLeftOut_;
    int unreadableFolders_ = 0;
};
