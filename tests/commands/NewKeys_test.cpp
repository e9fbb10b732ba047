// "Neue Steuerschlüssel einfügen" and "Neue Steuerschlüssel entfernen".
#include <filesystem>
#include <fstream>

#include "app/CTheView.h"
#include "tests/commands/KeyCommandsFixture.h"

namespace {

const char* const kBakery =
    "key VSN77 7.7 107.7 netto 1170 Vorsteuer Material\n"
    "key USB77 7.7 107.7 brutto 2200 Umsatz brutto\n"
    "key V25 2.5 102.5 netto 1170 Vorsteuer reduziert\n"
    "key BEH37 3.7 103.7 netto 1170 Beherbergung\n"
    "key VSS24 7.7 107.7 netto 1170 Saldosteuer\n"
    "key N81 8.1 108.1 netto 1170 schon neu\n"
    "key Z0 0 100 netto 1170 steuerfrei\n"
    "account 1170 0 - Vorsteuer\n"
    "account 2200 1 - Geschuldete MWST\n";

const std::string kInsert = "Steuerschlüssel einfügen", kRemove = "Steuerschlüssel entfernen";

class NewKeysTest : public KeyCommandsFixture {};

// Without a form workbook no formula changed: the log says so once, and names no key as added to them.
TEST_F(NewKeysTest, InsertsANewKeyBesideEveryOldKeyAndLogsIt) {
    const std::string dir = OpenNew("baeckerei", kBakery);
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), Ran(kInsert, dir,
                             "BEH38 wurde eingefügt\n"
                             "USB81 wurde eingefügt\n"
                             "V26 wurde eingefügt\n"
                             "VSN81 wurde eingefügt\n"
                             "Kein verwendbares MWST-Formular im Mandanten (" + dir +
                                 "/MWSTFORM.VTS), Formeln nicht angepasst\n"));
    // The copy keeps entry flag, automatic account and text; rate and gross factor are new.
    EXPECT_EQ(Records("key"), (std::vector<std::string>{
                                  "key BEH37 3.7 103.7 netto 1170 Beherbergung",
                                  "key BEH38 3.8 103.8 netto 1170 Beherbergung",
                                  "key N81 8.1 108.1 netto 1170 schon neu",
                                  "key USB77 7.7 107.7 brutto 2200 Umsatz brutto",
                                  "key USB81 8.1 108.1 brutto 2200 Umsatz brutto",
                                  "key V25 2.5 102.5 netto 1170 Vorsteuer reduziert",
                                  "key V26 2.6 102.6 netto 1170 Vorsteuer reduziert",
                                  "key VSN77 7.7 107.7 netto 1170 Vorsteuer Material",
                                  "key VSN81 8.1 108.1 netto 1170 Vorsteuer Material",
                                  "key VSS24 7.7 107.7 netto 1170 Saldosteuer",
                                  "key Z0 0 100 netto 1170 steuerfrei",
                              }));
    EXPECT_TRUE(app->GetMandate()->IsMandantOpen());
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 0);
    EXPECT_EQ(app->m_changeFlag, 1);
}

TEST_F(NewKeysTest, GrossFactorFollowsItsOwnTextNotTheRate) {
    OpenNew("faktor", "key X25 2.5 107.7 netto - gemischt\nkey Y77 7.7 110 netto -\n");
    Command(ID_NEW_KEYS);
    EXPECT_EQ(Records("key"), (std::vector<std::string>{
                                  "key X25 2.5 107.7 netto - gemischt",
                                  "key X26 2.6 108.1 netto - gemischt",
                                  "key Y77 7.7 110 netto -",
                                  "key Y81 8.1 110 netto -",
                              }));
}

TEST_F(NewKeysTest, TwoOldKeysDerivingOneIdCreateItOnce) {
    const std::string dir = OpenNew("doppelt", "key VSN7 7.7 107.7 netto - erster\nkey VSN77 7.7 107.7 netto - zweiter\n");
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), Ran(kInsert, dir, "VSN81 wurde eingefügt\n"));
    EXPECT_EQ(Records("key").back(), "key VSN81 8.1 108.1 netto - erster");
}

TEST_F(NewKeysTest, AnIdTakenInAnotherLetterCaseIsNotInsertedAndNotConverted) {
    const std::string dir = OpenNew("klein", "key VSN77 7.7 107.7 netto -\nkey vsn81 8.1 108.1 netto -\n");
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), Ran(kInsert, dir,
                             "VSN77 nicht konvertiert: VSN81 besteht nur als vsn81 (andere Gross-/Kleinschreibung)\n"
                             "1 alte Schlüssel haben keinen neuen Schlüssel: der Schritt ist nicht erledigt\n"));
    EXPECT_EQ(Records("key").size(), 2u);
    EXPECT_EQ(app->m_changeFlag, 0);
}

TEST_F(NewKeysTest, OnlyTypeZeroAutomaticAccountsExtendTheFormulas) {
    const std::string dir = MakeMandate("konten", "key A77 7.7 107.7 netto 1000\nkey B77 7.7 107.7 netto 2000\n"
                                                  "key C77 7.7 107.7 netto 9999\naccount 1000 0 -\naccount 2000 1 -\n");
    WriteForm(dir, "2018");
    Open(dir);
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), Ran(kInsert, dir,
                             "A81 wurde eingefügt\nB81 wurde eingefügt\nC81 wurde eingefügt\nFormeln mit A81 ergänzt\n"));
}

TEST_F(NewKeysTest, TheFormulaEntryPointGetsEveryPair) {
    // Whatever the accounts' types, the super row keeps the old keys, the
    // ordinary row gets each new key beside its old key and the _spez row the new keys.
    const std::string dir = MakeMandate("formel", "key A77 7.7 107.7 netto 1000\nkey B77 7.7 107.7 netto 2000\n"
                                                  "account 1000 0 -\naccount 2000 1 -\n");
    const std::string form = WriteForm(dir, "2018",
                                       {{"II_7_a", "A77+B77", ""}, {"Z1", "A77+B77", ""}, {"II_7_a_spez", "Q", ""}});
    Open(dir);
    Command(ID_NEW_KEYS);
    EXPECT_EQ(formstest::MappingCell(form, 1, 2), "A77+B77");
    EXPECT_EQ(formstest::MappingCell(form, 2, 2), "A77+A81+B77+B81");
    EXPECT_EQ(formstest::MappingCell(form, 3, 2), "A81+B81");
}

TEST_F(NewKeysTest, ASecondInsertionInsertsNothingButStillHandsOverEveryPair) {
    const std::string dir = OpenNew("zweimal", "key A77 7.7 107.7 netto 1000\naccount 1000 0 -\n");
    Command(ID_NEW_KEYS);
    // A fresh form: the second run still renames the super row's formula into the _spez row.
    const std::string form =
        WriteForm(dir, "2018", {{"II_7_a", "A77", ""}, {"Z1", "A77", ""}, {"II_7_a_spez", "Q", ""}});
    app->GetLogView()->Clear();
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), Ran(kInsert, dir, "bereits erledigt\n"));
    EXPECT_EQ(formstest::MappingCell(form, 1, 2), "A77");
    EXPECT_EQ(formstest::MappingCell(form, 2, 2), "A77+A81");
    EXPECT_EQ(formstest::MappingCell(form, 3, 2), "A81");
}

TEST_F(NewKeysTest, TheActive2024FormRefusesInsertion) {
    const std::string dir = MakeMandate("form2024", "key A77 7.7 107.7 netto -\n");
    WriteForm(dir, "2024");
    Open(dir);
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), Refused(kInsert, dir,
                                 "   Grund: die neuen Steuerschlüssel fehlen, aber das MWST-Formular 2024 ist aktiv: "
                                 "zuerst \"MWST-Formular 2018 aktivieren\"\n"));
    EXPECT_EQ(Records("key").size(), 1u);
}

TEST_F(NewKeysTest, AReadOnlyMandateRefusesBoth) {
    const std::string dir = MakeMandate("nurlesen", "key A77 7.7 107.7 netto -\nkey A81 8.1 108.1 netto -\n");
    Tool({"read-only", dir, "on"});
    Open(dir);
    Command(ID_NEW_KEYS);
    Command(ID_NEW_KEYS_REVERSE);
    const std::string skipped = "Mandant " + dir + " ausgelassen: schreibgeschützt\n";
    EXPECT_EQ(LogText(), Begin(kInsert, dir) + skipped + Begin(kRemove, dir) + skipped);
    EXPECT_EQ(Records("key").size(), 2u);
}

TEST_F(NewKeysTest, WithoutAFormWorkbookBothRun) {
    OpenNew("ohneform", "key A77 7.7 107.7 netto -\n");
    Command(ID_NEW_KEYS);
    EXPECT_EQ(Records("key").size(), 2u);
    Command(ID_NEW_KEYS_REVERSE);
    EXPECT_EQ(Records("key"), std::vector<std::string>{"key A77 7.7 107.7 netto -"});
}

TEST_F(NewKeysTest, AFailedInsertIsLoggedAndInsertsNothing) {
    // The conversion table asks for an id longer than a key id can be.
    const std::string dir = MakeMandate("zulang", "key A77 7.7 107.7 netto -\nkey B77 7.7 107.7 netto -\n");
    std::ofstream(dir + "/quorvex.txt") << "A77==>VIELZULANG\n";
    Open(dir);
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), Refused(kInsert, dir, "VIELZULANG konnte nicht eingefügt werden (Status 21)\n" + NotCompleted(dir)));
    EXPECT_EQ(Records("key").size(), 2u);
    EXPECT_GT(app->Failures(), 0);
}

TEST_F(NewKeysTest, RemovalDeletesTheNewKeysNoBookingUses) {
    const std::string dir = MakeMandate("entfernen",
                                        "key A77 7.7 107.7 netto 1000\nkey B77 7.7 107.7 netto 2000\n"
                                        "key C25 2.5 102.5 netto 1000\nkey VSS76 7.7 107.7 netto 1000\n"
                                        "key A81 8.1 108.1 netto 1000\nkey B81 8.1 108.1 netto 2000\n"
                                        "key C26 2.6 102.6 netto 1000\nkey VSS81 8.1 108.1 netto 1000\n"
                                        "account 1000 0 -\naccount 2000 1 -\n"
                                        "booking 1 20240110 1000 100 C26 schon gebucht\n");
    WriteForm(dir, "2024");
    Open(dir);
    Command(ID_NEW_KEYS_REVERSE);
    EXPECT_EQ(LogText(), Ran(kRemove, dir,
                             "A81 wurde entfernt\nB81 wurde entfernt\nA81 aus Formeln entfernt\n"));
    // VSS76 is left alone: no key of the insertion's is its new key.
    EXPECT_EQ(Records("key"), (std::vector<std::string>{
                                  "key A77 7.7 107.7 netto 1000", "key B77 7.7 107.7 netto 2000",
                                  "key C25 2.5 102.5 netto 1000", "key C26 2.6 102.6 netto 1000",
                                  "key VSS76 7.7 107.7 netto 1000", "key VSS81 8.1 108.1 netto 1000"}));
}

TEST_F(NewKeysTest, RemovalRefusesAFormNewerThan2024) {
    const std::string dir = MakeMandate("form2025", "key A77 7.7 107.7 netto -\nkey A81 8.1 108.1 netto -\n");
    WriteForm(dir, "2025");
    Open(dir);
    Command(ID_NEW_KEYS_REVERSE);
    EXPECT_EQ(LogText(), Refused(kRemove, dir));
}

TEST_F(NewKeysTest, AFailedDeleteIsLoggedWithTheLibraryStatus) {
    const std::string dir = OpenNew("gesperrt", "key A77 7.7 107.7 netto -\nkey A81 8.1 108.1 netto -\n");
    // Another handle holds the new key's record lock: the delete is refused at once.
    const std::unique_ptr<KeyLock> holder = HoldKeyLock("A81");
    Command(ID_NEW_KEYS_REVERSE);
    EXPECT_EQ(LogText(), Refused(kRemove, dir, "A81 konnte nicht entfernt werden (Status 84)\n" + NotCompleted(dir)));
    holder->Release();
    EXPECT_EQ(Records("key").size(), 2u);
}

TEST_F(NewKeysTest, ABatchOfThreeSkipsTheOneThatDoesNotOpen) {
    const char* const records = "key A77 7.7 107.7 netto -\n";
    const std::string first = MakeMandate("eins", records), second = MakeMandate("zwei", records),
                      third = MakeMandate("drei", records);
    ListAndSelect({first, second, third});
    std::filesystem::rename(second + "/pendra.db", second + "/pendra.db.weg");
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), Ran(kInsert, first, "A81 wurde eingefügt\n") +
                         "Mandant " + second + " ausgelassen: kann nicht geöffnet werden\n" +
                         Ran(kInsert, third, "A81 wurde eingefügt\n") +
                         ">Ergebnis für 3 Mandanten: 2 konvertiert, 0 unverändert, 1 übersprungen (1 nicht zu öffnen), 0 fehlgeschlagen\n\n");
    EXPECT_FALSE(app->GetMandate()->IsMandantOpen());
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
    EXPECT_EQ(RecordsOf(third, "key").size(), 2u);
}

class NewKeysFrenchTest : public KeyCommandsFixture {
    std::string Culture() const override { return "fr-CH"; }
};

TEST_F(NewKeysFrenchTest, AFailedInsertIsLoggedInFrench) {
    const std::string dir = MakeMandate("francais", "key A77 7.7 107.7 netto -\n");
    std::ofstream(dir + "/quorvex.txt") << "A77==>TROPLONG\n";
    Open(dir);
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), ">Début \"Insertion code TVA\" pour le mandat " + dir + "\n"
                         "TROPLONG n'a pas pu être inséré (statut 21)\n"
                         "La commande n'a pas été achevée pour le mandat " + dir + ", le mandat est inchangé.\n"
                         ">Fin \"Insertion des codes TVA\" -> blocage\n\n");
}

}  // namespace
