// The mandate list: columns, marking, double click and the shared batch walk.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "app/CTheList.h"
#include "mandate/MandateStatus.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "res/Resource.h"
#include "app/CM_ListTax.h"
#include "tests/mandate/AppMandates.h"
#include "tests/mandate/HeldMandate.h"
#include "tests/app/ListFixture.h"

using apptest::MakeMandate;
using apptest::Named;

namespace {

class MandateList : public ListFixture {
protected:
    void ShowList() { Command(ID_LIST_VIEW); }
    // Runs a batch that records which mandate is open at each row.
    std::vector<std::string> RecordBatch() {
        std::vector<std::string> seen;
        const bool ran = Frame().RunBatch(
            [&](const std::string& dir) {
                EXPECT_EQ(app->GetMandate()->GetPath(), dir);
                EXPECT_EQ(app->GetMainFrame()->CurrentView(), 0) << "the log is shown while the batch runs";
                EXPECT_EQ(Frame().StatusPaneText(2), dir) << "status bar refreshed per row";
                seen.push_back(dir);
            });
        EXPECT_TRUE(ran);
        return seen;
    }
};

}  // namespace

// --- Columns -------------------------------------------------------------------

TEST_F(MandateList, ColumnsAreSizedFromTheirHeaders) {
    auto* tree = static_cast<QTreeWidget*>(List().Widget());
    const QFontMetrics metrics(tree->font());
    EXPECT_EQ(tree->headerItem()->text(0).toStdString(), LoadString(IDS_COLUMN_DIRECTORY));
    EXPECT_EQ(List().ColumnWidth(0), metrics.horizontalAdvance(tree->headerItem()->text(0)) + 15);
    EXPECT_EQ(List().ColumnWidth(1), metrics.horizontalAdvance(tree->headerItem()->text(1)) + 15);
    EXPECT_EQ(tree->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(MandateList, RowsFollowRegistrationOrder) {
    const auto dirs = Register(3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(List().GetItemText(i, 0), dirs[i]);
        EXPECT_EQ(List().GetItemText(i, 1), "Mandant " + std::to_string(i));
    }
}

// The stage is read at registration and again after each mandate of a run.
TEST_F(MandateList, TheStageColumnFollowsTheConversion) {
    apptest::MandateSpec spec = apptest::Named("Stufen AG");
    spec.keys = {{"A77", 0.077f, true, ""}};
    const std::string dir = apptest::MakeMandate(TempPath("stufen"), spec);
    ASSERT_TRUE(app->AddMandate(dir));
    EXPECT_EQ(static_cast<QTreeWidget*>(List().Widget())->headerItem()->text(2).toStdString(),
              LoadString(IDS_COLUMN_STAGE));
    EXPECT_EQ(List().GetItemText(0, 2), StageText(ConversionStage::kNotStarted));
    ShowList();
    List().SetSelected(0, true);
    const auto* counts = Frame().statusBar()->findChild<QLabel*>(QStringLiteral("listPane"));
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->text().toStdString(), Format(LoadString(IDS_LIST_COUNTS), 1, 1));
    seam.QueueAnswer(IDYES);
    Frame().OnNewKeys();
    EXPECT_EQ(List().GetItemText(0, 2), StageText(ConversionStage::kAccountsAdapted)) << Log();
}

TEST_F(MandateList, PathColumnFitsTypicalPathsElidesLongOnesInTheMiddleWithTheWholePathAsTooltip) {
    auto* tree = static_cast<QTreeWidget*>(List().Widget());
    const QFontMetrics metrics(tree->font());
    const int headerWidth = List().ColumnWidth(0);
    const std::string typical = "/daten/mandanten/treuhand-keller/gruppe10/mandant-0427-baeckerei";
    List().AddItem(0, 0, typical);
    EXPECT_GE(List().ColumnWidth(0), metrics.horizontalAdvance(QString::fromStdString(typical)));
    EXPECT_GT(List().ColumnWidth(0), headerWidth);
    EXPECT_EQ(tree->topLevelItem(0)->toolTip(0).toStdString(), typical);
    EXPECT_EQ(tree->textElideMode(), Qt::ElideMiddle);
    // A very long path does not push the name column out of sight.
    const std::string longPath = "/" + std::string(400, 'x');
    List().AddItem(1, 0, longPath);
    EXPECT_LT(List().ColumnWidth(0), metrics.horizontalAdvance(QString::fromStdString(longPath)));
    EXPECT_EQ(tree->topLevelItem(1)->toolTip(0).toStdString(), longPath);
}

// --- Marking ----------------------------------------------------------------

TEST_F(MandateList, MarkingRules) {
    ShowList();
    EXPECT_FALSE(Enabled(ID_MARKALL)) << "no rows";
    EXPECT_FALSE(Enabled(ID_MARKNONE));
    Register(3);
    List().SetSelected(0, true);
    List().SetSelected(2, true);
    EXPECT_TRUE(Enabled(ID_MARKALL));
    Command(ID_MARKALL);
    EXPECT_EQ(List().GetSelectedCount(), 3);
    EXPECT_FALSE(Enabled(ID_MARKALL));
    EXPECT_TRUE(Enabled(ID_MARKNONE));
    Command(ID_MARKNONE);
    EXPECT_EQ(List().GetSelectedCount(), 0);
    EXPECT_FALSE(Enabled(ID_MARKNONE));
}

TEST_F(MandateList, ListVisibleSelectedNeedsTheListShownAndARow) {
    Register(2);
    List().SetSelected(1, true);
    EXPECT_EQ(app->ListVisibleSelected(), 0) << "log shown";
    ShowList();
    EXPECT_EQ(app->ListVisibleSelected(), 1);
    List().SetSelected(1, false);
    EXPECT_EQ(app->ListVisibleSelected(), 0);
}

TEST_F(MandateList, ClearListEmptiesRowsAndPaths) {
    Register(2);
    Command(ID_MANDANT_CLEARLIST);
    EXPECT_EQ(List().GetItemCount(), 0);
    EXPECT_TRUE(app->Registry().MandatePaths().empty());
    EXPECT_EQ(static_cast<QTreeWidget*>(List().Widget())->columnCount(), 3) << "headings stay";
}

// --- Batch walk ---------------------------------------------------------------

TEST_F(MandateList, BatchOverRowsOneAndThreeNeverOpensRowTwo) {
    const auto dirs = Register(3);
    ShowList();
    List().SetSelected(0, true);
    List().SetSelected(2, true);
    EXPECT_EQ(RecordBatch(), (std::vector<std::string>{dirs[0], dirs[2]}));
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
    EXPECT_EQ(Frame().GetWindowText(), "MWST Konvertierung 2024");
    EXPECT_TRUE(List().IsSelected(0) && List().IsSelected(2)) << "the selection survives";
}

TEST_F(MandateList, BatchClosesTheMandateThatWasOpen) {
    const auto dirs = Register(2);
    Frame().OpenMandate(dirs[1]);
    ASSERT_TRUE(IsOpen());
    ShowList();
    List().SetSelected(0, true);
    EXPECT_EQ(RecordBatch(), std::vector<std::string>{dirs[0]});
    EXPECT_FALSE(IsOpen());
}

TEST_F(MandateList, NoBatchWithoutSelectionOrWithTheLogShown) {
    Register(1);
    int calls = 0;
    ShowList();
    EXPECT_FALSE(Frame().RunBatch([&](const std::string&) { ++calls; }));
    List().SetSelected(0, true);
    Command(ID_EDIT_VIEW);
    EXPECT_FALSE(Frame().RunBatch([&](const std::string&) { ++calls; }));
    EXPECT_EQ(calls, 0);
}

TEST_F(MandateList, CloseAfterEachLeavesNoMandateOpenBetweenRows) {
    const auto dirs = Register(2);
    ShowList();
    Command(ID_MARKALL);
    std::vector<int> openBefore;
    Frame().RunBatch(
        [&](const std::string&) { openBefore.push_back(IsOpen() ? 1 : 0); });
    EXPECT_EQ(openBefore, (std::vector<int>{1, 1}));
    EXPECT_FALSE(IsOpen());
}

using apptest::Held;

TEST_F(MandateList, IgnoreSkipsTheHeldMandateAndTheBatchGoesOn) {
    const auto dirs = Register(3);
    Held held(dirs[1]);
    ASSERT_TRUE(held.Ok());
    ShowList();
    Command(ID_MARKALL);
    seam.QueueAnswer(IDIGNORE);
    EXPECT_EQ(RecordBatch(), (std::vector<std::string>{dirs[0], dirs[2]}));
    // The conflict naming its holder, the mandate left out with its reason,
    // then the result of the run, which counts the held mandate as skipped.
    ASSERT_FALSE(seam.boxes.empty());
    const std::string conflict = seam.boxes.front().text;
    EXPECT_EQ(conflict.rfind(Format(LoadString(IDS_NOT_EXCLUSIVE), dirs[1]), 0), 0u);
    EXPECT_EQ(Log(), conflict + "\r\n\r\n" + "Mandant " + dirs[1] +
                         " ausgelassen: von einem anderen Programm gesperrt\r\n" +
                         ">Ergebnis für 3 Mandanten: 2 konvertiert, 0 unverändert, 1 übersprungen (1 gesperrt), 0 fehlgeschlagen\r\n\r\n");
    EXPECT_FALSE(IsOpen());
}

TEST_F(MandateList, AbortEndsTheBatch) {
    const auto dirs = Register(3);
    Held held(dirs[1]);
    ASSERT_TRUE(held.Ok());
    ShowList();
    Command(ID_MARKALL);
    seam.QueueAnswer(IDABORT);
    EXPECT_EQ(RecordBatch(), std::vector<std::string>{dirs[0]});
    EXPECT_EQ(Frame().m_abortFlag, 1);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
}

TEST_F(MandateList, AbortFlagIsClearedWhenABatchStarts) {
    const auto dirs = Register(1);
    Frame().m_abortFlag = 1;
    ShowList();
    List().SetSelected(0, true);
    EXPECT_EQ(RecordBatch(), std::vector<std::string>{dirs[0]});
}

// --- Double click ----------------------------------------------------------

TEST_F(MandateList, DoubleClickShowsTheOverviewAndClosesAfterwards) {
    const std::string dir = MakeMandate(TempPath("k"), apptest::MandateSpec{
        "Schluessel AG", 2300, std::nullopt, {{"VSN77", 0.077f, true, "2200"}}});
    ASSERT_TRUE(app->AddMandate(dir));
    ShowList();
    int rows = -1;
    std::string pathWhileShown;
    apptest::WhenModalShown<CM_ListTax>([&](CM_ListTax& dialog) {
        rows = dialog.LeftList()->topLevelItemCount();
        pathWhileShown = app->GetMandate()->GetPath();
        QTest::mouseClick(dialog.findChild<QPushButton*>("closeButton"), Qt::LeftButton);
    });
    auto* tree = static_cast<QTreeWidget*>(List().Widget());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
    const QRect rect = tree->visualItemRect(tree->topLevelItem(0));
    ASSERT_FALSE(rect.isEmpty());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(pathWhileShown, dir);
    EXPECT_FALSE(IsOpen());
}

TEST_F(MandateList, DoubleClickOnNoRowStillClosesTheOpenMandate) {
    const auto dirs = Register(1);
    Frame().OpenMandate(dirs[0]);
    ASSERT_TRUE(IsOpen());
    List().OnDblclk(-1);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(Frame().StatusPaneText(1), "Kein Mandant geöffnet");
}
