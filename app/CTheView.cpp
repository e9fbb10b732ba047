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
#include "core/Strings.h"
#include "res/Resource.h"

namespace {

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
    NotifyListeners(line);
    ShowLine(line);
}

void CTheView::NotifyListeners(const std::string& line) {
    for (const auto& listener : listeners_) listener(line);
}

void CTheView::ShowLine(const std::string& line) {
    if (edit_) {
        pending_ += line;
        // A line after a pause shows at once; a stream of lines in chunks.
        if (!sinceFlush_.isValid() || sinceFlush_.hasExpired(kFlushIntervalMs))
            Flush();
        else if (!flushTimer_.isActive())
            flushTimer_.start();
    }
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
    dryRun_ = false;
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

namespace {

// How many characters of `text` from `start` fit one row: at least one, so
// that every row takes something and the wrapping ends.
qsizetype FittingLength(const QString& text, qsizetype start, const QString& indent,
                        const std::function<bool(const QString&)>& fits) {
    qsizetype low = 1, high = text.size() - start;
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (fits(indent + text.mid(start, mid)))
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

}  // namespace

std::vector<std::string> PrintedRows(const std::string& line, const std::function<bool(const QString&)>& fits) {
    const QString text = Q(line);
    if (fits(text)) return {line};
    const QString indent = QString::fromLatin1(CTheView::kContinuationIndent);
    std::vector<std::string> rows;
    for (qsizetype start = 0; start < text.size();) {
        const QString lead = rows.empty() ? QString() : indent;
        qsizetype length = FittingLength(text, start, lead, fits);
        // Break after a blank where one lets the row fit; a row's blanks stay on it.
        if (start + length < text.size()) {
            const qsizetype blank = text.lastIndexOf(QLatin1Char(' '), start + length - 1);
            if (blank >= start) length = blank - start + 1;
        }
        rows.push_back(S(lead + text.mid(start, length)));
        start += length;
    }
    return rows;
}

std::vector<std::vector<std::string>> PrintedPages(const std::vector<std::string>& lines, const std::string& header,
                                                   int perPage, const std::function<bool(const QString&)>& fits) {
    std::vector<std::vector<std::string>> pages;
    int onPage = perPage;
    for (const std::string& line : lines) {
        for (std::string& row : PrintedRows(line, fits)) {
            if (onPage == perPage) {
                pages.push_back({Format(header, static_cast<int>(pages.size()) + 1)});
                onPage = 0;
            }
            pages.back().push_back(std::move(row));
            ++onPage;
        }
    }
    return pages;
}

void CTheView::PrintSheet(QPagedPaintDevice* device, const std::string& docName) const {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (auto* printer = dynamic_cast<QPrinter*>(device)) printer->setDocName(Q(docName));
    if (auto* pdf = dynamic_cast<QPdfWriter*>(device)) pdf->setTitle(Q(docName));
    QPainter painter(device);
    const int width = device->width();
    const QFontMetrics metrics = painter.fontMetrics();
    const int h = metrics.height();
    const auto fits = [&metrics, width](const QString& row) { return metrics.horizontalAdvance(row) <= width; };
    const std::string header = LoadString(dryRun_ ? IDS_PRINT_HEADER_DRY_RUN : IDS_PRINT_HEADER);
    const std::vector<std::vector<std::string>> pages =
        PrintedPages(Lines(), header, LinesPerPage(device->height(), h), fits);
    for (std::size_t page = 0; page < pages.size(); ++page) {
        if (page > 0) device->newPage();
        painter.drawText(QRect(0, 0, width, 2 * h), Qt::AlignHCenter | Qt::AlignVCenter, Q(pages[page][0]));
        for (std::size_t row = 1; row < pages[page].size(); ++row)
            painter.drawText(QRect(0, 2 * h + static_cast<int>(row - 1) * h, width, h), Qt::AlignLeft | Qt::AlignTop,
                             Q(pages[page][row]));
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
