// The conversion log: read-only, appends exactly, clears, prints page by page.
#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocument>

#include "app/CTheView.h"
#include "res/Resource.h"
#include "tests/support/AppFixture.h"

namespace {

class LogView : public AppFixture {
protected:
    CTheView& View() { return *app->GetLogView(); }
    QPlainTextEdit* Edit() { return static_cast<QPlainTextEdit*>(View().Widget()); }
};

TEST_F(LogView, AppendsExactlyAndShowsPlainLineEnds) {
    Start();
    View().AppendLine(">Beginn \"Konti anpassen\" für Mandant /m\r\n");
    View().AppendLine("Konto 1000: VSN77 mit VSN81 ersetzt\r\n");
    View().AppendLine("teil");
    View().AppendLine("weise\r\n\r\n");
    EXPECT_EQ(View().GetText(),
              ">Beginn \"Konti anpassen\" für Mandant /m\r\nKonto 1000: VSN77 mit VSN81 ersetzt\r\nteilweise\r\n\r\n");
    // The widget takes the lines in chunks; the next chunk comes with the event loop.
    EXPECT_TRUE(QTest::qWaitFor([this] { return Edit()->toPlainText().size() > 60; }, 1000));
    EXPECT_EQ(Edit()->toPlainText().toStdString(),
              ">Beginn \"Konti anpassen\" für Mandant /m\nKonto 1000: VSN77 mit VSN81 ersetzt\nteilweise\n\n");
    EXPECT_EQ(View().Lines().size(), 5u);
}

TEST_F(LogView, AStreamOfLinesIsShownInAFewChunks) {
    Start();
    int repaints = 0;
    QObject::connect(Edit()->document(), &QTextDocument::contentsChanged, [&] { ++repaints; });
    for (int i = 0; i < 5000; ++i) View().AppendLine("Konto " + std::to_string(i) + ": VSN77 mit VSN81 ersetzt\r\n");
    EXPECT_LE(repaints, 2);
    EXPECT_TRUE(QTest::qWaitFor([this] { return Edit()->document()->blockCount() > 5000; }, 2000));
    EXPECT_EQ(Edit()->document()->blockCount(), 5001);
    EXPECT_EQ(View().Lines().size(), 5001u);
}

// The widget's document is the log's only copy: the text comes back exactly,
// with the lines still waiting for the next chunk and after it.
TEST_F(LogView, TheTextComesBackExactlyBeforeAndAfterTheChunkIsShown) {
    Start();
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        const std::string line = "Konto " + std::to_string(i) + ": VSN77 mit VSN81 ersetzt \xc3\xa4\r\n";
        View().AppendLine(line);
        expected += line;
    }
    View().AppendLine("\r\n");
    expected += "\r\n";
    EXPECT_EQ(View().GetText(), expected);
    View().Flush();
    EXPECT_EQ(View().GetText(), expected);
    View().AppendLine("ohne Zeilenende");
    EXPECT_EQ(View().GetText(), expected + "ohne Zeilenende");
}

TEST_F(LogView, UserCannotType) {
    Start();
    View().AppendLine("a\r\n");
    EXPECT_TRUE(Edit()->isReadOnly());
    Edit()->setFocus();
    QTest::keyClicks(Edit(), "xyz");
    EXPECT_EQ(View().GetText(), "a\r\n");
    EXPECT_EQ(Edit()->toPlainText(), "a\n");
}

TEST_F(LogView, ClearEmptiesWithoutAQuestion) {
    Start();
    View().AppendLine("eins\r\n");
    Command(ID_MANDANT_CLEARLOG);
    EXPECT_EQ(View().GetText(), "");
    EXPECT_TRUE(Edit()->toPlainText().isEmpty());
    Frame().close();
    EXPECT_TRUE(seam.boxes.empty());
}

TEST_F(LogView, WaitCursorWhileASearchRuns) {
    Start();
    app->SetSearchRunning(true);
    EXPECT_EQ(Edit()->viewport()->cursor().shape(), Qt::WaitCursor);
    app->SetSearchRunning(false);
    EXPECT_NE(Edit()->viewport()->cursor().shape(), Qt::WaitCursor);
}

TEST(LogPrinting, LinesPerPageFollowTheHeaderBand) {
    EXPECT_EQ(LinesPerPage(1000, 20), 48);  // (1000 - 40) / 20
    EXPECT_EQ(LinesPerPage(1019, 20), 48);
    EXPECT_EQ(LinesPerPage(1020, 20), 49);
    // A page smaller than its header still prints one line, so printing ends.
    EXPECT_EQ(LinesPerPage(30, 20), 1);
}

// Rows as wide as ten characters stand in for the page: what is measured is
// the code's own wrapping, not a font.
TEST(LogPrinting, LongLinesWrapOntoIndentedRowsAndLoseNothing) {
    const auto tenWide = [](const QString& row) { return row.size() <= 10; };
    const struct {
        std::string line;
        std::vector<std::string> rows;
    } cases[] = {
        {"kurz", {"kurz"}},
        {"", {""}},
        {"eins zwei drei vier", {"eins zwei ", "    drei ", "    vier"}},
        {"/daten/mandanten/baeckerei", {"/daten/man", "    danten", "    /baeck", "    erei"}},
        {"äöüäöüäöüäöü", {"äöüäöüäöüä", "    öü"}},  // characters, not bytes
    };
    for (const auto& c : cases) {
        const std::vector<std::string> rows = PrintedRows(c.line, tenWide);
        EXPECT_EQ(rows, c.rows) << c.line;
        std::string joined;
        for (std::size_t i = 0; i < rows.size(); ++i) joined += i == 0 ? rows[i] : rows[i].substr(4);
        EXPECT_EQ(joined, c.line);
    }
}

TEST(LogPrinting, WrappedRowsFillThePagesUnderTheirHeader) {
    const auto tenWide = [](const QString& row) { return row.size() <= 10; };
    const auto pages = PrintedPages({"eins zwei drei vier", "fünf"}, "Seite %d.", 2, tenWide);
    const std::vector<std::vector<std::string>> expected = {{"Seite 1.", "eins zwei ", "    drei "},
                                                            {"Seite 2.", "    vier", "fünf"}};
    EXPECT_EQ(pages, expected);
}

// Records what the printout draws, page by page.
class RecordingPrinter : public QPdfWriter {
public:
    explicit RecordingPrinter(const QString& path) : QPdfWriter(path) { setResolution(72); }
    bool newPage() override {
        ++pages;
        return QPdfWriter::newPage();
    }
    int pages = 1;
};

TEST_F(LogView, EmptyLogPrintsOnePage) {
    Start();
    RecordingPrinter printer(QString::fromStdString(TempPath("empty.pdf")));
    View().PrintSheet(&printer, "MWST Konvertierung 2024");
    EXPECT_EQ(printer.pages, 1);
    EXPECT_GT(QFile(QString::fromStdString(TempPath("empty.pdf"))).size(), 0);
}

TEST_F(LogView, PageBreaksFallWhereTheRuleSays) {
    Start();
    RecordingPrinter probe(QString::fromStdString(TempPath("probe.pdf")));
    int perPage = 0;
    {
        QPainter painter(&probe);
        perPage = LinesPerPage(probe.height(), painter.fontMetrics().height());
    }
    ASSERT_GT(perPage, 1);
    // Exactly one page full: one page; one line more: a second page.
    for (int i = 0; i < perPage - 1; ++i) View().AppendLine("Zeile " + std::to_string(i) + "\r\n");
    View().AppendLine("letzte");
    ASSERT_EQ(View().Lines().size(), static_cast<std::size_t>(perPage));
    RecordingPrinter full(QString::fromStdString(TempPath("full.pdf")));
    View().PrintSheet(&full, "t");
    EXPECT_EQ(full.pages, 1);
    View().AppendLine("\r\nnoch eine");
    RecordingPrinter more(QString::fromStdString(TempPath("more.pdf")));
    View().PrintSheet(&more, "t");
    EXPECT_EQ(more.pages, 2);
}

TEST_F(LogView, PrintJobIsNamedAfterTheWindowTitle) {
    Start();
    QPdfWriter pdf(QString::fromStdString(TempPath("named.pdf")));
    View().PrintSheet(&pdf, "MWST Konvertierung 2024 - Muster AG");
    EXPECT_EQ(pdf.title(), "MWST Konvertierung 2024 - Muster AG");
}

}  // namespace
