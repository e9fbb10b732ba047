#pragma once
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

// The application object. Owns the mandate (created with the object,
// destroyed in ExitInstance), which the frame's session opens and closes, the
// two views (0 the log, 1 the mandate list; the frame shows one) and the
// change flag. One exists at a time.
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

    // Mandate list and registration (the frame's MandateRegistry).
    int ListVisibleSelected() const;
    // Searches below `path`; 0 when the search was stopped, 1 when it ran to its end.
    int SearchIt(const std::string& path);
    // Registers the mandate in `path` after its checks; false when it fails
    // them or is registered already.
    bool AddMandate(const std::string& path);
    MandateRegistry& Registry() const;

    // The registration test of a mandate directory.
    bool CheckVersionAndPassword(const std::string& path, std::string& outMandateName);

    void GetTaxArray(std::vector<std::string>& ar, int all);

    // The open mandate, the log view, the installed seam and the change flag.
    CommandContext Context();
    // The one mandate object of the program: the frame's session opens and
    // closes it, and the window's parts ask that session for it. None after
    // ExitInstance.
    Mandate* GetMandate() const { return mandate_.get(); }
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

private:
    void PlaceMainWindow();
    void CreateListView();

    CTheDoc* document_ = nullptr;
    CTheView* logView_ = nullptr;
    CTheList* listView_ = nullptr;
    std::unique_ptr<Mandate> mandate_;
};
