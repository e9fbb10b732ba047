// Backups of file and SQL mandates: a restore gives back exactly the records
// and files of before, retention, where backups go, backups that cannot be
// written, and that a backup folder is never taken for a mandate.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "core/Strings.h"
#include "backup/MandateBackup.h"
#include "pendra/MIniSetHelper.h"
#include "pendra/SqliteEngine.h"
#include "mandate/tools/MandateText.h"
#include "tests/pendra/EngineTestSupport.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileModes.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

constexpr const char* kRecords =
    "setting 0 27 0\n"
    "key VSS77 7.7 107.7 netto 2200 Normalsatz\n"
    "key VSR25 2.5 102.5 brutto 2201 Reduzierter Satz\n"
    "key NEUÄÄ1 3.7 103.7 netto - Sondersatz\n"
    "account 1000 0 - Kasse\n"
    "account 3000 0 VSS77 Erlös Waren\n"
    "booking 1 20231231 3000 100.5 VSS77 Verkauf\n"
    "booking 2 20231231 3000 -20.25 VSR25 Gutschrift\n";

// Every regular file at the top of the mandate directory except the database
// and its lock and journal files, by name.
std::map<std::string, std::string> OurFiles(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.starts_with("pendra")) continue;
        files[name] = FileBytes(entry.path().string());
    }
    return files;
}

void Load(Mandate& mandate, const std::string& text) {
    mandant::ParsedText parsed = mandant::ParseMandateText(text);
    ASSERT_TRUE(parsed.errors.empty()) << parsed.errors.front().ToString();
    mandant::TextError error;
    ASSERT_EQ(mandant::LoadIntoMandate(mandate, parsed, error), pendra::kOk) << error.ToString();
}

// Entries in a folder.
std::ptrdiff_t Entries(const std::string& folder) {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

// Run once on a file mandate and once on an SQL mandate.
class Backup : public BothEnginesTest {
protected:
    void Prepare() override {
        dir_ = Create("Bäckerei Test AG");
        mandate_ = std::make_unique<Mandate>();
        ASSERT_EQ(mandate_->OpenMandateFiles(dir_), pendra::kOk);
        Load(*mandate_, kRecords);
        WriteFileBytes(dir_ + "/MWSTFORM.VTS", "workbook 2018 effective\n");
        WriteFileBytes(dir_ + "/_MWSTFRM.VTS", "workbook 2018 flat rate\n");
        WriteFileBytes(dir_ + "/Mwstform.lst", "list\n");
        WriteFileBytes(dir_ + "/quorvex.txt", "VSS77 ==> VSS81\n");
        HoldExclusively();
    }

    void HoldExclusively() {
        if (sql_) {
            ASSERT_TRUE(mandate_->TryGetExclusiveLock(0));
        } else {
            exclusive_ = std::make_unique<MIniSetHelper>(mandate_.get(), false);
            ASSERT_EQ(exclusive_->OpenExclusive(), 0);
        }
    }

    static std::string WithoutBookings(const std::string& dump) {
        std::istringstream lines(dump);
        std::string kept;
        for (std::string line; std::getline(lines, line);)
            if (!line.starts_with("booking ")) kept += line + "\n";
        return kept;
    }

    // The records as mwst-mandant dump writes them.
    std::string Dump() {
        std::ostringstream out;
        mandant::DumpMandate(*mandate_, out);
        return out.str();
    }

    // The records and our files, to compare with later: all the same, or the
    // same but for the bookings, which a restore leaves as they are.
    struct State {
        std::string dump;
        std::map<std::string, std::string> files;
    };
    State Now() { return {Dump(), OurFiles(dir_)}; }
    void ExpectState(const State& state, bool bookingsToo = true) {
        if (bookingsToo) EXPECT_EQ(Dump(), state.dump);
        else EXPECT_EQ(WithoutBookings(Dump()), WithoutBookings(state.dump));
        EXPECT_EQ(OurFiles(dir_), state.files);
    }

    // What a caller does after a restore: close, open again, hold exclusively.
    void Reopen() {
        exclusive_.reset();
        mandate_ = std::make_unique<Mandate>();
        ASSERT_EQ(mandate_->OpenMandateFiles(dir_), pendra::kOk);
        HoldExclusively();
    }

    // A command's changes: records, a replaced workbook, a new one, a removed
    // companion file; and a booking made after it, on a key of before.
    void Change() {
        Load(*mandate_, "key VSS81 8.1 108.1 netto 2200 Normalsatz 2024\nbooking 3 20240105 3000 7 VSS77 Neu\n");
        ASSERT_EQ(mandate_->SetIniLong(0, 27, 1), pendra::kOk);
        WriteFileBytes(dir_ + "/MWSTFORM.VTS", "workbook 2024 effective, much longer than before\n");
        WriteFileBytes(dir_ + "/MWSTPAU.VTS", "workbook 2024 flat rate\n");
        fs::remove(dir_ + "/Mwstform.lst");
    }

    backup::Settings settings_;
    std::string dir_;
    std::unique_ptr<Mandate> mandate_;
    std::unique_ptr<MIniSetHelper> exclusive_;
};

INSTANTIATE_TEST_SUITE_P(Engines, Backup, BothEngines(), EngineName);

TEST_P(Backup, RestoreGivesBackTheRecordsAndFilesOfBefore) {
    const State before = Now();
    ASSERT_NE(before.dump.find("key VSR25"), std::string::npos) << before.dump;
    ASSERT_NE(before.dump.find("booking 2 "), std::string::npos) << before.dump;

    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(taken.Ok()) << taken.error->Describe();
    Change();
    ASSERT_NE(Dump(), before.dump);
    ASSERT_NE(Dump().find("key VSS81"), std::string::npos);

    const backup::Restored restored = backup::RestoreBackup(*mandate_, "", "restore", settings_);
    ASSERT_TRUE(restored.Ok()) << restored.error->Describe();
    EXPECT_EQ(restored.id, taken.id);
    EXPECT_FALSE(restored.safetyId.empty());
    Reopen();
    ExpectState(before, false);
    EXPECT_NE(Dump().find("booking 3 20240105"), std::string::npos) << "a booking made since stays";
    EXPECT_FALSE(fs::exists(dir_ + "/MWSTPAU.VTS")) << "not there when the backup was taken";

    // The state the restore replaced is a backup of its own, and puts the change back.
    const std::vector<backup::Info> backups = backup::ListBackups(dir_, settings_);
    ASSERT_EQ(backups.size(), 2u);
    EXPECT_EQ(backups.back().id, restored.safetyId);
    EXPECT_EQ(backups.back().reason, "restore");
    const backup::Restored undone = backup::RestoreBackup(*mandate_, restored.safetyId, "restore", settings_);
    ASSERT_TRUE(undone.Ok()) << undone.error->Describe();
    Reopen();
    EXPECT_NE(Dump().find("key VSS81"), std::string::npos);
    EXPECT_NE(Dump().find("setting 0 27 1"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir_ + "/MWSTPAU.VTS"));
    EXPECT_FALSE(fs::exists(dir_ + "/Mwstform.lst"));
}

TEST_P(Backup, RestoreThatWouldRemoveABookedKeyIsRefusedAndChangesNothing) {
    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(taken.Ok()) << taken.error->Describe();
    Change();
    Load(*mandate_, "booking 4 20240115 3000 8.1 VSS81 Neu\nbooking 5 20240116 3000 8.1 VSS81 Neu\n");
    const State before = Now();

    const backup::Restored restored = backup::RestoreBackup(*mandate_, "", "restore", settings_);
    ASSERT_FALSE(restored.Ok());
    EXPECT_EQ(restored.error->code, backup::Error::Code::kBookedKeys);
    EXPECT_EQ(restored.error->path, "VSS81");
    EXPECT_EQ(restored.error->detail, "2");
    Reopen();
    ExpectState(before);
    EXPECT_EQ(backup::ListBackups(dir_, settings_).size(), 1u) << "no backup of the state before is left";
    EXPECT_FALSE(fs::exists(dir_ + "/" + backup::kRestoreJournalName));
}

TEST_P(Backup, ListNamesWhenWhatFollowedAndSize) {
    const auto before = std::chrono::system_clock::now() - std::chrono::seconds(1);
    ASSERT_TRUE(backup::TakeBackup(*mandate_, "Steuerschlüssel einfügen\r\nzweite Zeile", settings_).Ok());
    ASSERT_TRUE(backup::TakeBackup(*mandate_, "form-2024", settings_).Ok());
    const std::vector<backup::Info> backups = backup::ListBackups(dir_, settings_);
    ASSERT_EQ(backups.size(), 2u);
    EXPECT_EQ(backups[0].reason, "Steuerschlüssel einfügen  zweite Zeile");
    EXPECT_EQ(backups[1].reason, "form-2024");
    EXPECT_LT(backups[0].id, backups[1].id);
    for (const backup::Info& info : backups) {
        EXPECT_GE(info.when, before);
        EXPECT_LE(info.when, std::chrono::system_clock::now());
        EXPECT_GT(info.size, FileBytes(dir_ + "/MWSTFORM.VTS").size());
        EXPECT_EQ(info.sql, sql_);
        EXPECT_EQ(fs::path(info.path).parent_path(), fs::path(dir_) / ".mwst-backup");
    }
}

TEST_P(Backup, RetentionKeepsExactlyTheConfiguredNumber) {
    settings_.keep = 3;
    std::vector<std::string> ids;
    for (int i = 0; i < 5; ++i) {
        const backup::Taken taken = backup::TakeBackup(*mandate_, "run " + std::to_string(i), settings_);
        ASSERT_TRUE(taken.Ok()) << taken.error->Describe();
        ids.push_back(taken.id);
    }
    // The original (the first) besides the newest three.
    std::vector<backup::Info> backups = backup::ListBackups(dir_, settings_);
    ASSERT_EQ(backups.size(), 4u);
    EXPECT_EQ(backups[0].id, ids[0]);
    EXPECT_TRUE(backups[0].original);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(backups[i + 1].id, ids[i + 2]);
    // Nothing but the kept backups in the folder: no staging or deleted ones left over.
    EXPECT_EQ(Entries(dir_ + "/.mwst-backup"), 4);

    settings_.keep = backup::kDefaultKeep;
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(backup::TakeBackup(*mandate_, "more", settings_).Ok());
    EXPECT_EQ(backup::ListBackups(dir_, settings_).size(), 6u);
}

TEST_P(Backup, RetentionLaterLeavesTheChoiceToTheCaller) {
    settings_.keep = 2;
    std::vector<std::string> ids;
    for (int i = 0; i < 3; ++i) {
        const backup::Taken taken = backup::TakeBackup(*mandate_, "run " + std::to_string(i),
                                                       settings_, backup::Retention::kLater);
        ASSERT_TRUE(taken.Ok()) << taken.error->Describe();
        ids.push_back(taken.id);
    }
    EXPECT_EQ(backup::ListBackups(dir_, settings_).size(), 3u) << "no retention yet";

    // Not wanted after all: gone, and no older one went for it.
    backup::DiscardBackup(dir_, ids[2], settings_);
    std::vector<backup::Info> backups = backup::ListBackups(dir_, settings_);
    ASSERT_EQ(backups.size(), 2u);
    EXPECT_EQ(backups[0].id, ids[0]);
    EXPECT_EQ(backups[1].id, ids[1]);
    backup::DiscardBackup(dir_, "20000101-000000-000", settings_);
    backup::DiscardBackup(dir_, "", settings_);
    EXPECT_EQ(backup::ListBackups(dir_, settings_).size(), 2u) << "an unknown id removes nothing";

    ASSERT_TRUE(backup::TakeBackup(*mandate_, "kept", settings_, backup::Retention::kLater).Ok());
    backup::KeepNewest(dir_, settings_);
    backups = backup::ListBackups(dir_, settings_);
    ASSERT_EQ(backups.size(), 3u) << "the original and the newest two";
    EXPECT_EQ(backups[0].id, ids[0]);
    EXPECT_EQ(backups[1].id, ids[1]);
    EXPECT_EQ(backups[2].reason, "kept");
    EXPECT_EQ(Entries(dir_ + "/.mwst-backup"), 3) << "nothing left of the removed ones";
}

TEST_P(Backup, FilesAsInBackupComparesNamesAndBytes) {
    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(taken.Ok()) << taken.error->Describe();
    EXPECT_TRUE(backup::FilesAsInBackup(dir_, taken.id, settings_));
    // Records are not its business.
    Load(*mandate_, "key VSS81 8.1 108.1 netto 2200 Normalsatz 2024\n");
    EXPECT_TRUE(backup::FilesAsInBackup(dir_, taken.id, settings_));

    const std::string workbook = FileBytes(dir_ + "/MWSTFORM.VTS");
    std::string sameSize = workbook;
    sameSize[0] = 'W';
    WriteFileBytes(dir_ + "/MWSTFORM.VTS", sameSize);
    EXPECT_FALSE(backup::FilesAsInBackup(dir_, taken.id, settings_)) << "a byte changed";
    WriteFileBytes(dir_ + "/MWSTFORM.VTS", workbook);
    EXPECT_TRUE(backup::FilesAsInBackup(dir_, taken.id, settings_));

    WriteFileBytes(dir_ + "/MWSTPAU.VTS", "workbook 2024 flat rate\n");
    EXPECT_FALSE(backup::FilesAsInBackup(dir_, taken.id, settings_)) << "a new file of ours";
    fs::remove(dir_ + "/MWSTPAU.VTS");
    WriteFileBytes(dir_ + "/notiz.txt", "not ours");
    EXPECT_TRUE(backup::FilesAsInBackup(dir_, taken.id, settings_)) << "other files do not count";

    const std::string list = FileBytes(dir_ + "/Mwstform.lst");
    fs::remove(dir_ + "/Mwstform.lst");
    EXPECT_FALSE(backup::FilesAsInBackup(dir_, taken.id, settings_)) << "a file of ours removed";
    WriteFileBytes(dir_ + "/Mwstform.lst", list);

    // A backup that cannot be read is no proof of anything.
    EXPECT_FALSE(backup::FilesAsInBackup(dir_, "20000101-000000-000", settings_));
    fs::remove(dir_ + "/.mwst-backup/" + taken.id + "/files/quorvex.txt");
    EXPECT_FALSE(backup::FilesAsInBackup(dir_, taken.id, settings_));
}

TEST_P(Backup, BackupRootFromTheSettingsKeepsTheMandatePath) {
    TempDir root;
    settings_.root = root.Path();
    const backup::Taken taken = backup::TakeBackup(*mandate_, "adapt-accounts", settings_);
    ASSERT_TRUE(taken.Ok()) << taken.error->Describe();
    const fs::path expected =
        fs::path(root.Path()) / fs::canonical(dir_).relative_path() / ".mwst-backup" / taken.id;
    EXPECT_TRUE(fs::is_directory(expected)) << expected;
    EXPECT_FALSE(fs::exists(dir_ + "/.mwst-backup"));
    ASSERT_EQ(backup::ListBackups(dir_, settings_).size(), 1u);
    EXPECT_TRUE(backup::ListBackups(dir_, backup::Settings{}).empty());
}

TEST_P(Backup, ReadOnlyBackupFolderFailsClearlyAndLeavesNothing) {
    const std::string folder = dir_ + "/.mwst-backup";
    ASSERT_TRUE(fs::create_directory(folder));
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    const State before = Now();
    {
        testsupport::ObeyFileModes obey;
        if (!obey.Obeyed()) GTEST_SKIP() << "file modes cannot be enforced";
        const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
        ASSERT_FALSE(taken.Ok());
        EXPECT_EQ(taken.error->code, backup::Error::Code::kWrite);
        EXPECT_NE(taken.error->Describe().find(folder), std::string::npos) << taken.error->Describe();
        EXPECT_NE(taken.error->Describe().find(SystemText(EACCES)), std::string::npos) << taken.error->Describe();
    }
    chmod(folder.c_str(), 0755);
    EXPECT_TRUE(fs::is_empty(folder));
    ExpectState(before);
}

TEST_P(Backup, FailureHalfwayLeavesNoHalfWrittenBackup) {
    // The records are copied, then a workbook cannot be read.
    const std::string workbook = dir_ + "/_MWSTFRM.VTS";
    ASSERT_EQ(chmod(workbook.c_str(), 0), 0);
    {
        testsupport::ObeyFileModes obey;
        if (!obey.Obeyed()) GTEST_SKIP() << "file modes cannot be enforced";
        const backup::Taken taken = backup::TakeBackup(*mandate_, "form-2024", settings_);
        ASSERT_FALSE(taken.Ok());
        EXPECT_EQ(taken.error->code, backup::Error::Code::kRead);
        EXPECT_EQ(taken.error->path, workbook);
    }
    chmod(workbook.c_str(), 0644);
    EXPECT_TRUE(fs::is_empty(dir_ + "/.mwst-backup"));
    EXPECT_TRUE(backup::ListBackups(dir_, settings_).empty());
}

TEST_P(Backup, RestoresFromAReadOnlyBackupAndHoldsOnlyItsOwnFiles) {
    const std::string dumpBefore = Dump();
    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(taken.Ok()) << taken.error->Describe();
    const std::string backupDir = dir_ + "/.mwst-backup/" + taken.id;
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(backupDir))
        if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), backupDir).string());
    std::sort(names.begin(), names.end());
    const std::vector<std::string> records =
        sql_ ? std::vector<std::string>{"records/sql/konto.copy", "records/sql/meta.copy",
                                         "records/sql/settings.copy", "records/sql/tax.copy"}
              : std::vector<std::string>{"records/mandate.sqlite"};
    std::vector<std::string> expected{"backup.txt", "files/MWSTFORM.VTS", "files/Mwstform.lst", "files/_MWSTFRM.VTS",
                                      "files/quorvex.txt"};
    expected.insert(expected.end(), records.begin(), records.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    if (!sql_) {
        // A plain rollback journal (header bytes 18 and 19 are 1): readable where nothing may be written.
        const std::string header = FileBytes(backupDir + "/records/mandate.sqlite").substr(0, 20);
        EXPECT_EQ(header[18], 1);
        EXPECT_EQ(header[19], 1);
    }

    Change();
    std::vector<std::string> folders{backupDir};
    for (const auto& entry : fs::recursive_directory_iterator(backupDir))
        if (entry.is_directory()) folders.push_back(entry.path().string());
    for (const std::string& folder : folders) chmod(folder.c_str(), 0555);
    backup::Restored restored;
    {
        testsupport::ObeyFileModes obey;
        if (!obey.Obeyed()) GTEST_SKIP() << "file modes cannot be enforced";
        restored = backup::RestoreBackup(*mandate_, taken.id, "restore", settings_);
    }
    for (const std::string& folder : folders) chmod(folder.c_str(), 0755);
    ASSERT_TRUE(restored.Ok()) << restored.error->Describe();
    Reopen();
    EXPECT_EQ(WithoutBookings(Dump()), WithoutBookings(dumpBefore));
}

TEST_P(Backup, FullDiskFailsClearlyAndLeavesNothing) {
    // A small tmpfs as backup root, in a child with its own mount namespace.
    TempDir root;
    WriteFileBytes(dir_ + "/MWSTPAU.VTS", std::string(256 * 1024, 'x'));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", root.Path().c_str(), "tmpfs", 0, "size=128k") != 0)
            _exit(77);
        backup::Settings settings;
        settings.root = root.Path();
        const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings);
        if (taken.Ok() || taken.error->code != backup::Error::Code::kWrite) _exit(1);
        if (taken.error->Describe().find(SystemText(ENOSPC)) == std::string::npos) _exit(2);
        // Nothing but the empty backup folder is left on the full disk.
        const std::string folder = backup::FolderOf(dir_, settings);
        if (!fs::is_empty(folder) || !backup::ListBackups(dir_, settings).empty()) _exit(3);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no tmpfs can be mounted here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: did not fail as a write, 2: no reason, 3: something left";
}

TEST_P(Backup, BackupRootThatCannotBeMadeFailsClearly) {
    TempDir root;
    WriteFileBytes(root.Sub("file"), "not a folder");
    settings_.root = root.Sub("file");
    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_FALSE(taken.Ok());
    EXPECT_EQ(taken.error->code, backup::Error::Code::kFolder);
    EXPECT_EQ(taken.error->path, backup::FolderOf(dir_, settings_));
}

TEST_P(Backup, RefusedWhileAnotherHandleHasTheMandateOpen) {
    ASSERT_TRUE(backup::TakeBackup(*mandate_, "insert-keys", settings_).Ok());
    // The same mandate without exclusive use, as a second program would hold it open.
    // The exclusive hold goes first: it gives its lock back through the mandate.
    exclusive_.reset();
    mandate_.reset();
    mandate_ = std::make_unique<Mandate>();
    ASSERT_EQ(mandate_->OpenMandateFiles(dir_), pendra::kOk);
    Mandate other;
    ASSERT_EQ(other.OpenMandateFiles(dir_), pendra::kOk);
    const std::string dumpBefore = Dump();

    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_FALSE(taken.Ok());
    EXPECT_EQ(taken.error->code, backup::Error::Code::kNotExclusive);
    const backup::Restored restored = backup::RestoreBackup(*mandate_, "", "restore", settings_);
    ASSERT_FALSE(restored.Ok());
    EXPECT_EQ(restored.error->code, backup::Error::Code::kNotExclusive);
    EXPECT_EQ(backup::ListBackups(dir_, settings_).size(), 1u);
    EXPECT_EQ(Dump(), dumpBefore);
}

TEST_P(Backup, RestoreOfADamagedOrUnknownBackupChangesNothing) {
    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(taken.Ok());
    Change();
    const State after = Now();

    backup::Restored restored = backup::RestoreBackup(*mandate_, "20000101-000000-000", "restore", settings_);
    ASSERT_FALSE(restored.Ok());
    EXPECT_EQ(restored.error->code, backup::Error::Code::kUnknownId);

    // A file of the backup cut short.
    const std::string records = backup::ListBackups(dir_, settings_).front().path + "/records";
    for (const auto& entry : fs::recursive_directory_iterator(records))
        if (entry.is_regular_file()) fs::resize_file(entry.path(), entry.file_size() / 2);
    restored = backup::RestoreBackup(*mandate_, taken.id, "restore", settings_);
    ASSERT_FALSE(restored.Ok());
    EXPECT_EQ(restored.error->code, backup::Error::Code::kDamaged);
    ExpectState(after);
    EXPECT_EQ(backup::ListBackups(dir_, settings_).size(), 1u) << "no backup of the state before was needed";
}

TEST_P(Backup, RestoreFindsAByteChangedInsideABackupAndChangesNothing) {
    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(taken.Ok());
    Change();
    const State after = Now();

    // The same size, one byte other: only the checksum tells.
    const std::string copy =
        backup::ListBackups(dir_, settings_).front().path + "/files/MWSTFORM.VTS";
    std::string bytes = FileBytes(copy);
    bytes[3] ^= 0x20;
    WriteFileBytes(copy, bytes);
    const backup::Restored restored =
        backup::RestoreBackup(*mandate_, taken.id, "restore", settings_);
    ASSERT_FALSE(restored.Ok());
    EXPECT_EQ(restored.error->code, backup::Error::Code::kDamaged);
    EXPECT_NE(restored.error->detail.find(copy), std::string::npos) << restored.error->detail;
    ExpectState(after);
}

TEST_P(Backup, ABackupWithoutChecksumsStillRestores) {
    const State before = Now();
    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(taken.Ok());
    // As written before checksums, modes and tables were kept: the manifest without those lines.
    const std::string manifestPath =
        backup::ListBackups(dir_, settings_).front().path + "/backup.txt";
    std::istringstream manifest(FileBytes(manifestPath));
    std::string line, withoutDigests;
    int checksums = 0;
    while (std::getline(manifest, line)) {
        if (line.starts_with("crc32 ")) {
            ++checksums;
            continue;
        }
        if (!line.starts_with("mode ") && !line.starts_with("tables ")) withoutDigests += line + "\n";
    }
    EXPECT_GE(checksums, 2) << "the records and the files each have one";
    WriteFileBytes(manifestPath, withoutDigests);
    Change();

    const backup::Restored restored =
        backup::RestoreBackup(*mandate_, taken.id, "restore", settings_);
    ASSERT_TRUE(restored.Ok()) << restored.error->Describe();
    Reopen();
    ExpectState(before, false);
}

TEST_P(Backup, ABackupWithADamagedManifestIsNamedAndRefused) {
    const backup::Taken first = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(first.Ok());
    const backup::Taken second = backup::TakeBackup(*mandate_, "adapt-accounts", settings_);
    ASSERT_TRUE(second.Ok());
    EXPECT_TRUE(backup::DamagedBackups(dir_, settings_).empty());
    WriteFileBytes(dir_ + "/.mwst-backup/" + second.id + "/backup.txt", "garbage\n");
    Change();
    const std::string dumpAfter = Dump();

    EXPECT_EQ(backup::DamagedBackups(dir_, settings_), std::vector<std::string>{second.id});
    ASSERT_EQ(backup::ListBackups(dir_, settings_).size(), 1u);
    const backup::Restored restored =
        backup::RestoreBackup(*mandate_, second.id, "restore", settings_);
    ASSERT_FALSE(restored.Ok());
    EXPECT_EQ(restored.error->code, backup::Error::Code::kDamaged) << "not an unknown id";
    EXPECT_EQ(restored.error->path, second.id);
    EXPECT_EQ(Dump(), dumpAfter);
}

TEST_P(Backup, RestoreThatCannotWriteTheFilesChangesNothing) {
    settings_.keep = 1;
    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(taken.Ok());
    Change();
    const State after = Now();
    // The workbooks cannot be staged in the mandate directory; the backup folder stays writable.
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    backup::Restored restored;
    {
        testsupport::ObeyFileModes obey;
        if (!obey.Obeyed()) {
            chmod(dir_.c_str(), 0755);
            GTEST_SKIP() << "file modes cannot be enforced";
        }
        restored = backup::RestoreBackup(*mandate_, "", "restore", settings_);
    }
    chmod(dir_.c_str(), 0755);
    ASSERT_FALSE(restored.Ok());
    EXPECT_EQ(restored.error->code, backup::Error::Code::kWrite);
    ExpectState(after);
    // The backup of the unchanged state is gone again and the chosen one kept, despite keep=1.
    const std::vector<backup::Info> backups = backup::ListBackups(dir_, settings_);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].id, taken.id);
}

TEST_P(Backup, RestoreWithoutBackupIsRefused) {
    const backup::Restored restored = backup::RestoreBackup(*mandate_, "", "restore", settings_);
    ASSERT_FALSE(restored.Ok());
    EXPECT_EQ(restored.error->code, backup::Error::Code::kNoBackup);
    EXPECT_EQ(restored.error->path, dir_);
}

TEST_P(Backup, BackupFolderIsNeverAMandate) {
    ASSERT_TRUE(backup::TakeBackup(*mandate_, "insert-keys", settings_).Ok());
    const std::string folder = dir_ + "/.mwst-backup";
    EXPECT_TRUE(backup::IsBackupFolder(folder));
    std::vector<std::string> dirs{folder};
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_directory()) dirs.push_back(entry.path().string());
    ASSERT_GE(dirs.size(), 3u);
    for (const std::string& dir : dirs) {
        EXPECT_TRUE(backup::IsBackupFolder(dir)) << dir;
        EXPECT_FALSE(Mandate::PathContainsMandate(dir)) << dir;
        Mandate probe;
        EXPECT_NE(probe.OpenMandateFiles(dir), pendra::kOk) << dir;
        EXPECT_FALSE(fs::exists(dir + "/pendra.lock")) << "an open attempt wrote into " << dir;
    }
    EXPECT_FALSE(backup::IsBackupFolder(dir_));
}

TEST(BackupSettings, ReadFromTheProductSettings) {
    std::map<std::string, std::string> ini{{"Sicherheitskopien/verzeichnis", "/data/sicherungen/"},
                                           {"Sicherheitskopien/behalten", "12"}};
    auto reader = [&](const std::string& section, const std::string& key) { return ini[section + "/" + key]; };
    backup::Settings settings = backup::Settings::Read(reader);
    EXPECT_EQ(settings.root, "/data/sicherungen");
    EXPECT_EQ(settings.keep, 12);
    for (const char* bad : {"", "0", "-3", "zwei", "5x"}) {
        ini["Sicherheitskopien/behalten"] = bad;
        EXPECT_EQ(backup::Settings::Read(reader).keep, backup::kDefaultKeep) << bad;
    }
    ini.clear();
    EXPECT_TRUE(backup::Settings::Read(reader).root.empty());
}

TEST(BackupFolder, ByNameAlone) {
    EXPECT_TRUE(backup::IsBackupFolder("/data/m/.mwst-backup"));
    EXPECT_TRUE(backup::IsBackupFolder("/data/m/.mwst-backup/"));
    EXPECT_TRUE(backup::IsBackupFolder("/data/m/.mwst-backup/20240101-000000-000/files"));
    EXPECT_FALSE(backup::IsBackupFolder("/data/m/mwst-backup"));
    EXPECT_FALSE(backup::IsBackupFolder("/data/m/.mwst-backup-old"));
    EXPECT_FALSE(backup::IsBackupFolder("/data/m"));
}

TEST(BackupFolder, InsideTheMandateOrBelowTheRoot) {
    backup::Settings settings;
    EXPECT_EQ(backup::FolderOf("/data/m/baeckerei", settings), "/data/m/baeckerei/.mwst-backup");
    settings.root = "/sicherung";
    EXPECT_EQ(backup::FolderOf("/nonexistent/m/baeckerei", settings), "/sicherung/nonexistent/m/baeckerei/.mwst-backup");
}

}  // namespace

// A backup is no more open than the mandate it copies, and a restore puts
// the originals' modes back.
TEST_P(Backup, KeepsThePermissionsOfTheMandateAndPutsThemBack) {
    fs::permissions(dir_, fs::perms::owner_all);
    for (const char* name : {"MWSTFORM.VTS", "_MWSTFRM.VTS", "Mwstform.lst", "quorvex.txt"})
        fs::permissions(dir_ + "/" + name, fs::perms::owner_read | fs::perms::owner_write);
    if (!sql_) fs::permissions(dir_ + "/pendra.db", fs::perms::owner_read | fs::perms::owner_write);
    TempDir root;
    settings_.root = root.Sub("sicherungen");
    const backup::Taken taken = backup::TakeBackup(*mandate_, "insert-keys", settings_);
    ASSERT_TRUE(taken.Ok()) << taken.error->Describe();
    const std::string folder = backup::FolderOf(dir_, settings_);
    for (fs::path path = folder; path != fs::path(settings_.root).parent_path(); path = path.parent_path())
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_all) << path;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const fs::perms mode = entry.status().permissions() & fs::perms::all;
        EXPECT_EQ(mode & (fs::perms::group_all | fs::perms::others_all), fs::perms::none) << entry.path();
    }

    fs::permissions(dir_ + "/MWSTFORM.VTS", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                                fs::perms::others_read);
    const backup::Restored restored = backup::RestoreBackup(*mandate_, taken.id, "restore", settings_);
    ASSERT_TRUE(restored.Ok()) << restored.error->Describe();
    EXPECT_EQ(fs::status(dir_ + "/MWSTFORM.VTS").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}
