#include "app/HelpWindow.h"

#include <QDialog>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "framework/CFrameWnd.h"
#include "core/Strings.h"
#include "res/Resource.h"

const char* HelpWindow::DefaultTopic() {
    return CurrentLanguage() == Language::French ? "qrc:/help/fr/index.html"
                                                 : "qrc:/help/de/index.html";
}

void HelpWindow::ShowDefaultTopic(QWidget* owner) {
    // One help window, raised again when it is open already.
    static QPointer<QDialog> window;
    if (!window) {
        window = new QDialog(owner);
        window->setObjectName(QStringLiteral("helpWindow"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(Q(LoadString(IDS_HELP_CAPTION)));
        auto* browser = new QTextBrowser(window);
        browser->setObjectName(QStringLiteral("helpBrowser"));
        browser->setOpenExternalLinks(false);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser);
        window->resize(720, 560);
    }
    window->findChild<QTextBrowser*>()->setSource(QUrl(QString::fromLatin1(DefaultTopic())));
    window->show();
    window->raise();
}
