#pragma once
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "framework/CWinApp.h"
#include "core/CommandContext.h"
#include "rules/ConvertTable.h"

class CView;
class CTheView;
class CTheList;
class CMainFrame;
class CTheDoc;
class Mandate;
class MandateRegistry;
class QRect;

// The application object. Owns the global mandate (created with the object,
// destroyed in ExitInstance), the two views (0 the log, 1 the mandate list) and
// the index of the one shown, the search root, the registered mandate paths,
// the search flags, the change flag and the search and registration of
// mandates (MandateRegistry). One exists at a time: TheApp().
class CTheApp : public CWinApp {
public:
    CTheApp();
    ~CTheApp() override;

    int InitInstance() override;
    int ExitInstance() override;
    CView* SwitchView(unsigned index);

    bool OnCmdMsg(unsigned id, CCmdUI* ui) override;

    // Commands of the application.
    void OnAppAbout();
    void OnMandantPrintlog();
    // "Log speichern...": the log as UTF-8 text or as the printed pages in a
    // PDF, to a file the user names in the save dialog.
    void OnMandantSavelog();
    // The save dialog, proposing a PDF (instead of printing) or a text.
    void SaveLogAs(bool pdf);
    // Writes the log to `path` (whole or not at all); false with `error` set
    // when it cannot be written.
    bool SaveLog(const std::string& path, bool pdf, std::string& error) const;
    void OnMandantClearlog();
    void OnMandantClearlist();
    void OnSearch();
    void OnUpdateSearch(CCmdUI* ui);
    void OnBreakSearch();
    void OnUpdateBreakSearch(CCmdUI* ui);
    void OnInsertMandate();
    void OnUpdateManInsert(CCmdUI* ui);
    void OnShowkeys();
    void OnUpdateShowkeys(CCmdUI* ui);

    // Mandate list and registration.
    int ListVisibleSelected() const;
    // Searches below `path`; 0 when the search was stopped, 1 when it ran to its end.
    int SearchIt(const std::string& path);
    // Registers the mandate in `path` after its checks; false when it fails
    // them or is registered already.
    bool AddMandate(const std::string& path);
    bool SelectMandate(std::string& mandatePath);

    // Mandate tests.
    bool CheckVersionAndPassword(const std::string& path, std::string& outMandateName);
    bool IsVersion(Mandate* mandate);
    bool AskPassword(Mandate* mandate);

    void GetTaxArray(std::vector<std::string>& ar, int all);
    void OnEditTax();

    // The open mandate, the log view, the installed seam and the change flag.
    CommandContext Context();
    // Failures of the conversion commands since the program started, as the
    // log view counted them: mwst-batch exits non-zero when any occurred.
    int Failures() const;

    // Window placement for a work area of `width` x `height`.
    static QRect MainWindowPlacement(int width, int height);

    CTheView* GetLogView() const;
    CTheList* GetListView() const;
    CMainFrame* GetMainFrame() const;
    CTheDoc* GetDocument() const { return document_; }

    void SetSearchRunning(bool running);

    short m_changeFlag = 0;
    // The open mandate's conversion table, read once while the mandate stays.
    ConvertTable m_convertTable;
    std::array<CView*, 2> m_views{};
    int m_currentView = 0;
    std::string m_searchRoot;
    std::vector<std::string> m_mandatePaths;
    Mandate* m_pMandate = nullptr;
    std::atomic<int> m_stopSearch = 0;  // set on the window's thread, read by the search's
    int m_searchRunning = 0;

private:
    void PlaceMainWindow();
    void CreateListView();

    CTheDoc* document_ = nullptr;
    CTheList* listView_ = nullptr;
    std::unique_ptr<MandateRegistry> registry_;
};

CTheApp& TheApp();
