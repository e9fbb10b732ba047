// "MWST-Formular 2024/2018 aktivieren": the confirmation, the eight steps with
// their version rule and log lines, missing and spoilt templates, the way back
// to 2018 with the keys exchanged, and the batch over the mandate list.
#include <cerrno>
#include <filesystem>

#include "app/CTheList.h"
#include "app/CTheView.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "forms/FormActivation.h"
#include "templates/TemplateSet.h"
#include "pendra/MandateAdmin.h"
#include "res/Resource.h"
#include "tests/forms/ActivationFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/FileBytes.h"

namespace fs = std::filesystem;
using formstest::FileBytes;
using formstest::MappingCell;
using Lines = std::vector<std::string>;

namespace {

const char* const kMandateFiles[] = {"MWSTFORM.VTS", "MWSTPAU.VTS", "_MWSTFRM.VTS", "_MWSTPAU.VTS",
                                     "Mwstform.vls", "Mwstform.lst", "Mwstpau.vls",  "Mwstpau.lst"};
const char* const kTemplates2024[] = {"MWST2024eff.vts", "MWST2024pau.vts", "_MWST2024eff.vts",
                                      "_MWST2024pau.vts", "Mwst2024eff.vls", "Mwst2024eff.lst",
                                      "Mwst2024pau.vls",  "Mwst2024pau.lst"};

class FormActivation : public ActivationFixture {
protected:
    void SetUp() override {
        ActivationFixture::SetUp();
        StartWithTemplates("");
    }

    void Activate(unsigned command, int answer = IDYES) {
        seam.QueueAnswer(answer);
        Command(command);
    }

    // The log line of message `id` about `arg`, without its "\r\n".
    static std::string Logged(int id, const std::string& arg) {
        const std::string line = Format(LoadString(id), arg);
        return line.substr(0, line.size() - 2);
    }
    std::string Line(int id, const std::string& file) const { return Logged(id, InMandate(file)); }
    std::string EndLine(int id) const {
        const std::string line = Format(LoadString(id), mandateDir);
        return line.substr(0, line.size() - 4);
    }
    // One line per step with the same message, then the end line.
    Lines AllSteps(int id, int endId) const {
        Lines lines;
        for (const char* file : kMandateFiles) lines.push_back(Line(id, file));
        lines.push_back(EndLine(endId));
        lines.push_back("");
        return lines;
    }
};

TEST_F(FormActivation, NoInTheConfirmationChangesNothingAndLogsNothing) {
    OpenMandate();
    Activate(ID_FORM2024, IDNO);

    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, LoadString(IDS_CONFIRM_FORMS));
    EXPECT_EQ(seam.boxes[0].type, static_cast<unsigned>(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(fs::is_empty(mandateDir) || !fs::exists(InMandate("MWSTFORM.VTS")));
    for (const char* file : kMandateFiles) EXPECT_FALSE(fs::exists(InMandate(file))) << file;
}

TEST_F(FormActivation, FirstActivationBringsTheWholeSetWhateverTheMethod) {
    OpenMandate();
    Activate(ID_FORM2024);

    EXPECT_EQ(LogLines(), AllSteps(IDS_LOG_FORM_UPDATED, IDS_END_FORM2024));
    for (std::size_t i = 0; i < std::size(kMandateFiles); ++i)
        EXPECT_EQ(FileBytes(InMandate(kMandateFiles[i])), FileBytes(Template(kTemplates2024[i]))) << kMandateFiles[i];
    EXPECT_TRUE(app->GetMandate()->IsMandantOpen()) << "the mandate stays open";
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 0);
}

TEST_F(FormActivation, ActivatingTwiceSkipsTheFormsCopiesTheCompanionsAgainAndIsDone) {
    OpenMandate();
    Activate(ID_FORM2024);
    app->GetLogView()->Clear();
    Activate(ID_FORM2024);

    const Lines expected = {Line(IDS_LOG_FORM_SKIPPED, "MWSTFORM.VTS"), Line(IDS_LOG_FORM_SKIPPED, "MWSTPAU.VTS"),
                            Line(IDS_LOG_FORM_SKIPPED, "_MWSTFRM.VTS"), Line(IDS_LOG_FORM_SKIPPED, "_MWSTPAU.VTS"),
                            Line(IDS_LOG_FORM_UPDATED, "Mwstform.vls"), Line(IDS_LOG_FORM_UPDATED, "Mwstform.lst"),
                            Line(IDS_LOG_FORM_UPDATED, "Mwstpau.vls"),  Line(IDS_LOG_FORM_UPDATED, "Mwstpau.lst"),
                            "bereits erledigt",                         EndLine(IDS_END_FORM2024),
                            ""};
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(FormActivation, MandateWithoutFlatRateWorkbookReceivesTheTemplateUnchanged) {
    OpenMandate();
    fs::copy_file(Template("MWST2018eff.vts"), InMandate("MWSTFORM.VTS"));
    Activate(ID_FORM2024);

    EXPECT_EQ(LogLines()[1], Line(IDS_LOG_FORM_UPDATED, "MWSTPAU.VTS"));
    EXPECT_EQ(FileBytes(InMandate("MWSTPAU.VTS")), FileBytes(Template("MWST2024pau.vts")));
    EXPECT_EQ(Version(InMandate("MWSTFORM.VTS")), "2024");
}

TEST_F(FormActivation, EqualVersionsTouchNothing) {
    OpenMandate();
    Activate(ID_FORM2018);
    const std::string before = FileBytes(InMandate("MWSTFORM.VTS"));
    const auto written = fs::last_write_time(InMandate("MWSTFORM.VTS"));
    Activate(ID_FORM2018);

    EXPECT_EQ(LogLines()[10], Line(IDS_LOG_FORM_SKIPPED, "MWSTFORM.VTS"));
    EXPECT_EQ(FileBytes(InMandate("MWSTFORM.VTS")), before);
    EXPECT_EQ(fs::last_write_time(InMandate("MWSTFORM.VTS")), written);
}

TEST_F(FormActivation, WithoutTheFirstTemplateNothingIsDoneAndTheMissingFileIsNamed) {
    OpenMandate();
    fs::remove(Template("MWST2024eff.vts"));
    Activate(ID_FORM2024);

    EXPECT_EQ(LogLines(), (Lines{Logged(IDS_LOG_TEMPLATE_MISSING, Template("MWST2024eff.vts")),
                                 EndLine(IDS_END_FORM2024), ""}));
    for (const char* file : kMandateFiles) EXPECT_FALSE(fs::exists(InMandate(file))) << file;
    EXPECT_FALSE(UpdateFormsUnlogged(2024));
}

TEST_F(FormActivation, WithoutTheSecondFormPairTheRunStopsAfterTheNextPairsFirstStep) {
    OpenMandate();
    fs::remove(Template("_MWST2024eff.vts"));

    EXPECT_FALSE(UpdateFormsLogged(2024));
    const Lines expected = {Line(IDS_LOG_FORM_UPDATED, "MWSTFORM.VTS"), Line(IDS_LOG_FORM_UPDATED, "MWSTPAU.VTS"),
                            Logged(IDS_LOG_TEMPLATE_MISSING, Template("_MWST2024eff.vts")),
                            Line(IDS_LOG_FORM_UPDATED, "Mwstform.vls")};
    EXPECT_EQ(LogLines(), expected);
    for (const char* file : {"_MWSTFRM.VTS", "_MWSTPAU.VTS", "Mwstform.lst", "Mwstpau.vls", "Mwstpau.lst"})
        EXPECT_FALSE(fs::exists(InMandate(file))) << file;
}

TEST_F(FormActivation, FailedTransferIsLoggedWithItsReasonAndStopsTheRun) {
    OpenMandate();
    formstest::WriteFileBytes(Template("MWST2024pau.vts"), "verdorben");

    EXPECT_FALSE(UpdateFormsLogged(2024));
    const Lines lines = LogLines();
    ASSERT_EQ(lines.size(), 3u) << Log();
    EXPECT_EQ(lines[0], Line(IDS_LOG_FORM_UPDATED, "MWSTFORM.VTS"));
    EXPECT_EQ(lines[1], Line(IDS_LOG_FORM_FAILED, "MWSTPAU.VTS"));
    EXPECT_EQ(lines[2].rfind("   Grund: Die Arbeitsmappe konnte nicht verarbeitet werden: ", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find(Template("MWST2024pau.vts")), std::string::npos) << lines[2];
    EXPECT_FALSE(fs::exists(InMandate("MWSTPAU.VTS")));
    EXPECT_FALSE(fs::exists(InMandate("_MWSTFRM.VTS")));
}

TEST_F(FormActivation, FailedCopyIsLoggedWithItsReasonAndTheNextPairStillStarts) {
    OpenMandate();
    fs::remove(Template("Mwst2024eff.lst"));

    EXPECT_FALSE(UpdateFormsLogged(2024));
    const Lines lines = LogLines();
    ASSERT_EQ(lines.size(), 8u) << Log();
    EXPECT_EQ(lines[5], Line(IDS_LOG_FORM_FAILED, "Mwstform.lst"));
    EXPECT_EQ(lines[6], "   Grund: " + Template("Mwst2024eff.lst") + " kann nicht gelesen werden: " + SystemText(ENOENT));
    EXPECT_EQ(lines[7], Line(IDS_LOG_FORM_UPDATED, "Mwstpau.vls"));
    EXPECT_FALSE(fs::exists(InMandate("Mwstpau.lst")));
}

TEST_F(FormActivation, WithoutLogViewTheWorkIsDoneSilently) {
    OpenMandate();
    EXPECT_TRUE(UpdateFormsUnlogged(2024));
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Version(InMandate("_MWSTPAU.VTS")), "2024");
}

TEST_F(FormActivation, BackTo2018ExchangesTheKeysOfTheMandatesFormulas) {
    // Turnover keys book to account 2200 (type 1): their old and new ids swap.
    OpenMandate({{"USN77", 0.077f, "2200"}, {"USB77", 0.077f, "2200"}, {"USN81", 0.081f, "2200"},
                 {"VSN77", 0.077f, "1170"}},
                {{"2200", 1}, {"1170", 0}});
    Activate(ID_FORM2024);
    const std::string form = InMandate("MWSTFORM.VTS");
    ASSERT_EQ(MappingCell(form, 4, 2), "USN81+USB81");
    ASSERT_EQ(MappingCell(form, 20, 2), "USN77+USB77");
    Activate(ID_FORM2018);

    EXPECT_EQ(Version(form), "2018");
    EXPECT_EQ(MappingCell(form, 4, 1), "Z302") << "labels are the 2018 template's";
    EXPECT_EQ(MappingCell(form, 4, 2), "USN77+USB77");
    EXPECT_EQ(MappingCell(form, 4, 3), "USN77_ST+USB77_ST");
    EXPECT_EQ(MappingCell(form, 20, 2), "USN81+USB81");
    EXPECT_EQ(MappingCell(form, 8, 2), "VSN81+VSB81") << "input tax keys (type 0 accounts) are not exchanged";
    EXPECT_EQ(MappingCell(form, 1, 2), "USN77+USB77+USN26+USN38+USN81+USB81+USN25+USN37+USN00+UEX00")
        << "200 keeps both periods' turnover, each key once";
    EXPECT_EQ(FileBytes(InMandate("Mwstpau.lst")), FileBytes(Template("Mwst2018pau.lst")));
    const Lines lines = LogLines();
    EXPECT_EQ(lines[lines.size() - 2], EndLine(IDS_END_FORM2018));
}

// ---- Mandates the activation must not harm --------------------------------

TEST_F(FormActivation, ReadOnlyMandateIsNotChanged) {
    formstest::CreateMandateWith(mandateDir, {}, {});
    fs::copy_file(Template("MWST2018eff.vts"), InMandate("MWSTFORM.VTS"));
    ASSERT_EQ(SetMandateReadOnly(mandateDir, true), pendra::kOk);
    ASSERT_EQ(app->GetMandate()->OpenMandateFiles(mandateDir), pendra::kOk);
    ASSERT_TRUE(app->GetMandate()->IsReadOnly());
    const std::string before = FileBytes(InMandate("MWSTFORM.VTS"));
    Activate(ID_FORM2024);

    EXPECT_EQ(LogLines(), (Lines{Logged(IDS_LOG_FORMS_READ_ONLY, mandateDir), EndLine(IDS_END_FORM2024), ""}));
    EXPECT_EQ(FileBytes(InMandate("MWSTFORM.VTS")), before);
    for (const char* file : kMandateFiles) {
        if (std::string(file) != "MWSTFORM.VTS") {
            EXPECT_FALSE(fs::exists(InMandate(file))) << file;
        }
    }
    EXPECT_EQ(app->Failures(), 1);
}

// A mandate copied from Windows: each of its files is replaced under the name
// it has, and no second spelling appears beside it.
TEST_F(FormActivation, FilesInOtherLetterCaseAreReplacedInPlace) {
    OpenMandate();
    const std::vector<std::string> windows = {"mwstform.vts", "Mwstpau.VTS", "_mwstfrm.vts", "_MWSTPAU.vts",
                                              "MWSTFORM.VLS", "mwstform.lst", "MwstPau.vls", "MWSTPAU.LST"};
    const char* const forms2018[] = {"MWST2018eff.vts", "MWST2018pau.vts", "_MWST2018eff.vts", "_MWST2018pau.vts"};
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (i < 4)
            fs::copy_file(Template(forms2018[i]), InMandate(windows[i]));
        else
            formstest::WriteFileBytes(InMandate(windows[i]), "2018");
    }
    Activate(ID_FORM2024);

    Lines expected;
    for (const std::string& file : windows) expected.push_back(Line(IDS_LOG_FORM_UPDATED, file));
    expected.push_back(EndLine(IDS_END_FORM2024));
    expected.push_back("");
    EXPECT_EQ(LogLines(), expected);
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (i < 4)
            EXPECT_EQ(Version(InMandate(windows[i])), "2024") << windows[i];
        else
            EXPECT_EQ(FileBytes(InMandate(windows[i])), FileBytes(Template(kTemplates2024[i]))) << windows[i];
        EXPECT_FALSE(fs::exists(InMandate(kMandateFiles[i]))) << kMandateFiles[i];
    }
}

// Of two spellings the exact one is the mandate's; the other stays as it is.
TEST_F(FormActivation, OfTwoSpellingsTheExactOneIsReplaced) {
    OpenMandate();
    fs::copy_file(Template("MWST2018eff.vts"), InMandate("MWSTFORM.VTS"));
    formstest::WriteFileBytes(InMandate("mwstform.vts"), "alte Kopie");
    Activate(ID_FORM2024);
    EXPECT_EQ(Version(InMandate("MWSTFORM.VTS")), "2024");
    EXPECT_EQ(FileBytes(InMandate("mwstform.vts")), "alte Kopie");
}

// A damaged mandate workbook has no formulas to carry over: it is replaced by
// the template (the backup keeps it), and the log names it and the reason.
TEST_F(FormActivation, UnreadableMandateWorkbookIsReplacedByTheTemplateAndReported) {
    OpenMandate();
    formstest::WriteFileBytes(InMandate("MWSTFORM.VTS"), "keine Tabelle");
    Activate(ID_FORM2024);

    const Lines lines = LogLines();
    ASSERT_GE(lines.size(), 2u) << Log();
    EXPECT_EQ(lines[0].rfind("Formular " + InMandate("MWSTFORM.VTS") + " passt nicht zur Vorlage", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("Die Arbeitsmappe konnte nicht verarbeitet werden: "), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], Line(IDS_LOG_FORM_UPDATED, "MWSTFORM.VTS"));
    EXPECT_EQ(Version(InMandate("MWSTFORM.VTS")), "2024");
    EXPECT_EQ(lines[lines.size() - 2], EndLine(IDS_END_FORM2024));
    EXPECT_EQ(app->Failures(), 0);
}

// A spoilt first template has no version: nothing is replaced by the
// version rule's guess, the step fails with the template named.
TEST_F(FormActivation, SpoiltFirstTemplateOfAPairFailsItsStep) {
    OpenMandate();
    formstest::WriteFileBytes(Template("MWST2024eff.vts"), "verdorben");
    Activate(ID_FORM2024);

    const Lines lines = LogLines();
    ASSERT_EQ(lines.size(), 4u) << Log();
    EXPECT_EQ(lines[0], Line(IDS_LOG_FORM_FAILED, "MWSTFORM.VTS"));
    EXPECT_EQ(lines[1].rfind("   Grund: Die Arbeitsmappe konnte nicht verarbeitet werden: ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find(Template("MWST2024eff.vts")), std::string::npos) << lines[1];
    for (const char* file : kMandateFiles) EXPECT_FALSE(fs::exists(InMandate(file))) << file;
    EXPECT_EQ(app->Failures(), 1);
}

TEST_F(FormActivation, FailedStepsAreCountedAsFailures) {
    OpenMandate();
    fs::remove(Template("Mwst2024eff.lst"));
    Activate(ID_FORM2024);
    EXPECT_EQ(app->Failures(), 1);
    fs::remove(Template("MWST2024eff.vts"));
    Activate(ID_FORM2024);
    EXPECT_EQ(app->Failures(), 2) << "a missing first template: nothing done";
}

TEST_F(FormActivation, BatchActivatesEverySelectedMandateAndEndsWithTheList) {
    std::vector<std::string> dirs;
    for (const char* name : {"eins", "zwei"}) {
        dirs.push_back(TempPath(name));
        formstest::CreateMandateWith(dirs.back(), {}, {});
        ASSERT_TRUE(app->AddMandate(dirs.back()));
    }
    Command(ID_LIST_VIEW);
    for (int row = 0; row < app->GetListView()->GetItemCount(); ++row) app->GetListView()->SetSelected(row, true);
    Activate(ID_FORM2024);

    EXPECT_FALSE(app->GetMandate()->IsMandantOpen());
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
    for (const std::string& dir : dirs) {
        EXPECT_EQ(Version(dir + "/MWSTFORM.VTS"), "2024") << dir;
        EXPECT_NE(Log().find(Format(LoadString(IDS_END_FORM2024), dir)), std::string::npos) << dir;
    }
    EXPECT_NE(Log().find(Format(LoadString(IDS_LOG_FORM_UPDATED), dirs[1] + "/Mwstpau.lst")), std::string::npos);
}

}  // namespace

// An activation cut off is finished at the next open when its journal was
// written, and leaves the mandate's files as they were when it was not (or
// when the journal names a file out of the folder): never workbooks of two
// years side by side.
TEST(ActivationRecovery, FinishesAJournalledActivationAndDropsAnUnjournalledOne) {
    struct Case {
        const char* what;
        bool journal;             // finished under its journal
        std::string journalText;  // empty: none
        std::vector<std::string> staged;  // files still waiting in the staging folder
        std::string formAfter, listAfter;
    };
    const std::string whole = "mwst-activation 1\nMWSTFORM.VTS\nMwstform.lst\n";
    for (const Case& c :
         {Case{"no journal", false, "", {"MWSTFORM.VTS", "Mwstform.lst"}, "2018", "2018"},
          Case{"journal, nothing renamed yet", true, whole, {"MWSTFORM.VTS", "Mwstform.lst"}, "2024", "2024"},
          Case{"journal, one renamed already", true, whole, {"Mwstform.lst"}, "2024", "2024"},
          Case{"journal naming a file outside", false, "mwst-activation 1\n../MWSTFORM.VTS\n",
               {"MWSTFORM.VTS", "Mwstform.lst"}, "2018", "2018"}}) {
        TempDir dir;
        const std::string stage = dir.File(activation::kStagingName);
        std::filesystem::create_directory(stage);
        testsupport::WriteFileBytes(dir.File("MWSTFORM.VTS"), c.staged.size() == 2 ? "2018" : "2024");
        testsupport::WriteFileBytes(dir.File("Mwstform.lst"), "2018");
        for (const std::string& name : c.staged) testsupport::WriteFileBytes(stage + "/" + name, "2024");
        if (!c.journalText.empty()) testsupport::WriteFileBytes(dir.File(activation::kJournalName), c.journalText);

        EXPECT_EQ(activation::Recover(dir.Path().string()), c.journal) << c.what;
        EXPECT_EQ(testsupport::FileBytes(dir.File("MWSTFORM.VTS")), c.formAfter) << c.what;
        EXPECT_EQ(testsupport::FileBytes(dir.File("Mwstform.lst")), c.listAfter) << c.what;
        EXPECT_FALSE(std::filesystem::exists(stage)) << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir.File(activation::kJournalName))) << c.what;
    }
}
