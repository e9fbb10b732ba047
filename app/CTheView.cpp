#include "app/CTheView.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QScrollBar>

#include "app/framework/CFrameWnd.h"
#include "base/Format.h"

namespace {
const char* const kPageHeader = "Konvertierungslog Seite %d.";

// Log lines use "\r\n"; the widget shows "\n".
QString ForDisplay(const std::string& text) {
    QString shown = Q(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}
}  // namespace

CTheView::CTheView() : edit_(new QPlainTextEdit) {
    edit_->setObjectName(QStringLiteral("logView"));
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit_->setUndoRedoEnabled(false);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushIntervalMs);
    QObject::connect(&flushTimer_, &QTimer::timeout, [this] { Flush(); });
}

CTheView::~CTheView() { delete edit_.data(); }

QWidget* CTheView::Widget() { return edit_; }

void CTheView::OnInitialUpdate() {
    edit_->setReadOnly(true);
    // The display font: a plain sans-serif face, 12 pixels high.
    static const QFont font = [] {
        QFont f(QStringLiteral("Sans Serif"));
        f.setStyleHint(QFont::SansSerif);
        f.setPixelSize(12);
        return f;
    }();
    edit_->setFont(font);
}

void CTheView::AddLineListener(std::function<void(const std::string&)> listener) {
    listeners_.push_back(std::move(listener));
}

void CTheView::AppendLine(const std::string& line) {
    for (const auto& listener : listeners_) listener(line);
    if (edit_) {
        pending_ += line;
        // A line after a pause shows at once; a stream of lines in chunks.
        if (!sinceFlush_.isValid() || sinceFlush_.hasExpired(kFlushIntervalMs))
            Flush();
        else if (!flushTimer_.isActive())
            flushTimer_.start();
    }
    if (afterLine_) afterLine_();
}

void CTheView::Flush() {
    flushTimer_.stop();
    sinceFlush_.start();
    if (!edit_ || pending_.empty()) return;
    // The document holds the whole text as shown; append at the end and scroll there.
    QTextCursor cursor(edit_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ForDisplay(pending_));
    pending_.clear();
    edit_->moveCursor(QTextCursor::End);
    edit_->ensureCursorVisible();
}

std::string CTheView::GetText() const {
    std::string text;
    if (edit_) {
        const std::string shown = S(edit_->document()->toPlainText());
        text.reserve(shown.size() + shown.size() / 16 + pending_.size());
        // Back to the log's own line ends.
        for (const char c : shown) {
            if (c == '\n') text += '\r';
            text += c;
        }
    }
    return text + pending_;
}

void CTheView::Clear() {
    pending_.clear();
    flushTimer_.stop();
    if (edit_) edit_->clear();
}

std::vector<std::string> CTheView::Lines() const {
    const std::string text = GetText();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

int LinesPerPage(int pageHeight, int lineHeight) {
    if (lineHeight <= 0) return 1;
    // A page too small for its header still takes one line, so printing ends.
    return std::max(1, (pageHeight - 2 * lineHeight) / lineHeight);
}

std::string PrintedLine(const std::string& line) {
    const QString text = Q(line);
    return S(text.left(CTheView::kPrintedLineLength));
}

void CTheView::PrintSheet(QPagedPaintDevice* device, const std::string& docName) const {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (auto* printer = dynamic_cast<QPrinter*>(device)) printer->setDocName(Q(docName));
    if (auto* pdf = dynamic_cast<QPdfWriter*>(device)) pdf->setTitle(Q(docName));
    QPainter painter(device);
    const int width = device->width();
    const int height = device->height();
    const int h = painter.fontMetrics().height();
    const int perPage = LinesPerPage(height, h);
    const std::vector<std::string> lines = Lines();
    int page = 1;
    int onPage = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (onPage == perPage) {
            device->newPage();
            ++page;
            onPage = 0;
        }
        if (onPage == 0) {
            painter.drawText(QRect(0, 0, width, 2 * h), Qt::AlignHCenter | Qt::AlignVCenter,
                             Q(Format(kPageHeader, page)));
        }
        const int top = 2 * h + onPage * h;
        painter.drawText(QRect(0, top, width, h), Qt::AlignLeft | Qt::AlignTop,
                         Q(PrintedLine(lines[i])));
        ++onPage;
    }
    painter.end();
    QGuiApplication::restoreOverrideCursor();
}

void CTheView::OnSetCursor(bool searchRunning) {
    if (!edit_) return;
    if (searchRunning)
        edit_->viewport()->setCursor(Qt::WaitCursor);
    else
        edit_->viewport()->unsetCursor();
}
