// Finding mandates below a folder and registering them in the list.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "app/CTheList.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "res/Resource.h"
#include "tests/mandate/AppMandates.h"
#include "tests/support/AppFixture.h"

using apptest::MakeMandate;
namespace fs = std::filesystem;

namespace {

class MandateSearch : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        Start();
    }
    void Search(const std::string& folder) {
        seam.QueueFolder(folder);
        Command(ID_SEARCH);
    }
    std::vector<std::string> Rows(int column) {
        std::vector<std::string> rows;
        for (int i = 0; i < app->GetListView()->GetItemCount(); ++i)
            rows.push_back(app->GetListView()->GetItemText(i, column));
        return rows;
    }
    using Paths = std::vector<std::string>;
};

}  // namespace

TEST_F(MandateSearch, NestedMandatesAreFoundInTheOrderMet) {
    const std::string root = TempPath("Daten");
    MakeMandate(root + "/A", apptest::Named("Alpha AG"));
    MakeMandate(root + "/A/Alt", apptest::Named("Alt AG"));
    Search(root);
    EXPECT_EQ(Rows(0), (Paths{root + "/A", root + "/A/Alt"}));
    EXPECT_EQ(Rows(1), (Paths{"Alpha AG", "Alt AG"}));
    EXPECT_EQ(app->Registry().MandatePaths(), (Paths{root + "/A", root + "/A/Alt"}));
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1) << "the list is shown afterwards";
    EXPECT_FALSE(app->Registry().SearchRunning());
    EXPECT_EQ(app->Registry().SearchRoot(), root);
}

// The file system keeps folders in an order of its own; the list shows them
// by name, letter case aside.
TEST_F(MandateSearch, FoldersAreSearchedInNameOrder) {
    const std::string root = TempPath("Daten");
    for (const char* name : {"gruppe2", "Gruppe10", "gruppe1", "Beta", "alpha", "gruppe3"})
        MakeMandate(root + "/" + name + "/m", apptest::Named(name));
    Search(root);
    EXPECT_EQ(Rows(1), (Paths{"alpha", "Beta", "gruppe1", "Gruppe10", "gruppe2", "gruppe3"}));
}

TEST_F(MandateSearch, BackupFoldersAreNotSearched) {
    const std::string root = TempPath("Daten");
    MakeMandate(root + "/A", apptest::Named("Alpha AG"));
    // Whatever lies in a backup folder is no mandate to register, not even a copied one.
    MakeMandate(root + "/A/.mwst-backup/kopie", apptest::Named("Kopie AG"));
    MakeMandate(root + "/sicherung/data/B/.mwst-backup/alt", apptest::Named("Alt AG"));
    Search(root);
    EXPECT_EQ(Rows(0), (Paths{root + "/A"}));
}

TEST_F(MandateSearch, PathsKeepTheirCaseAndStayOpenable) {
    const std::string dir = MakeMandate(TempPath("Daten/Muster"));
    Search(TempPath("Daten"));
    ASSERT_EQ(Rows(0), Paths{dir});
    Frame().OpenMandate(Rows(0)[0]);
    EXPECT_TRUE(app->GetMandate()->IsMandantOpen());
}

TEST_F(MandateSearch, SecondSearchRegistersNothingAndSaysNothing) {
    MakeMandate(TempPath("Daten/A"));
    Search(TempPath("Daten"));
    Search(TempPath("Daten"));
    EXPECT_EQ(Rows(0).size(), 1u);
    EXPECT_TRUE(seam.boxes.empty());
}

TEST_F(MandateSearch, ClearListThenSearchRegistersAgain) {
    MakeMandate(TempPath("Daten/A"));
    Search(TempPath("Daten"));
    Command(ID_MANDANT_CLEARLIST);
    EXPECT_TRUE(app->Registry().MandatePaths().empty());
    EXPECT_EQ(app->GetListView()->GetItemCount(), 0);
    Search(TempPath("Daten"));
    EXPECT_EQ(Rows(0).size(), 1u);
}

TEST_F(MandateSearch, TrailingSlashAndLinksGiveOneRegistration) {
    const std::string dir = MakeMandate(TempPath("Daten/A"));
    fs::create_directory_symlink(dir, TempPath("Daten/Link"));
    Search(TempPath("Daten"));
    EXPECT_EQ(Rows(0).size(), 1u);
    EXPECT_EQ(app->Registry().MandatePaths(), Paths{fs::canonical(dir).string()});
    seam.QueueMandate(dir + "/");
    Command(ID_MAN_INSERT);
    EXPECT_EQ(Rows(0).size(), 1u) << "the same mandate, written differently";
}

TEST_F(MandateSearch, SymbolicLinkLoopsEndTheSearch) {
    MakeMandate(TempPath("Daten/A"));
    fs::create_directory_symlink(TempPath("Daten"), TempPath("Daten/A/zurueck"));
    fs::create_directory_symlink(TempPath("Daten/A/zurueck"), TempPath("Daten/schleife"));
    fs::create_symlink(TempPath("Daten/kaputt2"), TempPath("Daten/kaputt1"));
    fs::create_symlink(TempPath("Daten/kaputt1"), TempPath("Daten/kaputt2"));
    Search(TempPath("Daten"));
    EXPECT_EQ(Rows(0).size(), 1u);
    EXPECT_FALSE(app->Registry().SearchRunning());
}

TEST_F(MandateSearch, UnreadableFoldersAreSkipped) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    MakeMandate(TempPath("Daten/A"));
    MakeMandate(TempPath("Daten/Zu/B"));
    ASSERT_EQ(chmod(TempPath("Daten/Zu").c_str(), 0), 0);
    Search(TempPath("Daten"));
    chmod(TempPath("Daten/Zu").c_str(), 0755);
    EXPECT_EQ(Rows(0), Paths{TempPath("Daten/A")});
    EXPECT_NE(Log().find(Format(LoadString(IDS_LOG_FOLDER_UNREADABLE), TempPath("Daten/Zu"), SystemText(EACCES)) + "\r\n"),
              std::string::npos)
        << Log();
    EXPECT_NE(Log().find(Format(LoadString(IDS_SEARCH_SUMMARY), 1, 0, "", 1)), std::string::npos) << Log();
}

// One answer with "für alle weiteren Mandanten" stands for the same problem
// of the rest of the search; each mandate left out is logged and counted.
TEST_F(MandateSearch, AnswerForAllLeavesOutTheRestWithoutAsking) {
    for (const char* name : {"A", "B", "C"}) MakeMandate(TempPath("Daten/") + name, apptest::WithVersion(2299));
    seam.QueueVerification(true);
    Search(TempPath("Daten"));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].verification, "Für alle weiteren Mandanten dieses Laufs");
    const std::string reason = Format(LoadString(IDS_LEFT_OUT_VERSION), "2300");
    for (const char* name : {"A", "B", "C"})
        EXPECT_NE(Log().find(Format(LoadString(IDS_LOG_LEFT_OUT), TempPath("Daten/") + name, reason)),
                  std::string::npos)
            << Log();
    EXPECT_NE(Log().find(Format(LoadString(IDS_SEARCH_SUMMARY), 0, 3, " (3 in falscher Version)", 0)),
              std::string::npos)
        << Log();
    EXPECT_TRUE(Rows(0).empty());
}

// "Abbrechen" for all, ticked on the prompt or on the box that follows it:
// no further password mandate of the search is asked for.
TEST_F(MandateSearch, PasswordCancelledForAllIsAskedOnce) {
    for (const bool onThePrompt : {true, false}) {
        SCOPED_TRACE(onThePrompt ? "on the prompt" : "on the box");
        const std::string root = TempPath(onThePrompt ? "Prompt" : "Box");
        for (const char* name : {"A", "B", "C"}) MakeMandate(root + "/" + name, apptest::WithPassword("pw"));
        const std::size_t inputs = seam.inputs.size(), boxes = seam.boxes.size();
        seam.QueueText(std::nullopt);
        seam.QueueVerification(onThePrompt);
        if (!onThePrompt) seam.QueueVerification(true);
        Search(root);
        EXPECT_EQ(seam.inputs.size() - inputs, 1u);
        EXPECT_EQ(seam.boxes.size() - boxes, onThePrompt ? 0u : 1u);
        const std::string reason = LoadString(IDS_LEFT_OUT_PASSWORD);
        for (const char* name : {"A", "B", "C"})
            EXPECT_NE(Log().find(Format(LoadString(IDS_LOG_LEFT_OUT), root + "/" + name, reason)), std::string::npos)
                << Log();
        EXPECT_NE(Log().find(Format(LoadString(IDS_SEARCH_SUMMARY), 0, 3, " (3 ohne Passwort)", 0)), std::string::npos)
            << Log();
    }
}

TEST_F(MandateSearch, FailedChecksShowTheirMessageAndTheSearchGoesOn) {
    MakeMandate(TempPath("Daten/A"), apptest::WithVersion(2299));
    MakeMandate(TempPath("Daten/A/B"));
    Search(TempPath("Daten"));
    EXPECT_EQ(Rows(0), Paths{TempPath("Daten/A/B")});
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, Format(LoadString(IDS_WRONG_VERSION), TempPath("Daten/A"), "2300"));
}

TEST_F(MandateSearch, PasswordIsAskedAtRegistration) {
    MakeMandate(TempPath("Daten/A"), apptest::WithPassword("pw"));
    seam.QueueText("pw");
    Search(TempPath("Daten"));
    EXPECT_EQ(Rows(0).size(), 1u);
    ASSERT_EQ(seam.inputs.size(), 1u);
    EXPECT_NE(seam.inputs[0].prompt.find(TempPath("Daten/A")), std::string::npos) << "the folder tells copies apart";
}

TEST_F(MandateSearch, FolderDialogPreselectsTheSearchRootWithASlash) {
    app->Registry().SetSearchRoot("/srv/daten");
    Command(ID_SEARCH);  // cancelled
    EXPECT_EQ(seam.folderRequests, Paths{"/srv/daten/"});
    EXPECT_EQ(app->Registry().SearchRoot(), "/srv/daten/") << "the slash stays after a cancel";
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 0);
}

TEST_F(MandateSearch, EmptySearchRootPreselectsNothing) {
    app->Registry().SetSearchRoot("");
    Command(ID_SEARCH);
    EXPECT_EQ(seam.folderRequests, Paths{""});
}

TEST_F(MandateSearch, StopDuringTheSearchKeepsWhatWasFound) {
    MakeMandate(TempPath("Daten/A"));
    for (int i = 0; i < 30; ++i) fs::create_directories(TempPath("Daten/A/x" + std::to_string(i)));
    bool stopped = false;
    // The stop command arrives through the pump, as the user's click would.
    QTimer* timer = new QTimer(app->GetMainFrame());
    QObject::connect(timer, &QTimer::timeout, [&] {
        if (!stopped && !app->Registry().MandatePaths().empty() && Enabled(ID_BREAK_SEARCH)) {
            EXPECT_FALSE(Enabled(ID_SEARCH));
            Command(ID_BREAK_SEARCH);
            stopped = true;
        }
    });
    timer->start(0);
    Search(TempPath("Daten"));
    timer->stop();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(Rows(0).size(), 1u);
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
    EXPECT_TRUE(Enabled(ID_SEARCH));
    EXPECT_FALSE(Enabled(ID_BREAK_SEARCH));
}

TEST_F(MandateSearch, SearchItUnwindsAtOnceWhenStopped) {
    MakeMandate(TempPath("Daten/A"));
    EXPECT_EQ(app->SearchIt(TempPath("nirgends")), 1) << "a missing folder is searched to the end";
    Frame().RequestStop();
    EXPECT_EQ(app->SearchIt(TempPath("Daten")), 0);
    EXPECT_TRUE(app->Registry().MandatePaths().empty());
}

TEST_F(MandateSearch, InsertRegistersTheChosenMandate) {
    const std::string dir = MakeMandate(TempPath("Daten/A"), apptest::Named("Alpha AG"));
    app->Registry().SetSearchRoot(TempPath("Daten"));
    seam.QueueMandate(dir);
    Command(ID_MAN_INSERT);
    EXPECT_EQ(seam.mandateRequests, Paths{TempPath("Daten")}) << "the search root is proposed";
    EXPECT_EQ(Rows(1), Paths{"Alpha AG"});
    EXPECT_EQ(app->Registry().SearchRoot(), dir);
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
    seam.QueueMandate(dir);
    Command(ID_MAN_INSERT);
    EXPECT_EQ(Rows(0).size(), 1u);
    EXPECT_TRUE(seam.boxes.empty());
}

TEST_F(MandateSearch, InsertCancelledChangesNothing) {
    app->Registry().SetSearchRoot("/srv");
    Command(ID_MAN_INSERT);
    EXPECT_EQ(app->Registry().SearchRoot(), "/srv");
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 0);
}

// --- The mandate open right now --------------------------------------------

TEST_F(MandateSearch, SearchRegistersTheOpenMandateAndKeepsItOpen) {
    const std::string dir = MakeMandate(TempPath("Daten/A"), apptest::Named("Alpha AG"));
    MakeMandate(TempPath("Daten/B"), apptest::Named("Beta AG"));
    Frame().OpenMandate(dir);
    ASSERT_TRUE(app->GetMandate()->IsMandantOpen());
    Search(TempPath("Daten"));
    EXPECT_TRUE(seam.boxes.empty()) << seam.boxes.front().text;
    std::vector<std::string> rows = Rows(0);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (Paths{dir, TempPath("Daten/B")}));
    EXPECT_TRUE(app->GetMandate()->IsMandantOpen());
    EXPECT_EQ(app->GetMandate()->GetPath(), dir);
}

TEST_F(MandateSearch, InsertRegistersTheOpenMandateOpenedThroughALink) {
    const std::string dir = MakeMandate(TempPath("Daten/A"), apptest::Named("Alpha AG"));
    fs::create_directory_symlink(dir, TempPath("Verweis"));
    Frame().OpenMandate(TempPath("Verweis"));
    ASSERT_TRUE(app->GetMandate()->IsMandantOpen());
    seam.QueueMandate(dir);
    Command(ID_MAN_INSERT);
    EXPECT_TRUE(seam.boxes.empty()) << seam.boxes.front().text;
    EXPECT_EQ(Rows(0), Paths{dir});
    EXPECT_EQ(Rows(1), Paths{"Alpha AG"});
    EXPECT_TRUE(app->GetMandate()->IsMandantOpen());
}

TEST_F(MandateSearch, TheOpenMandateStillNeedsItsPassword) {
    const std::string dir = MakeMandate(TempPath("Daten/A"), apptest::WithPassword("pw"));
    seam.QueueText("pw");
    Frame().OpenMandate(dir);
    ASSERT_TRUE(app->GetMandate()->IsMandantOpen());
    Search(TempPath("Daten"));
    EXPECT_TRUE(Rows(0).empty());
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, Format(LoadString(IDS_NO_PASSWORD), dir)) << "not 8004";
    seam.QueueText("pw");
    Search(TempPath("Daten"));
    EXPECT_EQ(Rows(0), Paths{dir});
}
