#include "app/CAboutDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sodium.h>
#include <zip.h>
#include <zlib.h>

#include "framework/CFrameWnd.h"
#include "framework/ResourceIcon.h"
#include "base/InstallLayout.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "res/Resource.h"

namespace {
constexpr Qt::KeyboardModifiers kSecretModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(Q(LoadString(IDS_DLG_ABOUT_CAPTION)));
    setModal(true);
    setFixedSize(DialogUnits(0, 0, 217, 81).size());

    icon_ = new QLabel(this);
    icon_->setObjectName(QStringLiteral("icon1033"));
    icon_->setGeometry(DialogUnits(10, 5, 20, 20));
    icon_->setPixmap(ResourceIcon(QStringLiteral("app.xpm")).pixmap(icon_->size(), devicePixelRatioF()));
    // Mouse clicks on the icon reach the dialog, which decides on the secret.
    icon_->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* title = new QLabel(Q(LoadString(IDS_DLG_ABOUT_TITLE)), this);
    title->setObjectName(QStringLiteral("title"));
    title->setGeometry(DialogUnits(50, 10, 119, 8));
    auto* version = new QLabel(Q(Format(LoadString(IDS_ABOUT_VERSION), MwstPackageVersion())), this);
    version->setObjectName(QStringLiteral("version"));
    version->setGeometry(DialogUnits(50, 22, 119, 8));

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setGeometry(DialogUnits(5, 50, 205, 1));

    auto* licences = new QPushButton(Q(LoadString(IDS_LICENCES)), this);
    licences->setObjectName(QStringLiteral("licences"));
    licences->setGeometry(DialogUnits(100, 60, 52, 14));
    connect(licences, &QPushButton::clicked, this, &CAboutDlg::ShowLicences);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(DialogUnits(160, 60, 52, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() { OnDestroy(); }

QRect CAboutDlg::DialogUnits(int x, int y, int w, int h) const {
    const QFontMetrics metrics(font());
    const int baseX = metrics.averageCharWidth();
    const int baseY = metrics.height();
    return QRect(x * baseX / 4, y * baseY / 8, w * baseX / 4, h * baseY / 8);
}

QRect CAboutDlg::IconRect() const { return icon_->geometry(); }

void CAboutDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OnLButtonDblClk(event->modifiers(), event->position().toPoint());
    QDialog::mouseDoubleClickEvent(event);
}

void CAboutDlg::OnLButtonDblClk(Qt::KeyboardModifiers modifiers, const QPoint& point) {
    if (IconRect().contains(point) && (modifiers & kSecretModifiers) == kSecretModifiers) DoSecret();
}

void CAboutDlg::DoSecret() {
    if (m_animating) return;
    m_animating = 1;
    const int h = height();
    m_picture = QPixmap(h, h);
    m_picture.fill(Qt::white);
    QPainter painter(&m_picture);
    painter.setPen(Qt::black);
    painter.drawLine(0, 0, h, h);
    painter.end();
    Drawit();
    timerId_ = startTimer(kTimerInterval);
}

void CAboutDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_) OnTimer();
}

void CAboutDlg::OnTimer() {
    const int h = height();
    m_position = h > 0 ? (m_position + kStep) % h : 0;
    Drawit();
}

void CAboutDlg::Drawit() { update(); }

void CAboutDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (!m_animating) return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture, 0, 0, m_position, m_position);
    painter.setPen(Qt::black);
    painter.drawLine(0, m_position, 0, height() - m_position);
}

void CAboutDlg::done(int result) {
    OnDestroy();
    QDialog::done(result);
}

void CAboutDlg::OnDestroy() {
    if (timerId_) {
        killTimer(timerId_);
        timerId_ = 0;
    }
}

void CAboutDlg::ShowLicences() {
    QDialog page(this);
    page.setObjectName(QStringLiteral("licencePage"));
    page.setWindowTitle(Q(LoadString(IDS_LICENCES_TITLE)));
    auto* text = new QTextBrowser(&page);
    text->setHtml(LicenceText());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &page);
    connect(buttons, &QDialogButtonBox::accepted, &page, &QDialog::accept);
    auto* layout = new QVBoxLayout(&page);
    layout->addWidget(text);
    layout->addWidget(buttons);
    page.resize(520, 420);
    page.exec();
}

namespace {

// PQlibVersion gives 150005 for 15.5 (and 90624 for 9.6.24, before 10).
QString LibpqVersion() {
    const int version = PQlibVersion();
    if (version >= 100000) return QStringLiteral("%1.%2").arg(version / 10000).arg(version % 10000);
    return QStringLiteral("%1.%2.%3").arg(version / 10000).arg(version / 100 % 100).arg(version % 100);
}

}  // namespace

QString LicenceText() {
    return QStringLiteral(
               "<h3>%1 %2</h3>"
               "<p>%3</p><ul>"
               "<li>Qt %4 — GNU Lesser General Public License v3 (LGPL-3.0)</li>"
               "<li>SQLite %5 — %6</li>"
               "<li>libsodium %7 — ISC License</li>"
               "<li>libzip %8 — BSD 3-Clause License</li>"
               "<li>pugixml — MIT License</li>"
               "<li>libpq %10 — PostgreSQL License</li>"
               "<li>zlib %11 — zlib License</li>"
               "</ul><p>%9</p>")
        .arg(Q(LoadString(IDS_TITLE)).toHtmlEscaped(), QString::fromLatin1(MwstPackageVersion()),
             Q(LoadString(IDS_LICENCES_INTRO)).toHtmlEscaped(), QString::fromLatin1(qVersion()),
             QString::fromLatin1(sqlite3_libversion()), Q(LoadString(IDS_LICENCE_PUBLIC_DOMAIN)).toHtmlEscaped(),
             QString::fromLatin1(sodium_version_string()), QString::fromLatin1(zip_libzip_version()),
             Q(LoadString(IDS_LICENCES_DEBIAN)).toHtmlEscaped())
        .arg(LibpqVersion(), QString::fromLatin1(zlibVersion()));
}
