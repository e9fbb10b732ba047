// The conversion commands meeting form workbooks they cannot use: a damaged
// workbook, none at all, one copied from Windows in other letter case, and
// the temporary files an interrupted replacement left in the mandate.
#include <filesystem>

#include "app/CTheView.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "forms/FormPassJournal.h"
#include "base/TempFileName.h"
#include "pendra/MandateAdmin.h"
#include "res/Resource.h"
#include "tests/forms/ActivationFixture.h"

namespace fs = std::filesystem;
using formstest::FileBytes;
using formstest::MappingCell;
using formstest::WriteForm;

namespace {

// VSN77 books to an account of type 0, so its formulas are adapted.
const std::vector<formstest::TaxKey> kKeys = {{"VSN77", 0.077f, "1170"}, {"USN25", 0.025f, "1170"}};
const std::vector<formstest::Account> kAccounts = {{"1170", 0}};

class WorkbookCommands : public ActivationFixture {
protected:
    void SetUp() override {
        ActivationFixture::SetUp();
        StartWithTemplates("");
    }
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
    std::string Unreadable(const std::string& path) const {
        const std::string line = Format(LoadString(IDS_LOG_FORM_UNREADABLE), path, std::string());
        return line.substr(0, line.size() - 2);
    }
};

// ---- A damaged workbook: found before any record changes -----------------------

TEST_F(WorkbookCommands, InsertionNamesTheDamagedWorkbookAndFails) {
    OpenMandate(kKeys, kAccounts);
    const std::string form = InMandate("MWSTFORM.VTS");
    formstest::WriteFileBytes(form, "keine Tabelle");
    Command(ID_NEW_KEYS);

    EXPECT_TRUE(LogHas(Unreadable(form))) << Log();
    EXPECT_TRUE(LogHas(Format(LoadString(IDS_LOG_NOT_COMPLETED), mandateDir))) << Log();
    EXPECT_FALSE(LogHas("VSN81 wurde eingefügt")) << Log();
    EXPECT_FALSE(fs::exists(InMandate(formpass::kJournalName))) << "no pass pending";
    EXPECT_EQ(FileBytes(form), "keine Tabelle");
    EXPECT_GE(app->Failures(), 1);
}

TEST_F(WorkbookCommands, RemovalOfNewKeysNamesTheDamagedWorkbookAndFails) {
    OpenMandate(kKeys, kAccounts);
    Command(ID_NEW_KEYS);
    const std::string form = InMandate("MWSTFORM.VTS");
    formstest::WriteFileBytes(form, "keine Tabelle");
    app->GetLogView()->ResetFailures();
    app->GetLogView()->Clear();
    Command(ID_NEW_KEYS_REVERSE);

    EXPECT_TRUE(LogHas(Unreadable(form))) << Log();
    EXPECT_TRUE(LogHas(Format(LoadString(IDS_LOG_NOT_COMPLETED), mandateDir))) << Log();
    EXPECT_FALSE(LogHas("VSN81 wurde entfernt")) << Log();
    EXPECT_EQ(FileBytes(form), "keine Tabelle");
    EXPECT_GE(app->Failures(), 1);
}

TEST_F(WorkbookCommands, RemovalOfOldKeysNamesTheDamagedWorkbookAndFails) {
    OpenMandate(kKeys, kAccounts);
    const std::string form = InMandate("MWSTFORM.VTS");
    formstest::WriteFileBytes(form, "keine Tabelle");
    seam.QueueAnswer(IDYES);
    Command(ID_REMOVE_KEYS);

    EXPECT_TRUE(LogHas(Unreadable(form))) << Log();
    EXPECT_EQ(FileBytes(form), "keine Tabelle");
    EXPECT_EQ(app->Failures(), 1);
}

// ---- No workbook ---------------------------------------------------------------

TEST_F(WorkbookCommands, InsertionWithoutAnyWorkbookSaysTheFormulasWereNotAdapted) {
    OpenMandate(kKeys, kAccounts);
    const std::string cwd = TempPath("arbeit");
    fs::create_directories(cwd);
    WriteForm(cwd + "/MWSTFORM.VTS", {{"II_7_a", "VSN77", ""}});
    const std::string foreign = FileBytes(cwd + "/MWSTFORM.VTS");
    formstest::InDirectory here(cwd);
    Command(ID_NEW_KEYS);

    EXPECT_TRUE(LogHas(Format(LoadString(IDS_LOG_NO_FORM_WORKBOOK), InMandate("MWSTFORM.VTS")))) << Log();
    EXPECT_FALSE(fs::exists(InMandate("MWSTFORM.VTS")));
    EXPECT_EQ(FileBytes(cwd + "/MWSTFORM.VTS"), foreign);
    EXPECT_EQ(app->Failures(), 0);
}

// ---- A workbook copied from Windows ---------------------------------------

TEST_F(WorkbookCommands, InsertionExtendsAWorkbookInOtherLetterCaseInPlace) {
    OpenMandate(kKeys, kAccounts);
    const std::string form = InMandate("Mwstform.vts");
    WriteForm(form, {{"II_7_a", "VSN77+USN25", ""}});
    Command(ID_NEW_KEYS);
    EXPECT_EQ(MappingCell(form, 1, 2), "VSN77+VSN81+USN25+USN26");
    EXPECT_FALSE(fs::exists(InMandate("MWSTFORM.VTS")));
}

// ---- Temporary files of an interrupted replacement ----------------------------

class StrayTempFiles : public WorkbookCommands {
protected:
    // A name as an interrupted save or copy leaves it beside `file`.
    std::string Stray(const std::string& file) const { return tempname::For(InMandate(file), "483920174"); }
};

TEST_F(StrayTempFiles, AreRemovedWhenTheMandateIsOpenedForTheNextCommand) {
    formstest::CreateMandateWith(mandateDir, kKeys, kAccounts);
    for (const char* file : {"MWSTFORM.VTS", "Mwstform.lst", "_MWSTPAU.VTS", formpass::kJournalName})
        formstest::WriteFileBytes(Stray(file), "halb");
    const std::vector<std::string> kept = {InMandate("MWSTFORM.VTS.tmp123"), InMandate("Mwstform.lst.backup"),
                                           InMandate("notizen.mwsttmp-abc")};
    for (const std::string& path : kept) formstest::WriteFileBytes(path, "bleibt");

    Frame().OpenMandate(mandateDir);
    ASSERT_TRUE(app->GetMandate()->IsMandantOpen());
    for (const char* file : {"MWSTFORM.VTS", "Mwstform.lst", "_MWSTPAU.VTS", formpass::kJournalName})
        EXPECT_FALSE(fs::exists(Stray(file))) << file;
    for (const std::string& path : kept) EXPECT_EQ(FileBytes(path), "bleibt") << path;
    EXPECT_TRUE(fs::exists(InMandate("pendra.db")));
}

TEST_F(StrayTempFiles, StayInAReadOnlyMandate) {
    formstest::CreateMandateWith(mandateDir, kKeys, kAccounts);
    ASSERT_EQ(SetMandateReadOnly(mandateDir, true), pendra::kOk);
    formstest::WriteFileBytes(Stray("MWSTFORM.VTS"), "halb");
    Frame().OpenMandate(mandateDir);
    ASSERT_TRUE(app->GetMandate()->IsMandantOpen());
    EXPECT_TRUE(fs::exists(Stray("MWSTFORM.VTS")));
}

}  // namespace
