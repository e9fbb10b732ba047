#include "app/CTheView.h"

#include <QDateTime>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QScrollBar>

#include "framework/CFrameWnd.h"
#include "framework/WorkThread.h"
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

void CTheView::BeginRun(bool dryRun) {
    const std::string when = S(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    runs_.push_back({Lines().size() - 1, Format(LoadString(dryRun ? IDS_PRINT_DRY_RUN : IDS_PRINT_RUN), when)});
    const std::string& text = GetText();
    // The run's line starts a line of its own.
    AppendLine((text.empty() || text.ends_with("\r\n") ? "" : "\r\n") +
               Format(LoadString(dryRun ? IDS_LOG_DRY_RUN_STARTED : IDS_LOG_RUN_STARTED), when));
    if (!text.empty() && !text.ends_with("\r\n")) ++runs_.back().line;
}

void CTheView::Clear() {
    runs_.clear();
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
    return PrintedPages(
        lines, [&header](int page, std::size_t) { return Format(header, page); }, perPage, fits);
}

std::vector<std::vector<std::string>> PrintedPages(const std::vector<std::string>& lines,
                                                   const std::function<std::string(int, std::size_t)>& header,
                                                   int perPage, const std::function<bool(const QString&)>& fits) {
    std::vector<std::vector<std::string>> pages;
    // The empty lines that end the log (after a command's end line) would start a blank page.
    std::size_t count = lines.size();
    while (count > 0 && lines[count - 1].empty()) --count;
    int onPage = perPage;
    for (std::size_t index = 0; index < count; ++index) {
        for (std::string& row : PrintedRows(lines[index], fits)) {
            if (onPage == perPage) {
                pages.push_back({header(static_cast<int>(pages.size()) + 1, index)});
                onPage = 0;
            }
            pages.back().push_back(std::move(row));
            ++onPage;
        }
    }
    // An empty log prints its first page with the header alone.
    if (pages.empty()) pages.push_back({header(1, 0)});
    return pages;
}

void CTheView::PrintSheet(QPagedPaintDevice* device, const std::string& docName) const {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (auto* printer = dynamic_cast<QPrinter*>(device)) printer->setDocName(Q(docName));
    auto* pdf = dynamic_cast<QPdfWriter*>(device);
    if (pdf) pdf->setTitle(Q(docName));
    // What is printed is taken here, on the window's thread; the pages are
    // drawn from these copies.
    const std::vector<std::string> lines = Lines();
    const std::vector<Run> runs = runs_;
    const std::string header = LoadString(IDS_PRINT_HEADER);
    const std::string printed = Format(LoadString(IDS_PRINT_PRINTED),
                                       S(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
    const auto draw = [&] {
        QPainter painter(device);
        const int width = device->width();
        const QFontMetrics metrics = painter.fontMetrics();
        const int h = metrics.height();
        const auto fits = [&metrics, width](const QString& row) { return metrics.horizontalAdvance(row) <= width; };
        // Each page names the run it begins in (a dry run as such), or when
        // it was printed where no run began yet.
        const auto headerOf = [&](int page, std::size_t line) {
            std::string run = printed;
            for (const Run& r : runs)
                if (r.line <= line) run = r.header;
            return Format(header, page) + "   " + run;
        };
        const std::vector<std::vector<std::string>> pages =
            PrintedPages(lines, headerOf, LinesPerPage(device->height(), h), fits);
        for (std::size_t page = 0; page < pages.size(); ++page) {
            if (page > 0) device->newPage();
            painter.drawText(QRect(0, 0, width, 2 * h), Qt::AlignHCenter | Qt::AlignVCenter, Q(pages[page][0]));
            for (std::size_t row = 1; row < pages[page].size(); ++row)
                painter.drawText(QRect(0, 2 * h + static_cast<int>(row - 1) * h, width, h),
                                 Qt::AlignLeft | Qt::AlignTop, Q(pages[page][row]));
        }
        painter.end();
    };
    // A PDF of hundreds of pages takes seconds: it is written beside the
    // window, which goes on repainting. A printer's job stays on the
    // window's thread, as its driver may ask for it.
    if (pdf)
        workthread::Run(draw);
    else
        draw();
    QGuiApplication::restoreOverrideCursor();
}

void CTheView::OnSetCursor(bool searchRunning) {
    if (!edit_) return;
    if (searchRunning)
        edit_->viewport()->setCursor(Qt::WaitCursor);
    else
        edit_->viewport()->unsetCursor();
}
