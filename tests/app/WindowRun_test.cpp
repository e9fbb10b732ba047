// Runs over the list's mandates keep the window alive: progress, stop, the
// commands off meanwhile, the result at the end.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/RunProgress.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "pendra/Buch.h"
#include "pendra/Konto.h"
#include "pendra/StorageEngine.h"
#include "res/Resource.h"
#include "tests/mandate/AppMandates.h"
#include "tests/mandate/HeldMandate.h"
#include "tests/app/ListFixture.h"

using apptest::Held;
using apptest::MakeMandate;
using apptest::Named;

namespace {

class WindowRun : public ListFixture {
protected:
    RunProgress& Progress() { return Frame().Progress(); }
    void SelectAllShown() {
        Command(ID_LIST_VIEW);
        Command(ID_MARKALL);
    }
};

}  // namespace

TEST_F(WindowRun, FiftyMandatesKeepATimerTickingAndReportEachStep) {
    const auto dirs = Register(50);
    SelectAllShown();
    int ticks = 0;
    QTimer timer;
    timer.setInterval(50);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    std::vector<std::string> steps;
    std::vector<int> values;
    int ticksDuringRun = 0;
    qint64 runTime = 0;
    QElapsedTimer clock;
    clock.start();
    timer.start();
    Frame().RunBatch([&](const std::string&) {
        steps.push_back(Progress().Label()->text().toStdString());
        values.push_back(Progress().Bar()->value() * 50 / Progress().Bar()->maximum());
        EXPECT_TRUE(Progress().Bar()->isVisible());
        EXPECT_TRUE(Progress().StopButton()->isVisible());
        QThread::msleep(10);
        // Counted here: the view switch after the run pumps too.
        ticksDuringRun = ticks;
        runTime = clock.elapsed();
    });
    ASSERT_EQ(steps.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(steps[i], "Mandant " + std::to_string(i + 1) + " von 50");
        EXPECT_EQ(values[i], i);
    }
    EXPECT_GE(runTime, 500);
    // Half the ticks at least: the timer may miss a beat, never stop.
    EXPECT_GE(ticksDuringRun, runTime / 100) << "ran " << runTime << " ms";
    EXPECT_FALSE(Progress().Bar()->isVisible()) << "the progress goes with the run";
    EXPECT_FALSE(Progress().StopButton()->isVisible());
}

TEST_F(WindowRun, TheLogAndTheStatusBarFollowTheRun) {
    const auto dirs = Register(6);
    SelectAllShown();
    auto* edit = static_cast<QPlainTextEdit*>(app->GetLogView()->Widget());
    int index = 0;
    bool firstLineShownLater = false;
    Frame().RunBatch([&](const std::string& dir) {
        EXPECT_EQ(Frame().StatusPaneText(2), dir);
        EXPECT_EQ(Frame().StatusPaneText(1), "Mandant " + std::to_string(index));
        app->GetLogView()->AppendLine("Zeile " + std::to_string(index) + "\r\n");
        if (index == 5) firstLineShownLater = edit->toPlainText().contains(QStringLiteral("Zeile 0"));
        ++index;
        QThread::msleep(60);
    });
    EXPECT_TRUE(firstLineShownLater) << "the log shows lines while the run goes";
}

TEST_F(WindowRun, CommandsAreOffAndTheWaitCursorStaysWhileTheRunGoes) {
    Register(2);
    SelectAllShown();
    std::vector<std::string> problems;
    Frame().RunBatch([&](const std::string&) {
        EXPECT_TRUE(Frame().RunGoing());
        for (unsigned id : {ID_MAN_OPEN, ID_MAN_CLOSE, ID_SEARCH, ID_MAN_INSERT, ID_MANDANT_CLEARLIST,
                            ID_MANDANT_CLEARLOG, ID_LIST_VIEW, ID_SHOWKEYS, ID_NEW_KEYS, ID_FORM2024})
            EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_FALSE(Frame().CommandAction(ID_NEW_KEYS)->isEnabled()) << "the menu shows it off";
        for (unsigned id : std::initializer_list<unsigned>{ID_MANDANT_PRINTLOG, ID_MANDANT_SAVELOG, ID_APP_EXIT, ID_APP_ABOUT, ID_HILFETHEMEN})
            EXPECT_TRUE(Enabled(id)) << id;
        EXPECT_EQ(Frame().cursor().shape(), Qt::WaitCursor);
        EXPECT_EQ(app->GetLogView()->Widget()->findChild<QWidget*>(QStringLiteral("qt_scrollarea_viewport"))
                      ->cursor()
                      .shape(),
                  Qt::WaitCursor);
        // Boxes of the run and the stop button keep the arrow.
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(Progress().StopButton()->cursor().shape(), Qt::ArrowCursor);
    });
    EXPECT_FALSE(Frame().RunGoing());
    EXPECT_TRUE(Enabled(ID_MAN_OPEN));
    EXPECT_TRUE(Enabled(ID_EDIT_VIEW));
    EXPECT_NE(Frame().cursor().shape(), Qt::WaitCursor);
}

TEST_F(WindowRun, StopEndsTheRunAfterTheCurrentMandateAndSaysWhere) {
    const auto dirs = Register(5);
    SelectAllShown();
    std::vector<std::string> seen;
    Frame().RunBatch([&](const std::string& dir) {
        seen.push_back(dir);
        if (seen.size() == 2) QTest::mouseClick(Progress().StopButton(), Qt::LeftButton);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{dirs[0], dirs[1]}));
    const std::string stopped = "Lauf angehalten nach Mandant 2 von 5: 2 konvertiert, 0 unverändert, 0 übersprungen, "
                                "0 fehlgeschlagen";
    EXPECT_NE(Log().find(">" + stopped + "; nicht mehr bearbeitet ab " + dirs[2] + "\r\n"), std::string::npos)
        << Log();
    EXPECT_EQ(Progress().Result()->text().toStdString(), stopped + ". Einzelheiten im Log (Ansichten › Log Datei)");
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
    EXPECT_EQ(Frame().m_abortFlag, 0);
}

TEST_F(WindowRun, EscStopsTheRunToo) {
    const auto dirs = Register(3);
    SelectAllShown();
    QApplication::setActiveWindow(&Frame());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
    std::vector<std::string> seen;
    Frame().RunBatch([&](const std::string& dir) {
        seen.push_back(dir);
        if (seen.size() == 1) QTest::keyClick(&Frame(), Qt::Key_Escape);
    });
    EXPECT_EQ(seen, std::vector<std::string>{dirs[0]});
    EXPECT_NE(Log().find(">Lauf angehalten nach Mandant 1 von 3: "), std::string::npos) << Log();
    EXPECT_FALSE(IsOpen());
}

TEST_F(WindowRun, AbortInTheExclusiveAccessBoxSaysTheRunStopped) {
    const auto dirs = Register(3);
    Held held(dirs[1]);
    ASSERT_TRUE(held.Ok());
    SelectAllShown();
    seam.QueueAnswer(IDABORT);
    std::vector<std::string> seen;
    Frame().RunBatch([&](const std::string& dir) { seen.push_back(dir); });
    EXPECT_EQ(seen, std::vector<std::string>{dirs[0]});
    EXPECT_NE(Log().find(Format(LoadString(IDS_RUN_ABORTED), 2, 3, dirs[1])), std::string::npos) << Log();
    EXPECT_EQ(Frame().m_abortFlag, 1);
    EXPECT_FALSE(IsOpen());
}

TEST_F(WindowRun, TheSummaryCountsConvertedLockedWrongVersionAndFailedMandates) {
    const auto dirs = Register(3);
    Held held(dirs[1]);
    ASSERT_TRUE(held.Ok());
    // A mandate of an older data version, listed before it was brought back.
    const std::string old = MakeMandate(TempPath("alt"), apptest::MandateSpec{"Alt AG", 2200, std::nullopt, {}});
    List().AddItem(3, 0, old);
    SelectAllShown();
    seam.QueueAnswer(IDIGNORE);
    Frame().RunBatch(MandateWork([&](CommandContext&, const std::string& dir) {
        return dir == dirs[2] ? Outcome::kFailed : Outcome::kDone;
    }));
    const std::string counts =
        "1 konvertiert, 0 unverändert, 2 übersprungen (1 gesperrt, 1 in falscher Version), 1 fehlgeschlagen";
    EXPECT_NE(Log().find(">Ergebnis für 4 Mandanten: " + counts + "\r\n\r\n"), std::string::npos) << Log();
    EXPECT_TRUE(Progress().Result()->isVisible());
    EXPECT_EQ(Progress().Result()->text().toStdString(),
              "Lauf beendet: " + counts + ". Einzelheiten im Log (Ansichten › Log Datei)");
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1) << "the list is shown at the end";
    // Opening a mandate again makes the status bar its own.
    Frame().OpenMandate(dirs[0]);
    EXPECT_FALSE(Progress().Result()->isVisible());
}

struct SwappedDatabase {
    bool sourceListed;                  // its password given at the search
    std::optional<std::string> answer;  // to the prompt of the run
    int prompts;                        // in the run
    bool converted;
};

class SwappedBeforeTheRun : public WindowRun, public ::testing::WithParamInterface<SwappedDatabase> {};

// A listed mandate whose database is replaced after the search by another
// mandate's, which has a password: the run asks for it (unless that very
// password was given in the search) and leaves the mandate out without it.
TEST_P(SwappedBeforeTheRun, ThePasswordIsAskedOfTheDatabaseOpened) {
    const SwappedDatabase& row = GetParam();
    const auto dirs = Register(2);
    const std::string source = MakeMandate(TempPath("fremd"), apptest::WithPassword("geheim"));
    if (row.sourceListed) {
        seam.QueueText("geheim");
        ASSERT_TRUE(app->AddMandate(source));
    }
    namespace fs = std::filesystem;
    fs::copy_file(fs::path(source) / Mandate::kDatabaseFileName, fs::path(dirs[1]) / Mandate::kDatabaseFileName,
                  fs::copy_options::overwrite_existing);
    SelectAllShown();
    const std::size_t asked = seam.inputs.size();
    seam.QueueText(row.answer);
    std::vector<std::string> seen;
    Frame().RunBatch([&](const std::string& dir) { seen.push_back(dir); });
    EXPECT_EQ(seam.inputs.size() - asked, static_cast<std::size_t>(row.prompts));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), dirs[1]), row.converted ? 1 : 0);
    const std::string leftOut = Format(LoadString(IDS_LOG_LEFT_OUT), dirs[1], LoadString(IDS_LEFT_OUT_PASSWORD));
    EXPECT_EQ(Log().find(leftOut) != std::string::npos, !row.converted) << Log();
}

INSTANTIATE_TEST_SUITE_P(Rows, SwappedBeforeTheRun,
                         ::testing::Values(SwappedDatabase{false, std::nullopt, 1, false},
                                           SwappedDatabase{false, "geheim", 1, true},
                                           SwappedDatabase{true, std::nullopt, 0, true}));

TEST_F(WindowRun, ACommandOverTheSelectionAsksOnceNamingHowManyMandates) {
    Register(3);
    SelectAllShown();
    seam.QueueAnswer(IDNO);
    seam.QueueAnswer(IDNO);
    Command(ID_NEW_KEYS);
    Command(ID_FORM2024);
    ASSERT_EQ(seam.boxes.size(), 2u);
    EXPECT_EQ(seam.boxes[0].text, "Befehl \"Neue Steuerschlüssel einfügen\" auf 3 Mandanten ausführen?");
    EXPECT_EQ(seam.boxes[1].text, "Befehl \"MWST-Formular 2024 aktivieren\" auf 3 Mandanten:\n\n" +
                                      LoadString(IDS_CONFIRM_FORMS));
    EXPECT_EQ(Log().find(">Beginn"), std::string::npos) << "No runs nothing";
}

TEST_F(WindowRun, ProbelaufShowsItsCheckMarkAndItsPane) {
    auto* pane = Frame().statusBar()->findChild<QLabel*>(QStringLiteral("dryRunPane"));
    ASSERT_NE(pane, nullptr);
    EXPECT_TRUE(pane->isHidden());
    Command(ID_DRY_RUN);
    Frame().UpdateCommandStates();
    EXPECT_TRUE(Frame().CommandAction(ID_DRY_RUN)->isChecked());
    EXPECT_FALSE(pane->isHidden());
    EXPECT_EQ(pane->text().toStdString(), "Probelauf");
    Command(ID_DRY_RUN);
    EXPECT_TRUE(pane->isHidden());
}

TEST_F(WindowRun, ClosingTheWindowDuringARunStopsItFirst) {
    const auto dirs = Register(3);
    SelectAllShown();
    std::vector<std::string> seen;
    Frame().RunBatch([&](const std::string& dir) {
        seen.push_back(dir);
        if (seen.size() == 1) {
            Frame().close();
            EXPECT_TRUE(Frame().IsWindowAlive()) << "the window waits for the mandate at hand";
        }
    });
    EXPECT_EQ(seen, std::vector<std::string>{dirs[0]});
    EXPECT_FALSE(Frame().IsWindowAlive());
    EXPECT_FALSE(IsOpen());
}

TEST_F(WindowRun, SearchShowsItsProgressAndStops) {
    Register(0);
    for (int i = 0; i < 3; ++i) MakeMandate(TempPath("tree/a" + std::to_string(i)), Named("S " + std::to_string(i)));
    seam.QueueFolder(TempPath("tree"));
    std::vector<std::string> texts;
    app->GetMainFrame()->SetCommandObserver(nullptr);
    // The first folder's step shows the progress; the stop button ends the search.
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!Progress().Running()) return;
        texts.push_back(Progress().Label()->text().toStdString());
        QTest::mouseClick(Progress().StopButton(), Qt::LeftButton);
    });
    probe.start();
    Command(ID_SEARCH);
    probe.stop();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front().rfind("Suche: ", 0), 0u) << texts.front();
    EXPECT_TRUE(Frame().StopRequested());
    EXPECT_FALSE(Progress().Running());
    EXPECT_LT(app->GetListView()->GetItemCount(), 3) << "stopped before the end";
}

namespace {

// "KAA" to "KJJ": the conversion rule keeps a three-letter prefix.
std::string KeyPrefix(int k) { return {'K', char('A' + k / 10), char('A' + k % 10)}; }

// 100 old keys at 7.7 % with their new keys at 8.1 %, 200 accounts on each
// old key and a million bookings: a mandate whose accounts take a while.
std::string LargeMandate(const std::string& dir) {
    MakeMandate(dir, Named("Gross AG"));
    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir), 0);
    const std::unique_ptr<StorageBatch> batch = testsupport::Batch(mandate);
    BFile taxFile(&mandate), kontoFile(&mandate), buchFile(&mandate);
    EXPECT_EQ(taxFile.Open(mandate.GetTaxName(), BFile::kModeUpdate), 0);
    EXPECT_EQ(kontoFile.Open(mandate.GetKontoName(), BFile::kModeUpdate), 0);
    EXPECT_EQ(buchFile.Open(mandate.GetBuchName(), BFile::kModeUpdate), 0);
    Tax tax(&mandate);
    tax.UseFile(&taxFile);
    Konto konto(&mandate);
    konto.UseFile(&kontoFile);
    Buch buch(&mandate);
    buch.UseFile(&buchFile);
    testsupport::FillKonto(konto, "1000", 0, "");
    EXPECT_EQ(konto.Insert(), 0);
    for (int k = 0; k < 100; ++k) {
        const std::string prefix = KeyPrefix(k);
        for (const auto& [suffix, rate] : {std::pair{"77", 0.077f}, std::pair{"81", 0.081f}}) {
            testsupport::FillTax(tax, prefix + suffix, rate);
            std::memcpy(tax.GetBuffer() + Tax::kKontoOffset, "1000", 4);
            EXPECT_EQ(tax.Insert(), 0);
        }
        for (int a = 0; a < 200; ++a) {
            testsupport::FillKonto(konto, std::to_string(200000 + k * 200 + a), 1, prefix + "77");
            EXPECT_EQ(konto.Insert(), 0);
        }
    }
    for (std::int32_t b = 1; b <= 1'000'000; ++b) {
        testsupport::FillBuch(buch, b, KeyPrefix(b % 100) + "77");
        if (buch.Insert() != 0) break;
    }
    EXPECT_EQ(batch->Commit(), 0);
    return dir;
}

int AccountsOn(const std::string& dir, const std::string& taxId) {
    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir), 0);
    BFile file(&mandate);
    EXPECT_EQ(file.Open(mandate.GetKontoName(), BFile::kModeReadOnly), 0);
    Konto konto(&mandate);
    konto.UseFile(&file);
    return static_cast<int>(testsupport::WalkNumbers(konto, taxId).size());
}

}  // namespace

TEST_F(WindowRun, AWindowOverALargeMandateTicksAndStopsInsideItRollingBack) {
    const std::string dir = LargeMandate(TempPath("gross"));
    ASSERT_TRUE(app->AddMandate(dir));
    SelectAllShown();
    seam.QueueAnswer(IDYES);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(50);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    // Stop once the first account was switched: the command is at work then.
    // The listener hears the line on the work's thread; the click comes from the window's.
    QElapsedTimer clock;
    qint64 stoppedAt = -1;
    bool clickAsked = false;
    app->GetLogView()->AddLineListener([&](const std::string& line) {
        if (clickAsked || line.find("ersetzt") == std::string::npos) return;
        clickAsked = true;
        QMetaObject::invokeMethod(Progress().StopButton(), [&] {
            stoppedAt = clock.elapsed();
            QTest::mouseClick(Progress().StopButton(), Qt::LeftButton);
        }, Qt::QueuedConnection);
    });
    clock.start();
    timer.start();
    Command(ID_UPDATE_ACCOUNTS);
    const qint64 runTime = clock.elapsed();
    timer.stop();
    ASSERT_GE(stoppedAt, 0) << Log();
    const qint64 stopTime = runTime - stoppedAt;
    std::printf("large mandate: run %lld ms, stop took effect after %lld ms, %d ticks of 50 ms\n",
                static_cast<long long>(runTime), static_cast<long long>(stopTime), ticks);
    EXPECT_GE(ticks, runTime / 100) << "the timer may miss a beat, never stop; ran " << runTime << " ms";
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(stopTime, 500) << "Stopp takes effect within half a second";
#endif
    EXPECT_NE(Log().find(Format(LoadString(IDS_LOG_STOPPED), dir)), std::string::npos) << Log();
    EXPECT_NE(Log().find(">Lauf angehalten nach Mandant 0 von 1: 0 konvertiert, 0 unverändert, 0 übersprungen, "
                         "0 fehlgeschlagen; nicht mehr bearbeitet ab " + dir + "\r\n"),
              std::string::npos)
        << Log();
    EXPECT_FALSE(IsOpen());
    // All or nothing: the accounts switched before the stop are back on their old key.
    EXPECT_EQ(AccountsOn(dir, "KAA81"), 0);
    EXPECT_EQ(AccountsOn(dir, "KAA77"), 200);
}

// Inside the one mandate of a run the bar moves with the accounts walked,
// step by step to its end, while the step's text stays.
TEST_F(WindowRun, TheBarMovesWithTheAccountsInsideTheMandate) {
    const std::string dir = LargeMandate(TempPath("gross"));
    ASSERT_TRUE(app->AddMandate(dir));
    SelectAllShown();
    seam.QueueAnswer(IDYES);
    std::vector<int> moved;
    std::vector<std::string> steps;
    const QMetaObject::Connection watch =
        QObject::connect(Progress().Bar(), &QProgressBar::valueChanged, [&](int value) {
            if (value == 0) return;
            moved.push_back(value);
            steps.push_back(Progress().Label()->text().toStdString());
        });
    Command(ID_UPDATE_ACCOUNTS);
    QObject::disconnect(watch);
    EXPECT_EQ(AccountsOn(dir, "KAA81"), 200) << Log();
    ASSERT_GE(moved.size(), 10u);
    EXPECT_TRUE(std::is_sorted(moved.begin(), moved.end()));
    EXPECT_EQ(std::adjacent_find(moved.begin(), moved.end()), moved.end()) << "each step further";
    EXPECT_EQ(moved.back(), Progress().Bar()->maximum());
    EXPECT_EQ(steps, std::vector<std::string>(moved.size(), "Mandant 1 von 1"));
}
