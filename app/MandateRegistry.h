#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "app/LeftOutMandates.h"
#include "core/RunAnswers.h"

class CTheApp;
class LogSink;

// "Mandanten suchen", "Suche abbrechen" and "Mandant einfügen": the search
// for mandates below a folder and the registration of mandates in the list.
// The registered paths, the search root and the search flags are the
// application's; what one search counts lives here while it runs.
//
// Paths are case-sensitive here, so a mandate is registered under its
// canonical path (symbolic links resolved, no trailing "/") and the list
// shows the path as it was found; both stay openable.
class MandateRegistry {
public:
    explicit MandateRegistry(CTheApp& app) : app_(app) {}
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

    CTheApp& app_;
    int searchedFolders_ = 0;
    std::size_t registeredBefore_ = 0;
    // While a search runs: its answers for all mandates, the mandates and
    // folders it left out.
    std::optional<RunAnswers> searchAnswers_;
    LeftOutMandates searchLeftOut_;
    int unreadableFolders_ = 0;
};
