// Opening and closing the program's mandate: version and password tests,
// exclusive access with its Abort / Retry / Ignore box, title and status bar.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "app/CTheView.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "pendra/MIniSetHelper.h"
#include "res/Resource.h"
#include "tests/mandate/AppMandates.h"
#include "tests/support/FileModes.h"
#include "tests/mandate/HeldMandate.h"
#include "tests/support/AppFixture.h"

using apptest::MakeMandate;

namespace {

class MandateOpenClose : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        Start();
    }
    Mandate& Global() { return *app->GetMandate(); }
    bool IsOpen() { return Global().IsMandantOpen() != 0; }
    std::string Title() { return Frame().GetWindowText(); }
    const MessageBoxRequest& LastBox() { return seam.boxes.back(); }
    // How a holder of this test program starts: user, host, program.
    static std::string HolderPrefix() {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        const passwd* user = getpwuid(geteuid());
        return std::string(user ? user->pw_name : "") + ", " + host + ", " + program_invocation_short_name + " [";
    }
};

}  // namespace

// --- Data version -------------------------------------------------------------

struct VersionCase {
    long version;
    bool opens;
};

class DataVersion : public MandateOpenClose, public ::testing::WithParamInterface<VersionCase> {};

// Chosen in the dialog or opened directly, a mandate of another version closes again.
TEST_P(DataVersion, OnlyExactly2300Opens) {
    const std::string dir = MakeMandate(TempPath("m"), apptest::WithVersion(GetParam().version));
    seam.QueueMandate(dir);
    Command(ID_MAN_OPEN);
    EXPECT_EQ(IsOpen(), GetParam().opens);
    if (GetParam().opens) {
        EXPECT_TRUE(seam.boxes.empty());
    } else {
        ASSERT_EQ(seam.boxes.size(), 1u);
        EXPECT_EQ(LastBox().text, Format(LoadString(IDS_WRONG_VERSION), dir, "2300"));
        EXPECT_EQ(LastBox().caption, LoadString(IDS_TITLE));
        EXPECT_EQ(LastBox().type, MB_OK | MB_ICONEXCLAMATION);
        Frame().OpenMandate(dir);
        EXPECT_FALSE(IsOpen());
        EXPECT_EQ(seam.boxes.size(), 2u);
        EXPECT_EQ(LastBox().text, Format(LoadString(IDS_WRONG_VERSION), dir, "2300"));
        EXPECT_EQ(Title(), "MWST Konvertierung 2024");
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, DataVersion,
                         ::testing::Values(VersionCase{2299, false}, VersionCase{2300, true},
                                           VersionCase{2301, false}));

// --- Password ---------------------------------------------------------------

TEST_F(MandateOpenClose, RightPasswordOpensWithAMaskedPrompt) {
    const std::string dir = MakeMandate(TempPath("m"), apptest::WithPassword("geheim"));
    seam.QueueMandate(dir);
    seam.QueueText("geheim");
    Command(ID_MAN_OPEN);
    ASSERT_EQ(seam.inputs.size(), 1u);
    EXPECT_TRUE(seam.inputs[0].masked);
    EXPECT_TRUE(IsOpen());
}

TEST_F(MandateOpenClose, WrongPasswordLeavesTheEarlierMandateOpen) {
    const std::string first = MakeMandate(TempPath("a"), apptest::Named("Erste AG"));
    const std::string second = MakeMandate(TempPath("b"), apptest::WithPassword("geheim", apptest::Named("Zweite AG")));
    seam.QueueMandate(first);
    Command(ID_MAN_OPEN);
    ASSERT_TRUE(IsOpen());

    seam.QueueMandate(second);
    for (int i = 0; i < 3; ++i) seam.QueueText("falsch");
    Command(ID_MAN_OPEN);
    EXPECT_EQ(LastBox().text, Format(LoadString(IDS_NO_PASSWORD), second));
    EXPECT_TRUE(IsOpen());
    EXPECT_EQ(Global().GetPath(), first);
    EXPECT_EQ(Title(), "MWST Konvertierung 2024 - Erste AG");
    EXPECT_EQ(app->Registry().SearchRoot(), first) << "a refused open keeps the search root";
}

TEST_F(MandateOpenClose, CancelledChooserOpensNothing) {
    Command(ID_MAN_OPEN);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(seam.mandateRequests, std::vector<std::string>{""});
    EXPECT_TRUE(seam.boxes.empty());
}

// --- Title and status bar --------------------------------------------------

TEST_F(MandateOpenClose, TitleAndStatusBarFollowOpenAndClose) {
    const std::string dir = MakeMandate(TempPath("m"));
    EXPECT_FALSE(Enabled(ID_MAN_CLOSE));
    seam.QueueMandate(dir);
    Command(ID_MAN_OPEN);
    EXPECT_EQ(Title(), "MWST Konvertierung 2024 - Muster AG");
    EXPECT_EQ(Frame().StatusPaneText(1), "Muster AG");
    EXPECT_EQ(Frame().StatusPaneText(2), dir);
    EXPECT_EQ(app->Registry().SearchRoot(), dir);
    EXPECT_TRUE(MIniSetHelper::IsGlobalBtrieveFileInstanceOpen()) << "opened exclusively";

    ASSERT_TRUE(Enabled(ID_MAN_CLOSE));
    Command(ID_MAN_CLOSE);
    EXPECT_FALSE(IsOpen());
    EXPECT_FALSE(MIniSetHelper::IsGlobalBtrieveFileInstanceOpen());
    EXPECT_EQ(Title(), "MWST Konvertierung 2024");
    EXPECT_EQ(Frame().StatusPaneText(1), "Kein Mandant geöffnet");
    EXPECT_EQ(Frame().StatusPaneText(2), "");
    EXPECT_FALSE(Enabled(ID_MAN_CLOSE));
}

TEST_F(MandateOpenClose, OpeningAnotherMandateClosesTheFirst) {
    const std::string first = MakeMandate(TempPath("a"), apptest::Named("Erste AG"));
    const std::string second = MakeMandate(TempPath("b"), apptest::Named("Zweite AG"));
    Frame().OpenMandate(first);
    Frame().OpenMandate(second);
    EXPECT_EQ(Global().GetPath(), second);
    Mandate probe;
    MIniSetHelper exclusive(&probe, false);
    ASSERT_EQ(probe.OpenMandateFiles(first), 0) << "the first is free again";
    EXPECT_EQ(exclusive.OpenExclusive(), 0);
}

TEST_F(MandateOpenClose, OpenFailureShows8003WithThePath) {
    const std::string dir = TempPath("no-mandate");
    Frame().OpenMandate(dir);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(LastBox().text, Format(LoadString(IDS_OPEN_FAILED), dir));
}

// A mandate of database format 2 (ids in UTF-8) holding an id with a letter
// Windows-1252 lacks: its conversion is refused and the box says why.
TEST_F(MandateOpenClose, OldFormatWhoseIdsCannotBeConvertedShows8020) {
    const std::string dir = MakeMandate(TempPath("omega"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir + "/pendra.db").c_str(), &db), SQLITE_OK);
    std::string record = "CEA95837" + std::string(2 * (Tax::kSize - 4), '0');  // "ΩX7"
    const std::string sql = "UPDATE meta SET value = 2 WHERE name = 'format_version';"
                            "INSERT INTO tax VALUES(X'CEA95837', X'" + record + "');";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    seam.QueueMandate(dir);
    Command(ID_MAN_OPEN);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(LastBox().text, Format(LoadString(IDS_IDS_NOT_CONVERTIBLE), dir));
    Frame().OpenMandate(dir);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(LastBox().text, Format(LoadString(IDS_IDS_NOT_CONVERTIBLE), dir));
}

// --- Exclusive access --------------------------------------------------------

TEST_F(MandateOpenClose, HeldMandateIsRefusedAtTheTestWith8004) {
    const std::string dir = MakeMandate(TempPath("m"));
    apptest::Held holder(dir);
    ASSERT_TRUE(holder.Ok());
    seam.QueueMandate(dir);
    Command(ID_MAN_OPEN);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(LastBox().text, Format(LoadString(IDS_HELD_EXCLUSIVELY), dir));
}

struct ConflictAnswer {
    int answer;
    int abortFlag;
    bool logged;  // the message and an empty line
};

class ConflictBox : public MandateOpenClose, public ::testing::WithParamInterface<ConflictAnswer> {};

// The box shows 20001 and the holder (user, host, program [pid], since) with
// Retry as default; Abort sets the abort flag, Ignore logs the message;
// neither opens anything.
TEST_P(ConflictBox, AnswerSetsTheAbortFlagOrLogsAndLeavesNothingOpen) {
    const std::string dir = MakeMandate(TempPath("m"));
    apptest::Held holder(dir);
    ASSERT_TRUE(holder.Ok());
    seam.QueueAnswer(GetParam().answer);
    Frame().OpenMandate(dir);
    ASSERT_EQ(seam.boxes.size(), 1u);
    const std::string named = Format(LoadString(IDS_NOT_EXCLUSIVE), dir) + HolderPrefix();
    ASSERT_EQ(LastBox().text.rfind(named, 0), 0u) << LastBox().text;
    const std::string message = LastBox().text;
    EXPECT_EQ(message.substr(message.size() - 2), "\r\n");
    EXPECT_EQ(LastBox().caption, "Fehler aufgetreten");
    EXPECT_EQ(LastBox().type, MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    EXPECT_EQ(DefaultButtonOf(LastBox().type), IDRETRY);
    EXPECT_EQ(Frame().m_abortFlag, GetParam().abortFlag);
    EXPECT_FALSE(IsOpen());
    EXPECT_EQ(Log(), GetParam().logged ? message + "\r\n\r\n" : "");
    EXPECT_EQ(Title(), "MWST Konvertierung 2024");
}

INSTANTIATE_TEST_SUITE_P(Answers, ConflictBox,
                         ::testing::Values(ConflictAnswer{IDABORT, 1, false}, ConflictAnswer{IDIGNORE, 0, true}));

TEST_F(MandateOpenClose, RetryOpensOnceTheOtherProgramLetsGo) {
    const std::string dir = MakeMandate(TempPath("m"));
    apptest::Held holder(dir);
    ASSERT_TRUE(holder.Ok());
    int asked = 0;
    seam.boxPolicy = [&](const MessageBoxRequest&) {
        if (++asked == 2) holder.Release();
        return asked <= 2 ? IDRETRY : IDABORT;
    };
    Frame().OpenMandate(dir);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(IsOpen());
    EXPECT_EQ(Title(), "MWST Konvertierung 2024 - Muster AG");
}

TEST_F(MandateOpenClose, FrenchTextsFollowTheCulture) {
    app->GetMainFrame()->close();
    app->ExitInstance();
    app.reset();
    WriteSettings("[Culture]\nUICulture=fr-CH\n");
    Start();
    const std::string dir = MakeMandate(TempPath("m"));
    apptest::Held holder(dir);
    ASSERT_TRUE(holder.Ok());
    seam.QueueAnswer(IDIGNORE);
    Frame().OpenMandate(dir);
    EXPECT_EQ(LastBox().caption, "Une erreur s'est produite");
    const std::string start = "Le client " + dir +
                              " ne peut pas être ouvert en mode exclusif! La base de données est "
                              "utilisée par:\r\n" + HolderPrefix();
    EXPECT_EQ(Log().rfind(start, 0), 0u) << Log();
    EXPECT_EQ(Log().substr(Log().size() - 6), "\r\n\r\n\r\n");
}

// --- Our own hold and a lock that can never be had -------------------------

TEST_F(MandateOpenClose, OpeningTheOpenMandateAgainIsNoConflict) {
    const std::string dir = MakeMandate(TempPath("m"), apptest::WithPassword("geheim"));
    seam.QueueMandate(dir);
    seam.QueueText("geheim");
    Command(ID_MAN_OPEN);
    ASSERT_TRUE(IsOpen());

    // Chosen again, written differently: the password is asked as for any
    // mandate, and our own exclusive hold is not "another program".
    seam.QueueMandate(dir + "/");
    seam.QueueText("geheim");
    Command(ID_MAN_OPEN);
    EXPECT_TRUE(seam.boxes.empty()) << seam.boxes.back().text;
    EXPECT_EQ(seam.inputs.size(), 2u);
    EXPECT_TRUE(IsOpen());
    EXPECT_EQ(Title(), "MWST Konvertierung 2024 - Muster AG");
    EXPECT_TRUE(MIniSetHelper::IsGlobalBtrieveFileInstanceOpen());
}

TEST_F(MandateOpenClose, OpenMandateFailsItsChecksWithTheirOwnMessages) {
    const std::string dir = MakeMandate(TempPath("m"), apptest::WithPassword("geheim"));
    seam.QueueText("geheim");
    Frame().OpenMandate(dir);
    ASSERT_TRUE(IsOpen());
    std::string name;
    for (int i = 0; i < 3; ++i) seam.QueueText("falsch");
    EXPECT_FALSE(app->CheckVersionAndPassword(dir, name));
    ASSERT_FALSE(seam.boxes.empty());
    EXPECT_EQ(LastBox().text, Format(LoadString(IDS_NO_PASSWORD), dir));
    for (const MessageBoxRequest& box : seam.boxes)
        EXPECT_NE(box.text, Format(LoadString(IDS_HELD_EXCLUSIVELY), dir));
    EXPECT_EQ(name, "Muster AG");
    EXPECT_TRUE(IsOpen()) << "the open mandate stays open";
}

// A folder without a mandate says nothing (the search asks every folder); a
// mandate that is there and cannot be read says so instead of failing mutely.
TEST_F(MandateOpenClose, RegistrationOfADamagedMandateSays8003) {
    std::string name;
    EXPECT_FALSE(app->CheckVersionAndPassword(TempPath("leer"), name));
    EXPECT_TRUE(seam.boxes.empty());
    const std::string dir = MakeMandate(TempPath("m"));
    std::ofstream(dir + "/pendra.db", std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
    EXPECT_FALSE(app->CheckVersionAndPassword(dir, name));
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(LastBox().text, Format(LoadString(IDS_OPEN_FAILED), dir));
}

TEST_F(MandateOpenClose, LockFileThatCannotBeWrittenGives8003) {
    const std::string dir = MakeMandate(TempPath("m"));
    const std::string lock = dir + "/pendra.lock";
    ASSERT_EQ(chmod(lock.c_str(), 0444), 0);
    testsupport::ObeyFileModes obey;
    if (!obey.Obeyed()) GTEST_SKIP() << "cannot take root's file override away here";
    // Were the conflict box shown, Retry would come back forever: stop at the third.
    seam.boxPolicy = [this](const MessageBoxRequest& box) {
        return (box.type & MB_TYPEMASK) == MB_ABORTRETRYIGNORE && seam.boxes.size() < 3 ? IDRETRY : IDABORT;
    };
    // The box names the cause: the lock file may not be written.
    const std::string withCause =
        Format(LoadString(IDS_OPEN_FAILED), dir) + "\r\n\r\n" +
        Format(LoadString(IDS_LOG_FORM_REASON), Format(LoadString(IDS_REASON_CANNOT_WRITE), lock, SystemText(EACCES)));
    Frame().OpenMandate(dir);
    EXPECT_FALSE(IsOpen());
    ASSERT_EQ(seam.boxes.size(), 1u) << "no Abort / Retry / Ignore box whose Retry cannot help";
    EXPECT_EQ(LastBox().text, withCause);
    EXPECT_EQ(LastBox().type, unsigned{MB_OK | MB_ICONEXCLAMATION});
    EXPECT_EQ(Frame().m_abortFlag, 0);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Title(), "MWST Konvertierung 2024");

    seam.QueueMandate(dir);
    Command(ID_MAN_OPEN);
    EXPECT_FALSE(IsOpen());
    ASSERT_EQ(seam.boxes.size(), 2u);
    EXPECT_EQ(LastBox().text, withCause);
}
