// What the key and account commands must never do: delete a key in doubt,
// delete an old key while removing new ones, take a read error for the end of
// a table, leave half a command behind, or sum a key twice.
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "forms/FormPassJournal.h"
#include "commands/ConversionCommands.h"
#include "tests/commands/KeyCommandsFixture.h"

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<formstest::Row>;

class CommandSafetyTest : public KeyCommandsFixture {
protected:
    static void Sql(const std::string& dir, const std::string& statement) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((dir + "/pendra.db").c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << statement;
        sqlite3_close(db);
    }
    // A mandate of 3000 keys whose key table has a page overwritten in the middle.
    std::string DamagedMandate(const std::string& name) {
        std::string keys;
        for (int i = 0; i < 3000; ++i) keys += "key K" + std::to_string(10000 + i).substr(1) + "7 7.7 107.7 netto -\n";
        const std::string dir = MakeMandate(name, keys);
        std::fstream db(dir + "/pendra.db", std::ios::in | std::ios::out | std::ios::binary);
        db.seekp(static_cast<std::streamoff>(fs::file_size(dir + "/pendra.db") / 2 / 4096 * 4096));
        const std::string garbage(4096, '\x5a');
        db.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
        return dir;
    }
    // Columns 2 and 3 of the mapping sheet's first `rows` rows.
    static std::vector<std::string> Cells(const std::string& form, long rows) {
        std::vector<std::string> cells;
        for (long row = 1; row <= rows; ++row)
            for (long col : {2L, 3L}) cells.push_back(formstest::MappingCell(form, row, col));
        return cells;
    }
};

// ---- Removal of new keys --------------------------------------------------------

TEST_F(CommandSafetyTest, RemovingNewKeysNeverDeletesAKeyAtAnOldRate) {
    // X81 at 7.7 % derives X81 itself; the table points V25 at the old key VSN77.
    const std::string dir = MakeMandate("altersatz", "key X81 7.7 107.7 netto -\nkey V25 2.5 102.5 netto -\n"
                                                     "key VSN77 7.7 107.7 netto -\nkey VSN81 8.1 108.1 netto -\n");
    std::ofstream(dir + "/quorvex.txt") << "V25==>VSN77\n";
    Open(dir);
    Command(ID_NEW_KEYS_REVERSE);
    EXPECT_EQ(LogText(), Ran("Steuerschlüssel entfernen", dir,
                             "VSN77 nicht entfernt, weil sein Satz ein alter Satz ist\nVSN81 wurde entfernt\n"
                             "X81 nicht entfernt, weil sein Satz ein alter Satz ist\n"));
    EXPECT_EQ(Records("key"), (std::vector<std::string>{"key V25 2.5 102.5 netto -", "key VSN77 7.7 107.7 netto -",
                                                        "key X81 7.7 107.7 netto -"}));
}

const char* const kBookedNewKey =
    "key A77 7.7 107.7 netto 1000\nkey A81 8.1 108.1 netto 1000\n"
    "key B77 7.7 107.7 netto 1000\nkey B81 8.1 108.1 netto 1000\n"
    "account 1000 0 -\n"
    "booking 1 20240105 1000 10 B81 schon gebucht\n";

TEST_F(CommandSafetyTest, RemovingNewKeysOnThe2024FormTakesOutExactlyTheRemovedKeys) {
    const std::string dir = MakeMandate("form2024", kBookedNewKey);
    const std::string form = WriteForm(dir, "2024", {{"II_7_a", "A77+A81+B81+X", "A81_st"},
                                                     {"Z1", "A81+B81", ""},
                                                     {"II_7_a_spez", "A81+B81+Q", "Q"}});
    Open(dir);
    Command(ID_NEW_KEYS_REVERSE);
    EXPECT_EQ(Records("key").size(), 3u);  // B81 is booked and stays
    EXPECT_EQ(Cells(form, 3), (std::vector<std::string>{"A77+B81+X", "0", "B81", "0", "B81+Q", "Q"}));
}

TEST_F(CommandSafetyTest, RemovingNewKeysOnThe2018FormUndoesTheExtendPassButKeepsKeysStillThere) {
    const std::string dir = MakeMandate("form2018", kBookedNewKey);
    const std::string form = WriteForm(dir, "2018", {{"II_7_a", "A77+B77", ""},
                                                     {"Z1", "A77+A81+B77+B81", ""},
                                                     {"II_7_a_spez", "A81+B81", ""}});
    Open(dir);
    Command(ID_NEW_KEYS_REVERSE);
    // B81 is booked and stays, counted once, where the form has the new rates.
    EXPECT_EQ(Cells(form, 3), (std::vector<std::string>{"A77+B77", "0", "A77+B77+B81", "0", "B81", "0"}));
}

// ---- Doubt keeps a key ----------------------------------------------------------

TEST_F(CommandSafetyTest, ABookingFileThatCannotBeReadKeepsEveryKey) {
    const std::string dir = MakeMandate("buchungen", "key A77 7.7 107.7 netto -\nkey A81 8.1 108.1 netto -\n");
    WriteForm(dir, "2024");
    Open(dir);
    Sql(dir, "ALTER TABLE buch RENAME TO buch_unlesbar");
    seam.QueueAnswer(IDYES);
    Command(ID_REMOVE_KEYS);
    Command(ID_NEW_KEYS_REVERSE);
    EXPECT_NE(LogText().find("beschädigt (no such table: main.buch)"), std::string::npos) << LogText();
    EXPECT_EQ(Records("key").size(), 2u);
    EXPECT_GT(app->Failures(), 0);
}

TEST_F(CommandSafetyTest, ADamagedKeyTableStopsTheCommandAndChangesNothing) {
    const std::string dir = DamagedMandate("beschaedigt");
    const std::string form = WriteForm(dir, "2018");
    const std::string before = formstest::FileBytes(form);
    Frame().OpenMandate(dir);
    ASSERT_TRUE(app->GetMandate()->IsMandantOpen());
    Command(ID_NEW_KEYS);
    const std::string log = LogText();
    // Found by the check of the tables as the command starts, before it reads or changes anything.
    EXPECT_NE(log.find("Die Daten des Mandanten " + dir + " sind beschädigt (Page "), std::string::npos) << log;
    EXPECT_NE(log.find(NotCompleted(dir)), std::string::npos) << log;
    EXPECT_NE(log.find("-> gesperrt"), std::string::npos) << log;
    EXPECT_GT(app->Failures(), 0);
    EXPECT_EQ(formstest::FileBytes(form), before);
    EXPECT_FALSE(fs::exists(formpass::JournalPath(dir)));
}

TEST_F(CommandSafetyTest, ADamagedKeyTableKeepsTheWorkbooksAndShowsNoOverview) {
    const std::string dir = DamagedMandate("nichtlesbar");
    const std::string form = WriteForm(dir, "2018");
    const std::string before = formstest::FileBytes(form);
    Frame().OpenMandate(dir);
    ASSERT_TRUE(app->GetMandate()->IsMandantOpen());
    seam.QueueAnswer(IDYES);
    Command(ID_FORM2024);
    EXPECT_EQ(formstest::FileBytes(form), before);
    EXPECT_FALSE(fs::exists(dir + "/_MWSTFRM.VTS"));
    EXPECT_NE(LogText().find(NotCompleted(dir)), std::string::npos) << LogText();
    const std::size_t boxes = seam.boxes.size();
    Command(ID_SHOWKEYS);
    ASSERT_EQ(seam.boxes.size(), boxes + 1);
    // The reason the command gave, not a list that looks complete.
    EXPECT_TRUE(seam.boxes.back().text.starts_with("Die Daten des Mandanten " + dir + " sind beschädigt ("))
        << seam.boxes.back().text;
    EXPECT_GE(app->Failures(), 2);
}

// ---- All or nothing, and again -------------------------------------------------

TEST_F(CommandSafetyTest, AFailedInsertLeavesRecordsAndWorkbookAsTheyWere) {
    const std::string dir = MakeMandate("halb", "key A77 7.7 107.7 netto 1000\nkey B77 7.7 107.7 netto 1000\n"
                                                "account 1000 0 -\n");
    std::ofstream(dir + "/quorvex.txt") << "B77==>VIELZULANG\n";
    const std::string form = WriteForm(dir, "2018", {{"Z1", "A77+B77", ""}});
    const std::string before = formstest::FileBytes(form);
    Open(dir);
    Command(ID_NEW_KEYS);
    EXPECT_EQ(Records("key").size(), 2u);  // A81 was inserted first and rolled back
    EXPECT_EQ(formstest::FileBytes(form), before);
    EXPECT_FALSE(fs::exists(formpass::JournalPath(dir)));
}

TEST_F(CommandSafetyTest, InsertingTwiceLeavesTheWorkbookAsInsertingOnce) {
    const std::string dir = MakeMandate("zweimal", "key A77 7.7 107.7 netto 1000\nkey B77 7.7 107.7 netto 1000\n"
                                                   "account 1000 0 -\n");
    const std::string form = WriteForm(dir, "2018", {{"II_7_a", "A77+B77", "A77_st"},
                                                     {"Z1", "A77+B77+C", "B77_st"},
                                                     {"II_7_a_spez", "", ""}});
    Open(dir);
    Command(ID_NEW_KEYS);
    const std::vector<std::string> once = Cells(form, 3);
    EXPECT_EQ(once, (std::vector<std::string>{"A77+B77", "A77_st", "A77+A81+B77+B81+C", "B77_st+B81_st", "A81+B81",
                                              "A81_st"}));
    const std::vector<std::string> keys = Records("key");
    Command(ID_NEW_KEYS);
    EXPECT_EQ(Cells(form, 3), once);
    EXPECT_EQ(Records("key"), keys);
}

TEST_F(CommandSafetyTest, APassCutOffAfterTheCommitIsFinishedByTheNextCommand) {
    // The records of a committed insertion, its journal, and the workbook it never reached.
    const char* const records = "key A77 7.7 107.7 netto 1000\nkey A81 8.1 108.1 netto 1000\naccount 1000 0 -\n";
    const Rows rows{{"II_7_a", "A77", ""}, {"Z1", "A77", ""}, {"II_7_a_spez", "", ""}};
    const std::string dir = MakeMandate("abgebrochen", records);
    const std::string form = WriteForm(dir, "2018", rows);
    FormPass pass{FormPass::Kind::kExtend, {"A77"}, {"A81"}, {"A77^^_^^A81"}, {"A81"}, {}, {"A81"}};
    std::string reason;
    ASSERT_TRUE(formpass::Save(dir, pass, reason)) << reason;
    // The same insertion, uninterrupted.
    const std::string twin = MakeMandate("durchgelaufen", "key A77 7.7 107.7 netto 1000\naccount 1000 0 -\n");
    const std::string twinForm = WriteForm(twin, "2018", rows);
    Open(twin);
    Command(ID_NEW_KEYS);
    Frame().CloseMandate();

    Open(dir);
    app->GetLogView()->Clear();
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText().rfind(">Beginn \"Steuerschlüssel einfügen\"", 0), 0u);
    // The formulas are told as by the command that committed them, once the workbook holds them.
    EXPECT_NE(LogText().find("Formeln mit A81 ergänzt\nAusstehende Formelanpassung"), std::string::npos) << LogText();
    EXPECT_EQ(Cells(form, 3), Cells(twinForm, 3));
    EXPECT_FALSE(fs::exists(formpass::JournalPath(dir)));
    const std::vector<std::string> keys = Records("key");
    EXPECT_EQ(keys, RecordsOf(twin, "key"));
}

TEST_F(CommandSafetyTest, AJournalWhoseCommitNeverHappenedIsDropped) {
    const std::string dir = MakeMandate("nie", "key A77 7.7 107.7 netto 1000\naccount 1000 0 -\n");
    const std::string form = WriteForm(dir, "2024", {{"Z1", "A77", ""}});
    FormPass pass{FormPass::Kind::kRemoveKeys, {"A77"}, {}, {}, {}, {"A77"}, {}};  // A77 is still there
    std::string reason;
    ASSERT_TRUE(formpass::Save(dir, pass, reason)) << reason;
    Open(dir);
    Command(ID_NEW_KEYS_REVERSE);
    EXPECT_EQ(formstest::MappingCell(form, 1, 2), "A77");
    EXPECT_FALSE(fs::exists(formpass::JournalPath(dir)));
}

TEST_F(CommandSafetyTest, AnExtendPassLeftOverNeverReachesThe2024FormThatReplacedItsWorkbook) {
    // Insertion committed, its pass cut off; the 2024 form then replaced the
    // workbook. The 2024 form sums the new keys itself: the pass would count them twice.
    const std::string dir = MakeMandate("ersetzt", "key A77 7.7 107.7 netto 1000\nkey A81 8.1 108.1 netto 1000\n"
                                                   "account 1000 0 -\n");
    const std::string form = WriteForm(dir, "2024", {{"Z1", "A77", ""}, {"Z2", "A81", ""}});
    FormPass pass{FormPass::Kind::kExtend, {"A77"}, {"A81"}, {"A77^^_^^A81"}, {"A81"}, {}, {"A81"}};
    std::string reason;
    ASSERT_TRUE(formpass::Save(dir, pass, reason)) << reason;
    Open(dir);
    Command(ID_UPDATE_ACCOUNTS);
    EXPECT_EQ(formstest::MappingCell(form, 1, 2), "A77");
    EXPECT_EQ(formstest::MappingCell(form, 2, 2), "A81");
    EXPECT_NE(LogText().find("Die ausstehende Formelanpassung des letzten Befehls entfällt"), std::string::npos)
        << LogText();
    EXPECT_FALSE(fs::exists(formpass::JournalPath(dir)));
}

TEST(FormPassJournal, TextRoundTripAndDamage) {
    const FormPass pass{FormPass::Kind::kUndoExtend, {"A81", "ÄB81"}, {}, {"A77^^_^^A81"}, {"X"}, {"A81"}, {"ÄB81"}};
    const std::optional<FormPass> back = formpass::FromText(formpass::ToText(pass));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, pass.kind);
    EXPECT_EQ(back->first, pass.first);
    EXPECT_EQ(back->pairs, pass.pairs);
    EXPECT_EQ(back->inserted, pass.inserted);
    EXPECT_EQ(back->deleted, pass.deleted);
    EXPECT_EQ(back->logged, pass.logged);
    for (const char* damaged : {"", "mwst-formpass 2\nkind extend\n", "mwst-formpass 1\nfirst A\n",
                                "mwst-formpass 1\nkind extend\nother A\n", "mwst-formpass 1\nkind\n"})
        EXPECT_FALSE(formpass::FromText(damaged)) << damaged;
}

}  // namespace
