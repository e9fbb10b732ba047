#pragma once
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "framework/CView.h"
#include "core/LogSink.h"

class QPagedPaintDevice;
class QPlainTextEdit;

// The conversion log (view 0) and the window's log sink: a read-only text
// that the commands append lines to. Lines are separated by "\r\n" as the log
// texts carry them; the widget shows them with plain line ends. The widget's
// document is the only copy of the log (a long batch must not hold it twice):
// GetText gives the text back with its "\r\n".
// The widget takes the lines in chunks, at most every kFlushIntervalMs: a
// command writing thousands of lines does not repaint for each of them.
class CTheView : public CView, public LogSink {
public:
    // Continuation rows of a printed line that is wider than the page.
    static constexpr const char* kContinuationIndent = "    ";

    CTheView();
    ~CTheView() override;

    QWidget* Widget() override;
    void OnInitialUpdate() override;

    static constexpr int kFlushIntervalMs = 100;

    void AppendLine(const std::string& line);
    // The two halves of AppendLine, for lines written on another thread:
    // the listeners hear the line at once, there; the widget shows it later.
    void NotifyListeners(const std::string& line);
    void ShowLine(const std::string& line);
    void Line(const std::string& line) override { AppendLine(line); }
    void Clear();
    // A run of commands begins: its first line names its date and time and
    // whether it is a dry run; the header of each printed page names the run
    // that page begins in.
    void BeginRun(bool dryRun);
    // Shows the lines appended since the last chunk now.
    void Flush();
    // Called with every line as it is appended, before any chunk is shown,
    // on the thread that writes it.
    void AddLineListener(std::function<void(const std::string&)> listener);
    std::string GetText() const;
    // The log's lines, as an edit control counts them (an empty log has one).
    std::vector<std::string> Lines() const;

    // Prints the whole log on `device`; `docName` names the print job.
    void PrintSheet(QPagedPaintDevice* device, const std::string& docName) const;
    // Shows the wait cursor while a search runs.
    void OnSetCursor(bool searchRunning);

private:
    QPointer<QPlainTextEdit> edit_;
    struct Run {
        std::size_t line;  // the run's first line
        std::string header;
    };
    std::vector<Run> runs_;
    std::string pending_;  // appended, not yet shown
    QTimer flushTimer_;
    QElapsedTimer sinceFlush_;
    std::vector<std::function<void(const std::string&)>> listeners_;
};

// The pages of a printout: how many log lines fit a page of height
// `pageHeight` with lines of `lineHeight` below a header band of two lines.
int LinesPerPage(int pageHeight, int lineHeight);
// A log line as printed: one row when it fits (`fits` measures a row on the
// page), else broken after the last blank that lets a row fit, or within a
// word that is wider than the page, into rows that each fit; every row after
// the first is indented by kContinuationIndent. Nothing of the line is lost.
std::vector<std::string> PrintedRows(const std::string& line, const std::function<bool(const QString&)>& fits);
// The printout's pages: each a header row (`header` with the page number),
// then at most `perPage` rows of the lines. Empty lines at the end start no page.
std::vector<std::vector<std::string>> PrintedPages(const std::vector<std::string>& lines, const std::string& header,
                                                   int perPage, const std::function<bool(const QString&)>& fits);
// The same with each page's header from `header`(page number, index of the
// line the page's first row belongs to).
std::vector<std::vector<std::string>> PrintedPages(const std::vector<std::string>& lines,
                                                   const std::function<std::string(int, std::size_t)>& header,
                                                   int perPage, const std::function<bool(const QString&)>& fits);
