#include "app/CTheApp.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QGuiApplication>
#include <QIcon>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRect>
#include <QScreen>

#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CTheDoc.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/MandateRegistry.h"
#include "app/QtTranslations.h"
#include "app/TaxKeyOverview.h"
#include "framework/ResourceIcon.h"
#include "base/Format.h"
#include "core/BrisolSettings.h"
#include "core/UiSeam.h"
#include "core/PendraUiBridge.h"
#include "mandate/MandateSession.h"
#include "rules/TaxArray.h"
#include "framework/QtUiSeam.h"
#include "framework/AppSeam.h"
#include "core/Strings.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"

namespace {
// The printed log's margins in millimetres: room for binding and punching.
const QMarginsF kLogMargins(20, 15, 15, 15);
// The seam the program installs when a test has not.
QtUiSeam g_qtSeam;
bool g_seamInstalledByUs = false;
}  // namespace

CTheApp::CTheApp() : mandate_(std::make_unique<Mandate>(0)) {}

CTheApp::~CTheApp() {
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
    delete logView_;
    delete listView_;
    delete document_;
}

QRect CTheApp::MainWindowPlacement(int width, int height) {
    return QRect(width / 8, height / 8, width * 3 / 4, height * 3 / 4);
}

int CTheApp::InitInstance() {
    // 1. The product's culture selects German or French resources.
    SetProcessPreferredUILanguages(GetUICultureName());
    InstallQtTranslations(CurrentLanguage());
    // 2./3. The platform needs no OLE; the framework's seam is put in place
    // unless a test installed its own.
    if (!AppSeam::Installed()) {
        AppSeam::Install(&g_qtSeam);
        g_seamInstalledByUs = true;
    }
    QApplication::setWindowIcon(ResourceIcon(QStringLiteral("app.xpm")));
    // 5./6. Document, the two views the frame hosts, frame.
    document_ = new CTheDoc;
    if (!document_->OnNewDocument()) return 0;
    auto* log = logView_ = new CTheView;
    log->SetDocument(document_);
    listView_ = new CTheList;
    listView_->SetDocument(document_);
    auto* frame = new CMainFrame(*mandate_, *log, *listView_, m_changeFlag);
    m_pMainWnd = frame;
    g_qtSeam.SetOwner(frame);
    frame->AddViewWidget(log->Widget());
    frame->SetActiveView(log);
    frame->SetActiveDocument(document_);
    if (frame->OnCreate() != 0) return 0;
    log->OnInitialUpdate();
    frame->ShowViewWidget(log->Widget());
    // 7. Title, 8. placement.
    frame->ShowTitle(std::string());
    PlaceMainWindow();
    frame->show();
    frame->SayChangeRefused();
    // 9. View 0, the log, is shown; 10. view 1, the mandate list, hidden.
    CreateListView();
    // 11. The company name keys the program's own settings.
    QCoreApplication::setOrganizationName(Q(CompanyName()));
    // 12. The first search root.
    Registry().SetSearchRoot(ReadBrisolPath("initial", "mandant"));
    return 1;
}

void CTheApp::PlaceMainWindow() {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect place = MainWindowPlacement(work.width(), work.height());
    m_pMainWnd->move(work.x() + place.x(), work.y() + place.y());
    m_pMainWnd->resize(place.size());
}

void CTheApp::CreateListView() {
    GetMainFrame()->AddViewWidget(listView_->Widget());
    listView_->DisplayColumnHeadings(0);
}

int CTheApp::ExitInstance() {
    if (CMainFrame* frame = GetMainFrame()) frame->RequestStop();
    mandate_.reset();
    RemoveQtTranslations();
    if (g_seamInstalledByUs) {
        AppSeam::Install(nullptr);
        g_seamInstalledByUs = false;
    }
    return 1;
}

CView* CTheApp::SwitchView(unsigned index) {
    CMainFrame* frame = GetMainFrame();
    return frame ? frame->SwitchView(index) : nullptr;
}

CTheView* CTheApp::GetLogView() const { return logView_; }
CTheList* CTheApp::GetListView() const { return listView_; }
CMainFrame* CTheApp::GetMainFrame() const { return static_cast<CMainFrame*>(m_pMainWnd); }

int CTheApp::ListVisibleSelected() const {
    const CMainFrame* frame = GetMainFrame();
    return frame ? frame->ListVisibleSelected() : 0;
}

MandateRegistry& CTheApp::Registry() const { return GetMainFrame()->Registry(); }

void CTheApp::SetSearchRunning(bool running) { Registry().SetSearchRunning(running); }

bool CTheApp::OnCmdMsg(unsigned id, CCmdUI* ui) {
    static const CommandEntry<CTheApp> map[] = {
        {ID_APP_ABOUT, &CTheApp::OnAppAbout, nullptr},
        {ID_MANDANT_PRINTLOG, &CTheApp::OnMandantPrintlog, nullptr},
        {ID_MANDANT_SAVELOG, &CTheApp::OnMandantSavelog, nullptr},
        {ID_MANDANT_CLEARLOG, &CTheApp::OnMandantClearlog, nullptr},
        {ID_MANDANT_CLEARLIST, &CTheApp::OnMandantClearlist, nullptr},
        {ID_SEARCH, &CTheApp::OnSearch, &CTheApp::OnUpdateSearch},
        {ID_BREAK_SEARCH, &CTheApp::OnBreakSearch, &CTheApp::OnUpdateBreakSearch},
        {ID_MAN_INSERT, &CTheApp::OnInsertMandate, &CTheApp::OnUpdateManInsert},
        {ID_SHOWKEYS, &CTheApp::OnShowkeys, &CTheApp::OnUpdateShowkeys},
    };
    return DispatchCommand(this, map, id, ui) || CWinApp::OnCmdMsg(id, ui);
}

void CTheApp::OnUpdateSearch(CCmdUI* ui) { ui->Enable(!Registry().SearchRunning()); }
void CTheApp::OnUpdateBreakSearch(CCmdUI* ui) { ui->Enable(Registry().SearchRunning()); }
void CTheApp::OnUpdateManInsert(CCmdUI* ui) { ui->Enable(true); }

void CTheApp::OnUpdateShowkeys(CCmdUI* ui) {
    ui->Enable(GetMainFrame()->Session().IsOpen() || ListVisibleSelected() != 0);
}

void CTheApp::OnMandantClearlog() { GetLogView()->Clear(); }

void CTheApp::OnMandantClearlist() { Registry().Clear(); }

void CTheApp::OnMandantPrintlog() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        const MessageBoxRequest box{LoadString(IDS_NO_PRINTER), LoadString(IDS_TITLE), MB_YESNO | MB_ICONQUESTION};
        if (AppSeam::Current().MessageBox(box) == IDYES) SaveLogAs(true);
        return;
    }
    QPrinter printer(info);
    printer.setPageMargins(kLogMargins, QPageLayout::Millimeter);
    GetLogView()->PrintSheet(&printer, m_pMainWnd->GetWindowText());
}

void CTheApp::OnMandantSavelog() { SaveLogAs(false); }

void CTheApp::SaveLogAs(bool pdf) {
    QFileDialog dialog(m_pMainWnd, Q(LoadString(IDS_SAVELOG_TITLE)));
    dialog.setObjectName(QStringLiteral("saveLogDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList filters = Q(LoadString(IDS_SAVELOG_FILTERS)).split(QStringLiteral(";;"));
    dialog.setNameFilters(filters);
    // Instead of printing, a PDF is proposed.
    const QString suffix = pdf ? QStringLiteral("pdf") : QStringLiteral("txt");
    if (pdf) dialog.selectNameFilter(filters.value(1));
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(QDir::home().filePath(Q(LoadString(IDS_SAVELOG_NAME)) + QLatin1Char('.') + suffix));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& filter) {
        dialog.setDefaultSuffix(filter == filters.value(1) ? QStringLiteral("pdf") : QStringLiteral("txt"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().constFirst();
    const bool asPdf = path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
    std::string error;
    if (!SaveLog(S(path), asPdf, error))
        AppSeam::Current().MessageBox({Format(LoadString(IDS_SAVELOG_FAILED), S(path), error), LoadString(IDS_TITLE),
                                      MB_OK | MB_ICONEXCLAMATION});
}

bool CTheApp::SaveLog(const std::string& path, bool pdf, std::string& error) const {
    // QSaveFile: a file that cannot be written to its end is not left half written.
    QSaveFile file(Q(path));
    if (!file.open(QIODevice::WriteOnly)) {
        error = S(file.errorString());
        return false;
    }
    if (pdf) {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(kLogMargins, QPageLayout::Millimeter);
        GetLogView()->PrintSheet(&writer, m_pMainWnd->GetWindowText());
    } else {
        const std::string& text = GetLogView()->GetText();
        if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
            error = S(file.errorString());
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit()) {
        error = S(file.errorString());
        return false;
    }
    return true;
}

void CTheApp::OnAppAbout() {
    CAboutDlg about(m_pMainWnd);
    about.exec();
}

void CTheApp::OnSearch() { Registry().Search(); }
// "Suche abbrechen": the search stops by the stop flag of the frame's runs.
void CTheApp::OnBreakSearch() { GetMainFrame()->RequestStop(); }
int CTheApp::SearchIt(const std::string& path) { return Registry().SearchIt(path); }
bool CTheApp::AddMandate(const std::string& path) { return Registry().Add(path); }
void CTheApp::OnInsertMandate() { Registry().Insert(); }

void CTheApp::OnShowkeys() { GetMainFrame()->Overview().Show(); }

bool CTheApp::CheckVersionAndPassword(const std::string& path, std::string& outMandateName) {
    return GetMainFrame()->Session().CheckVersionAndPassword(path, outMandateName, AppSeam::Current());
}

CommandContext CTheApp::Context() {
    Mandate& mandate = GetMainFrame()->Session().Current();
    m_convertTable.LoadList(mandate.GetPath());
    return CommandContext{mandate, *GetLogView(), AppSeam::Current(), m_changeFlag, m_convertTable};
}

int CTheApp::Failures() const { return GetLogView() ? GetLogView()->Failures() : 0; }

void CTheApp::GetTaxArray(std::vector<std::string>& ar, int all) {
    Mandate& mandate = GetMainFrame()->Session().Current();
    m_convertTable.LoadList(mandate.GetPath());
    PendraUiBridge ui(AppSeam::Current());
    ::GetTaxArray(mandate, m_convertTable, ui, ar, all);
}
