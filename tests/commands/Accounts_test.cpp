// "Konti anpassen" and "Konti zurückstellen".
#include <sqlite3.h>

#include <fstream>

#include "pendra/BFile.h"
#include "pendra/Konto.h"
#include "pendra/PendraStatus.h"
#include "tests/commands/KeyCommandsFixture.h"

namespace {

const char* const kAccounts =
    "key VSN77 7.7 107.7 netto 1170\n"
    "key VSN81 8.1 108.1 netto 1170\n"
    "key USN25 2.5 102.5 netto 9999\n"
    "key VSS24 7.7 107.7 netto 1170\n"
    "account 1170 0 - Vorsteuer\n"
    "account 3000 1 USN25 Verkauf reduziert\n"
    "account 4000 0 VSN77 Material\n"
    "account 4400 0 vsn77 klein geschrieben\n"
    "account 4500 0 VSN77 Verpackung\n"
    "account 6000 0 VSS24 Saldo\n"
    "account 6500 0 VSN81 schon neu\n";

const std::string kAdapt = "Konti anpassen", kReset = "Konti zurückstellen";

class AccountsTest : public KeyCommandsFixture {};

TEST_F(AccountsTest, AdaptingSwitchesAccountsOfOldKeysInAccountOrder) {
    const std::string dir = OpenNew("anpassen", kAccounts);
    Command(ID_UPDATE_ACCOUNTS);
    // USN25 has no new key yet: its account stays, named, and the step is not
    // done. VSS24 is left alone by the rules: its accounts stay without a
    // word. vsn77 is another id.
    EXPECT_EQ(LogText(), Ran(kAdapt, dir,
                             "Konto 3000 bleibt auf USN25: USN26 ist nicht vorhanden – zuerst \"Neue "
                             "Steuerschlüssel einfügen\"\n"
                             "Konto 4000: VSN77 mit VSN81 ersetzt\nKonto 4500: VSN77 mit VSN81 ersetzt\n"
                             "1 Konti bleiben auf alten Steuerschlüsseln: der Schritt ist nicht erledigt\n"));
    EXPECT_EQ(Records("account"), (std::vector<std::string>{
                                      "account 1170 0 - Vorsteuer",
                                      "account 3000 1 USN25 Verkauf reduziert",
                                      "account 4000 0 VSN81 Material",
                                      "account 4400 0 vsn77 klein geschrieben",
                                      "account 4500 0 VSN81 Verpackung",
                                      "account 6000 0 VSS24 Saldo",
                                      "account 6500 0 VSN81 schon neu",
                                  }));
    EXPECT_TRUE(app->GetMandate()->IsMandantOpen());
}

TEST_F(AccountsTest, AdaptingTwiceChangesNothingTheSecondTime) {
    const std::string dir = OpenNew("zweimal", kAccounts);
    Command(ID_UPDATE_ACCOUNTS);
    app->GetLogView()->Clear();
    Command(ID_UPDATE_ACCOUNTS);
    EXPECT_EQ(LogText(), Ran(kAdapt, dir,
                             "Konto 3000 bleibt auf USN25: USN26 ist nicht vorhanden – zuerst \"Neue "
                             "Steuerschlüssel einfügen\"\n"
                             "1 Konti bleiben auf alten Steuerschlüsseln: der Schritt ist nicht erledigt\n"));
}

TEST_F(AccountsTest, ResettingGivesTheFirstOfTwoOldKeysAllTheirAccounts) {
    // VSN7 and VSN77 both derive VSN81; VSN7 comes first in the key file.
    const std::string dir = OpenNew("zurueck", "key VSN7 7.7 107.7 netto 1170\nkey VSN77 7.7 107.7 netto 1170\n"
                                              "key VSN81 8.1 108.1 netto 1170\n"
                                              "account 1170 0 -\naccount 4000 0 VSN77\naccount 4100 0 VSN7\n");
    Command(ID_UPDATE_ACCOUNTS);
    app->GetLogView()->Clear();
    Command(ID_UNDO_UPDATE_ACCOUNTS);
    EXPECT_EQ(LogText(), Ran(kReset, dir, "Konto 4000: VSN81 mit VSN7 ersetzt\nKonto 4100: VSN81 mit VSN7 ersetzt\n"));
    EXPECT_EQ(Records("account"), (std::vector<std::string>{"account 1170 0 -", "account 4000 0 VSN7",
                                                            "account 4100 0 VSN7"}));
}

TEST_F(AccountsTest, AFailedUpdateEndsTheRunAndChangesNoAccount) {
    const std::string dir = MakeMandate("fehler",
                                        "key A77 7.7 107.7 netto 1000\n"
                                        "key A81 8.1 108.1 netto 1000\n"
                                        "key B77 7.7 107.7 netto 1000\n"
                                        "key B81 8.1 108.1 netto 1000\n"
                                        "account 1000 0 A77\naccount 2000 0 B77\n");
    // The database refuses to change the account of B77, after that of A77 changed.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir + "/pendra.db").c_str(), &db), SQLITE_OK);
    const char* const refuse =
        "CREATE TRIGGER gesperrt BEFORE UPDATE ON konto WHEN OLD.taxid = CAST('B77' AS BLOB) "
        "BEGIN SELECT RAISE(ABORT, 'gesperrt'); END";
    EXPECT_EQ(sqlite3_exec(db, refuse, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    Open(dir);
    Command(ID_UPDATE_ACCOUNTS);
    const std::string log = LogText();
    EXPECT_EQ(log.rfind(Begin(kAdapt, dir) + "Konto 1000: A77 mit A81 ersetzt\n"
                                     "Konto 2000: B77 konnte nicht mit B81 ersetzt werden (",
                        0),
              0u)
        << log;
    EXPECT_NE(log.find(NotCompleted(dir) + End(kAdapt, dir)), std::string::npos) << log;
    EXPECT_EQ(Records("account"), (std::vector<std::string>{"account 1000 0 A77", "account 2000 0 B77"}));
    EXPECT_GT(app->Failures(), 0);
}

TEST_F(AccountsTest, NoAccountStaysLockedAfterARun) {
    OpenNew("sperren", kAccounts);
    Command(ID_UPDATE_ACCOUNTS);
    // Another handle can change every account at once: no lock was left behind.
    Mandate* mandate = app->GetMandate();
    BFile other(mandate);
    ASSERT_EQ(other.Open(mandate->GetKontoName(), BFile::kModeUpdate), pendra::kOk);
    Konto konto(mandate);
    konto.UseFile(&other);
    int accounts = 0;
    for (int status = konto.ReadFirst(); status == pendra::kOk; status = konto.ReadNext(), ++accounts)
        EXPECT_EQ(konto.Update(), pendra::kOk) << konto.GetNumber();
    EXPECT_EQ(accounts, 7);
}

TEST_F(AccountsTest, AReadOnlyMandateLogsBeginAndEndOnly) {
    const std::string dir = MakeMandate("nurlesen", kAccounts);
    Tool({"read-only", dir, "on"});
    Open(dir);
    Command(ID_UPDATE_ACCOUNTS);
    EXPECT_EQ(LogText(), Ran(kAdapt, dir, "Mandant " + dir + " ausgelassen: schreibgeschützt\n"));
    EXPECT_EQ(Records("account")[2], "account 4000 0 VSN77 Material");
}

TEST_F(AccountsTest, ABatchClosesEveryMandateAndShowsTheListAgain) {
    const std::string first = MakeMandate("eins", kAccounts);
    const std::string second = MakeMandate("zwei", kAccounts);
    ListAndSelect({first, second});
    Command(ID_UNDO_UPDATE_ACCOUNTS);
    EXPECT_EQ(LogText(), Ran(kReset, first, "Konto 6500: VSN81 mit VSN77 ersetzt\n") +
                         Ran(kReset, second, "Konto 6500: VSN81 mit VSN77 ersetzt\n") +
                         ">Ergebnis für 2 Mandanten: 2 konvertiert, 0 unverändert, 0 übersprungen, 0 fehlgeschlagen\n\n");
    EXPECT_FALSE(app->GetMandate()->IsMandantOpen());
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
}

}  // namespace
