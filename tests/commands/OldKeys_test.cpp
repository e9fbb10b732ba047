// "Alte Steuerschlüssel entfernen" and the used-key test.
#include "app/CTheView.h"
#include "commands/ConversionCommands.h"
#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/PendraStatus.h"
#include "tests/commands/KeyCommandsFixture.h"

namespace {

const char* const kOldKeys =
    "key A77 7.7 107.7 netto 1000\n"
    "key B77 7.7 107.7 netto 2000\n"
    "key C25 2.5 102.5 netto 9999\n"
    "key D37 3.7 103.7 netto 1000\n"
    "key VSS24 7.7 107.7 netto 1000\n"
    "key A81 8.1 108.1 netto 1000\n"
    "account 1000 0 -\n"
    "account 2000 1 -\n"
    "account 4000 0 A77 still defaulting to A77\n"
    "booking 1 20231201 4000 50 D37 used\n"
    "booking 2 20231202 4000 60 a77 other letter case\n";

class OldKeysTest : public KeyCommandsFixture {
protected:
    std::string End(const std::string& dir) const {
        return ">Alte Steuerschlüssel entfernt für Mandant " + dir + "\n\n";
    }
};

TEST_F(OldKeysTest, NoIsTheDefaultAnswerAndDoesNothing) {
    const std::string dir = MakeMandate("nein", kOldKeys);
    WriteForm(dir, "2024");
    Open(dir);
    Command(ID_REMOVE_KEYS);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text.rfind("Achtung, bitte diese Funktion erst ausführen", 0), 0u);
    EXPECT_EQ(seam.boxes[0].type, unsigned(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Records("key").size(), 6u);
}

TEST_F(OldKeysTest, RemovesUnusedOldKeysAndKeepsUsedOnes) {
    const std::string dir = MakeMandate("entfernen", kOldKeys);
    const std::string form =
        WriteForm(dir, "2024", {{"II_7_a", "A77+A81+B77", ""}, {"Z1", "A77+A81+B77", ""}, {"II_7_a_spez", "A81", ""}});
    Open(dir);
    seam.QueueAnswer(IDYES);
    Command(ID_REMOVE_KEYS);
    // An account defaulting to A77 keeps it, named; a booking with a77 does
    // not; the booked D37 is counted; VSS24 is left alone by the rules.
    EXPECT_EQ(LogText(), "A77 nicht entfernt: Konto 4000 hat ihn als Vorgabe\n"
                         "B77 wurde entfernt\n"
                         "C25 wurde entfernt\n"
                         "1 alte Schlüssel werden noch gebucht, sie bleiben bis alle Buchungen mit ihnen "
                         "abgeschlossen sind\n" +
                             End(dir));
    EXPECT_EQ(Records("key"), (std::vector<std::string>{"key A77 7.7 107.7 netto 1000", "key A81 8.1 108.1 netto 1000",
                                                        "key D37 3.7 103.7 netto 1000",
                                                        "key VSS24 7.7 107.7 netto 1000"}));
    EXPECT_EQ(app->m_changeFlag, 1);
    // Exactly the removed keys leave the formulas; the 2024 form's _spez row stays.
    EXPECT_EQ(formstest::MappingCell(form, 1, 2), "A77+A81");
    EXPECT_EQ(formstest::MappingCell(form, 2, 2), "A77+A81");
    EXPECT_EQ(formstest::MappingCell(form, 3, 2), "A81");
}

TEST_F(OldKeysTest, WithoutThe2024FormNothingIsTouched) {
    for (const std::string version : {"2018", ""}) {
        const std::string dir = MakeMandate("form" + version, kOldKeys);
        if (!version.empty()) WriteForm(dir, version);
        Open(dir);
        app->GetLogView()->Clear();
        seam.QueueAnswer(IDYES);
        Command(ID_REMOVE_KEYS);
        EXPECT_EQ(LogText(), "MWST-Formular 2024 muss zuerst aktiviert werden!\n") << version;
        EXPECT_EQ(Records("key").size(), 6u);
        Frame().CloseMandate();
    }
}

TEST_F(OldKeysTest, AMandateWithoutOldKeysHasItDoneAlready) {
    const std::string dir = MakeMandate("ohne", "key A81 8.1 108.1 netto -\n");
    WriteForm(dir, "2024");
    Open(dir);
    seam.QueueAnswer(IDYES);
    Command(ID_REMOVE_KEYS);
    EXPECT_EQ(LogText(), "bereits erledigt\n" + End(dir));
}

TEST_F(OldKeysTest, AFailedDeleteIsLoggedWithTheLibraryStatus) {
    const std::string dir = MakeMandate("gesperrt", "key A77 7.7 107.7 netto -\n");
    WriteForm(dir, "2024");
    Open(dir);
    const std::unique_ptr<KeyLock> holder = HoldKeyLock("A77");
    seam.QueueAnswer(IDYES);
    Command(ID_REMOVE_KEYS);
    holder->Release();
    EXPECT_EQ(LogText(), "A77 konnte nicht entfernt werden (Status 84)\n" + NotCompleted(dir));
    EXPECT_EQ(Records("key").size(), 1u);
}

TEST_F(OldKeysTest, ABatchHasNoBeginLineAndTellsEveryMandate) {
    const std::string first = MakeMandate("eins", kOldKeys), second = MakeMandate("zwei", kOldKeys);
    WriteForm(second, "2024");
    ListAndSelect({first, second});
    seam.QueueAnswer(IDYES);
    Command(ID_REMOVE_KEYS);
    EXPECT_EQ(LogText(), "MWST-Formular 2024 muss zuerst aktiviert werden!\n"
                         "A77 nicht entfernt: Konto 4000 hat ihn als Vorgabe\n"
                         "B77 wurde entfernt\n"
                         "C25 wurde entfernt\n"
                         "1 alte Schlüssel werden noch gebucht, sie bleiben bis alle Buchungen mit ihnen "
                         "abgeschlossen sind\n" +
                             End(second) +
                             ">Ergebnis für 2 Mandanten: 1 konvertiert, 0 unverändert, 1 übersprungen (1 vom Befehl abgelehnt), 0 fehlgeschlagen\n\n");
    EXPECT_FALSE(app->GetMandate()->IsMandantOpen());
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
}

// The removals ask the booking file whether any booking carries each key:
// exactly, never in another letter case or as a prefix.
TEST_F(OldKeysTest, TheUsedKeyTestIsExact) {
    OpenNew("genau", kOldKeys);
    Mandate& mandate = Ctx().mandate;
    BFile file(&mandate);
    ASSERT_EQ(file.Open(mandate.GetBuchName(), BFile::kModeReadOnly), pendra::kOk);
    Buch buch(&mandate);
    buch.UseFile(&file);
    const std::vector<std::string> ids{"D37", "a77", "A77", "d37", "D3", "VIELZULANG"};
    std::vector<int> found;
    ASSERT_EQ(buch.ExistsWithTaxIds(ids, found), pendra::kOk);
    const std::vector<bool> used{true, true, false, false, false, false};
    for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(found.at(i) == pendra::kOk, used[i]) << ids[i];
}

}  // namespace
