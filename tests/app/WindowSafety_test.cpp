// The window's side of the run safety: "Probelauf" is an on/off switch under
// which a command changes nothing, a command takes a backup first, and
// "Sicherheitskopie zurückladen..." puts the chosen backup back after asking.
#include <QAction>
#include <filesystem>

#include "base/Format.h"
#include "core/Strings.h"
#include "mandate/MandateRun.h"
#include "backup/MandateBackup.h"
#include "tests/commands/KeyCommandsFixture.h"

namespace fs = std::filesystem;

namespace {

const char* const kKeys = "key A77 7.7 107.7 netto 1000\naccount 1000 0 A77\n";

class WindowSafety : public KeyCommandsFixture {};

TEST_F(WindowSafety, ProbelaufIsASwitchUnderWhichACommandChangesNothing) {
    const std::string dir = MakeMandate("probe", kKeys);
    Open(dir);
    EXPECT_FALSE(Frame().m_dryRun);
    Command(ID_DRY_RUN);
    Frame().UpdateCommandStates();
    ASSERT_NE(Frame().CommandAction(ID_DRY_RUN), nullptr);
    EXPECT_TRUE(Frame().CommandAction(ID_DRY_RUN)->isCheckable());
    EXPECT_TRUE(Frame().CommandAction(ID_DRY_RUN)->isChecked());

    Command(ID_NEW_KEYS);
    EXPECT_NE(LogText().find("A81 wurde eingefügt"), std::string::npos) << LogText();
    EXPECT_NE(Log().find(Format(LoadString(IDS_LOG_DRY_RUN_BEGIN), dir)), std::string::npos) << LogText();
    EXPECT_EQ(Records("key"), (std::vector<std::string>{"key A77 7.7 107.7 netto 1000"}));
    EXPECT_TRUE(backup::ListBackups(dir, ProductBackupSettings()).empty());

    Command(ID_DRY_RUN);
    Frame().UpdateCommandStates();
    EXPECT_FALSE(Frame().CommandAction(ID_DRY_RUN)->isChecked());
    Command(ID_NEW_KEYS);
    EXPECT_EQ(Records("key").size(), 2u);
    EXPECT_EQ(backup::ListBackups(dir, ProductBackupSettings()).size(), 1u);
}

TEST_F(WindowSafety, ProbelaufOverTheListsMandatesChangesNoneAndMarksEach) {
    const std::vector<std::string> dirs{MakeMandate("probe1", kKeys), MakeMandate("probe2", kKeys)};
    for (const std::string& dir : dirs) ASSERT_TRUE(app->AddMandate(dir));
    Command(ID_DRY_RUN);
    Command(ID_LIST_VIEW);
    Command(ID_MARKALL);
    Command(ID_NEW_KEYS);
    for (const std::string& dir : dirs) {
        EXPECT_NE(Log().find(Format(LoadString(IDS_LOG_DRY_RUN_BEGIN), dir)), std::string::npos) << LogText();
        EXPECT_NE(Log().find(Format(LoadString(IDS_LOG_DRY_RUN_END), dir)), std::string::npos) << LogText();
        EXPECT_TRUE(backup::ListBackups(dir, ProductBackupSettings()).empty()) << dir;
    }
    EXPECT_NE(LogText().find(">Probelauf beendet: 2 geprüft, nichts geändert\n"), std::string::npos) << LogText();
    for (const std::string& dir : dirs)
        EXPECT_EQ(RecordsOf(dir, "key"), (std::vector<std::string>{"key A77 7.7 107.7 netto 1000"})) << dir;
}

TEST_F(WindowSafety, RestoreOffersTheBackupsAsksAndPutsTheChosenOneBack) {
    const std::string dir = MakeMandate("zurueck", kKeys);
    EXPECT_FALSE(Enabled(ID_RESTORE_BACKUP)) << "only on an open mandate";
    Open(dir);
    EXPECT_TRUE(Enabled(ID_RESTORE_BACKUP));
    const std::vector<std::string> before = Records("key");

    // No backup yet: a box says so.
    Command(ID_RESTORE_BACKUP);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_EQ(seam.boxes[0].text, Format(LoadString(IDS_BACKUP_NONE), dir));
    EXPECT_TRUE(seam.choices.empty());

    Command(ID_NEW_KEYS);
    ASSERT_EQ(Records("key").size(), 2u);
    const std::vector<backup::Info> backups = backup::ListBackups(dir, ProductBackupSettings());
    ASSERT_EQ(backups.size(), 1u);

    // Chosen, then No: nothing happens.
    seam.choiceAnswers.push_back(0);
    seam.QueueAnswer(IDNO);
    Command(ID_RESTORE_BACKUP);
    ASSERT_EQ(seam.choices.size(), 1u);
    ASSERT_EQ(seam.choices[0].items.size(), 1u);
    EXPECT_NE(seam.choices[0].items[0].find(backups[0].id), std::string::npos);
    EXPECT_NE(seam.choices[0].items[0].find("  Neue Steuerschlüssel einfügen  "), std::string::npos)
        << "the command that followed, as the menu names it: " << seam.choices[0].items[0];
    ASSERT_TRUE(backups[0].original);
    EXPECT_TRUE(seam.choices[0].items[0].ends_with(")    Originalzustand")) << seam.choices[0].items[0];
    EXPECT_EQ(Records("key").size(), 2u);

    seam.choiceAnswers.push_back(0);
    seam.QueueAnswer(IDYES);
    Command(ID_RESTORE_BACKUP);
    ASSERT_TRUE(app->GetMandate()->IsMandantOpen()) << "opened again after the restore";
    EXPECT_EQ(Records("key"), before);
    const std::vector<backup::Info> after = backup::ListBackups(dir, ProductBackupSettings());
    ASSERT_EQ(after.size(), 2u);
    EXPECT_NE(Log().find(Format(LoadString(IDS_LOG_RESTORED), backups[0].id, after.back().id)), std::string::npos)
        << LogText();

    // The backup of the state the restore replaced is named after the restore, in French too.
    SetProcessPreferredUILanguages("fr-CH");
    seam.choiceAnswers.push_back(0);
    seam.QueueAnswer(IDNO);
    Command(ID_RESTORE_BACKUP);
    ASSERT_EQ(seam.choices.size(), 3u);
    const std::vector<std::string>& items = seam.choices.back().items;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_NE(items[0].find("  Restaurer une sauvegarde  "), std::string::npos) << items[0];
    EXPECT_NE(items[1].find("  Insérer nouveaux codes TVA  "), std::string::npos) << items[1];
    EXPECT_TRUE(items[0].ends_with(")")) << "only the original is marked: " << items[0];
    EXPECT_TRUE(items[1].ends_with(")    état d'origine")) << items[1];
    SetProcessPreferredUILanguages("de-CH");
}

}  // namespace
