// The safety net of every run, on file and SQL mandates: one backup per
// mandate and run before the first change, a backup that cannot be taken
// refuses the command, a dry run changes nothing and logs what the real run
// logs, and mwst-batch lists and restores backups under exclusive access.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/Format.h"
#include "core/BrisolSettings.h"
#include "core/LogSink.h"
#include "core/ScriptedUiSeam.h"
#include "core/Strings.h"
#include "forms/MappingSheet.h"
#include "templates/TemplateSet.h"
#include "workbook/CVCF1.h"
#include "workbook/CellRef.h"
#include "mandate/BatchWalk.h"
#include "mandate/MandateRestore.h"
#include "mandate/MandateRun.h"
#include "mandate/MandateSession.h"
#include "mandate/MandateStatus.h"
#include "backup/MandateBackup.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "pendra/PendraStatus.h"
#include "pendra/PendraUi.h"
#include "pendra/SqliteSupport.h"
#include "mandate/tools/MandateText.h"
#include "res/Resource.h"
#include "commands/ConversionCommands.h"
#include "tests/pendra/SqlTestSupport.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileModes.h"
#include "tests/batch/BatchProcess.h"

namespace fs = std::filesystem;
using testsupport::FileBytes;

namespace {

// Old keys with accounts of both types and a booking, so that every command
// has something to do: insert, adapt, the 2024 form, remove old keys (one
// stays, a booking uses it) and back.
constexpr const char* kRecords =
    "setting 0 27 0\n"
    "key VSS77 7.7 107.7 netto 2200 Normalsatz\n"
    "key VSR25 2.5 102.5 brutto 2201 Reduzierter Satz\n"
    "key VSB37 3.7 103.7 netto 2202 Sondersatz\n"
    "account 2200 0 - Umsatzsteuer\n"
    "account 2201 1 - Vorsteuer\n"
    "account 2202 0 - Umsatzsteuer Sondersatz\n"
    "account 3000 0 VSS77 Erlös Waren\n"
    "account 3200 0 VSR25 Erlös Lebensmittel\n"
    "booking 1 20231231 3000 100.5 VSS77 Verkauf\n";

// The lines of `log` without the dry run's begin and end lines.
std::string WithoutDryRunLines(const std::string& log, const std::string& dir) {
    std::string text = log;
    for (int id : {IDS_LOG_DRY_RUN_BEGIN, IDS_LOG_DRY_RUN_END}) {
        const std::string line = Format(LoadString(id), dir);
        for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at))
            text.erase(at, line.size());
    }
    return text;
}

class Safety : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (Sql()) REQUIRE_TEST_SERVER(server_);
        // A parameterised test's name ends in "/0": one folder, not a folder in a folder.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        root_ = fs::temp_directory_path() / ("mwst-safety-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(root_);
        fs::create_directories(root_);
        settingsFile_ = (root_ / "brisol.ini").string();
        WriteSettings("");
        SetProcessPreferredUILanguages("de-CH");
        dir_ = MakeMandate("baeckerei");
    }

    void TearDown() override {
        session_.Close();
        unsetenv("MWST_SETTINGS");
        BrisolSettings::Reload();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    bool Sql() const { return GetParam(); }

    void WriteSettings(const std::string& text) {
        std::ofstream(settingsFile_, std::ios::trunc) << "[Culture]\nUICulture=de-CH\n" << text;
        setenv("MWST_SETTINGS", settingsFile_.c_str(), 1);
        BrisolSettings::Reload();
    }

    std::string MakeMandate(const std::string& name) {
        const std::string dir = (root_ / name).string();
        MandateCreateOptions options;
        options.name = name;
        if (Sql()) {
            options.sqlConnection = server_;
            cleanup_.Add(dir);
        }
        EXPECT_EQ(CreateMandate(dir, options), pendra::kOk);
        {
            Mandate loading(0);
            EXPECT_EQ(loading.OpenMandateFiles(dir, 1, true), pendra::kOk);
            mandant::ParsedText parsed = mandant::ParseMandateText(kRecords);
            EXPECT_TRUE(parsed.errors.empty());
            mandant::TextError error;
            EXPECT_EQ(mandant::LoadIntoMandate(loading, parsed, error), pendra::kOk) << error.ToString();
            loading.CloseMandateFiles();
        }
        std::string error;
        EXPECT_TRUE(MwstInstallTemplateSet(2018, dir, error)) << error;
        return dir;
    }

    // The mandate's bytes as far as they are its state: the records as
    // mwst-mandant dumps them and every file of ours beside them.
    std::string State(const std::string& dir) {
        std::ostringstream out;
        Mandate reading(0);
        EXPECT_EQ(reading.OpenMandateFiles(dir, 1, true), pendra::kOk);
        mandant::DumpMandate(reading, out);
        reading.CloseMandateFiles();
        for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file() || name.starts_with("pendra")) continue;
            out << "file " << name << "\n" << FileBytes(entry.path().string()) << "\n";
        }
        return out.str();
    }

    BatchResult Run(const std::vector<std::string>& dirs, std::vector<Command> commands, bool dryRun = false) {
        log_.Clear();
        log_.ResetFailures();
        RunOptions options;
        options.dryRun = dryRun;
        std::vector<MandateWork> steps(commands.size());
        std::transform(commands.begin(), commands.end(), steps.begin(), CommandWork);
        return RunBatch(session_, dirs, StepsWork(std::move(steps)), log_, seam_, changeFlag_, {}, options);
    }

    std::vector<backup::Info> Backups(const std::string& dir) { return backup::ListBackups(dir, ProductBackupSettings()); }

    // Restores backup `id` ("" for the newest) of dir_, opened as a run opens it; true when it was.
    bool Restore(const std::string& id) {
        if (session_.Open(dir_, seam_, log_) != MandateSession::Opened::kYes) return false;
        const backup::Restored restored = backup::RestoreBackup(session_.Current(), id, "restore", ProductBackupSettings());
        EXPECT_TRUE(restored.Ok()) << restored.error->Describe();
        session_.Close();
        return restored.Ok();
    }

    fs::path root_;
    std::string server_;
    std::string settingsFile_;
    std::string dir_;
    testsupport::SqlMandateCleanup cleanup_;
    ScriptedUiSeam seam_;
    Mandate mandate_{0};
    MandateSession session_{mandate_};
    StringLogSink log_;
    short changeFlag_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Engines, Safety, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "Sql" : "File"; });

const std::vector<Command> kEveryCommandInTurn = {
    Command::kInsertKeys,  Command::kAdaptAccounts, Command::kForm2024,      Command::kRemoveOldKeys,
    Command::kForm2018,    Command::kResetAccounts, Command::kRemoveNewKeys,
};

TEST_P(Safety, ADryRunOfEachCommandChangesNothingAndLogsWhatTheCommandThenDoes) {
    for (Command command : kEveryCommandInTurn) {
        const std::string name = InfoOf(command).name;
        const std::string before = State(dir_);
        Run({dir_}, {command}, true);
        const std::string dry = log_.Text();
        EXPECT_EQ(State(dir_), before) << name;
        EXPECT_TRUE(dry.starts_with(Format(LoadString(IDS_LOG_DRY_RUN_BEGIN), dir_))) << dry;
        EXPECT_TRUE(dry.ends_with(Format(LoadString(IDS_LOG_DRY_RUN_END), dir_))) << dry;
        EXPECT_TRUE(Backups(dir_).empty()) << "a dry run takes no backup: " << name;

        Run({dir_}, {command});
        EXPECT_EQ(WithoutDryRunLines(dry, dir_), log_.Text()) << name;
        EXPECT_EQ(log_.Text().find(Format(LoadString(IDS_LOG_DRY_RUN_BEGIN), dir_)), std::string::npos);
        EXPECT_NE(State(dir_), before) << name << " changes the mandate";
        fs::remove_all(backup::FolderOf(dir_, ProductBackupSettings()));
    }
    // No scratch folder is left behind.
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::temp_directory_path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("mwst-probelauf-") &&
                     fs::exists(entry.path() / "MWSTFORM.VTS") && FileBytes((entry.path() / "MWSTFORM.VTS").string()) ==
                                                                     FileBytes(dir_ + "/MWSTFORM.VTS"))
            << entry.path();
}

TEST_P(Safety, ADryRunRemovesTheScratchFoldersOfDryRunsThatWereKilled) {
    // A process that is gone, for the folder a killed dry run left behind.
    const pid_t gone = fork();
    ASSERT_GE(gone, 0);
    if (gone == 0) _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);

    const fs::path tmp = root_ / "tmp";
    const fs::path orphan = tmp / ("mwst-probelauf-" + std::to_string(gone) + "-aB12cD");
    const fs::path running = tmp / ("mwst-probelauf-" + std::to_string(::getppid()) + "-Xy34zW");
    const fs::path foreign = tmp / "mwst-probelauf-XXf3k2";
    for (const fs::path& folder : {orphan, running, foreign}) {
        fs::create_directories(folder);
        std::ofstream(folder / "MWSTFORM.VTS") << "copy of a client's workbook";
    }
    setenv("TMPDIR", tmp.c_str(), 1);
    Run({dir_}, {Command::kInsertKeys}, true);
    unsetenv("TMPDIR");
    EXPECT_FALSE(fs::exists(orphan)) << "its process is gone";
    EXPECT_TRUE(fs::exists(running / "MWSTFORM.VTS")) << "its process still runs";
    EXPECT_TRUE(fs::exists(foreign / "MWSTFORM.VTS")) << "not named after a process";
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(tmp))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left.size(), 2u) << "the run's own scratch folder is gone too";
}

TEST_P(Safety, ADryRunOfSeveralCommandsSeesWhatTheEarlierOnesWouldHaveDone) {
    const std::vector<Command> commands{Command::kInsertKeys, Command::kAdaptAccounts, Command::kForm2024,
                                        Command::kRemoveOldKeys};
    const std::string before = State(dir_);
    BatchResult dry = Run({dir_}, commands, true);
    const std::string dryLog = log_.Text();
    ASSERT_EQ(dry.outcomes.size(), 1u);
    EXPECT_EQ(dry.outcomes[0].kind, MandateOutcome::Kind::kDone) << dryLog;
    EXPECT_EQ(State(dir_), before);
    EXPECT_NE(dryLog.find("VSR25 wurde entfernt"), std::string::npos) << "the old keys go once the 2024 form is active";

    Run({dir_}, commands);
    EXPECT_EQ(WithoutDryRunLines(dryLog, dir_), log_.Text());
}

TEST_P(Safety, OneBackupPerMandateAndRunBeforeTheFirstChange) {
    const std::string second = MakeMandate("metzgerei");
    const std::string before = State(dir_);
    const BatchResult result = Run({dir_, second}, {Command::kInsertKeys, Command::kAdaptAccounts, Command::kForm2024});
    ASSERT_EQ(result.outcomes.size(), 2u);
    for (const std::string& dir : {dir_, second}) {
        const std::vector<backup::Info> backups = Backups(dir);
        ASSERT_EQ(backups.size(), 1u) << dir;
        EXPECT_EQ(backups[0].reason, "insert-keys") << "the first command that changes the mandate";
        EXPECT_EQ(backups[0].sql, Sql());
    }
    EXPECT_NE(State(dir_), before);

    // The backup is the state before the run: restored, the mandate is as it was.
    ASSERT_TRUE(Restore(""));
    EXPECT_EQ(State(dir_), before);
}

TEST_P(Safety, ACommandThatChangesNothingNeedsNoBackup) {
    // The old keys stay until the 2024 form is active: refused before any change.
    const BatchResult result = Run({dir_}, {Command::kRemoveOldKeys});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].kind, MandateOutcome::Kind::kSkipped);
    EXPECT_TRUE(Backups(dir_).empty());
    EXPECT_FALSE(fs::exists(dir_ + "/" + backup::kFolderName));
}

TEST_P(Safety, RunsThatFindNothingToDoKeepNoBackupAndPushNoneOut) {
    WriteSettings("[Sicherheitskopien]\nbehalten=2\n");
    // Both commands begin their work on every run; the second time they find it done.
    const std::vector<Command> commands{Command::kInsertKeys, Command::kAdaptAccounts};
    Run({dir_}, commands);
    const std::vector<backup::Info> first = Backups(dir_);
    ASSERT_EQ(first.size(), 1u);
    const std::string converted = State(dir_);

    // The same steps again, as a batch run twice over the same folders does.
    for (int i = 0; i < 3; ++i) {
        Run({dir_}, commands);
        EXPECT_EQ(log_.Failures(), 0) << log_.Text();
        EXPECT_EQ(State(dir_), converted) << "run " << i << " changes nothing";
        const std::vector<backup::Info> after = Backups(dir_);
        ASSERT_EQ(after.size(), 1u) << "run " << i;
        EXPECT_EQ(after[0].id, first[0].id) << "the backup of the conversion stays";
    }
    for (const fs::directory_entry& entry :
         fs::directory_iterator(backup::FolderOf(dir_, ProductBackupSettings())))
        EXPECT_EQ(entry.path().filename().string(), first[0].id)
            << "nothing left of the dropped backups";
}

TEST_P(Safety, RunsThatChangeTheMandateKeepTheConfiguredNumberOfBackups) {
    WriteSettings("[Sicherheitskopien]\nbehalten=2\n");
    Run({dir_}, {Command::kInsertKeys});
    // The accounts' tax keys switched back and forth: records change, no file does.
    std::vector<std::string> states;
    for (int i = 0; i < 4; ++i) {
        states.push_back(State(dir_));
        Run({dir_}, {i % 2 == 0 ? Command::kAdaptAccounts : Command::kResetAccounts});
        EXPECT_EQ(log_.Failures(), 0) << log_.Text();
        EXPECT_NE(State(dir_), states.back());
    }
    // The original besides the newest two.
    const std::vector<backup::Info> backups = Backups(dir_);
    ASSERT_EQ(backups.size(), 3u);
    EXPECT_EQ(backups[0].reason, "insert-keys");
    EXPECT_EQ(backups[1].reason, "adapt-accounts");
    EXPECT_EQ(backups[2].reason, "reset-accounts");

    // The newest is the state before the last run.
    ASSERT_TRUE(Restore(backups[2].id));
    EXPECT_EQ(State(dir_), states[3]);
}

TEST_P(Safety, AChangedWorkbookAloneKeepsTheBackup) {
    Run({dir_}, {Command::kInsertKeys, Command::kAdaptAccounts});
    ASSERT_EQ(Backups(dir_).size(), 1u);
    // No record changes, but the form workbooks are replaced.
    Run({dir_}, {Command::kInsertKeys, Command::kForm2024});
    EXPECT_EQ(log_.Failures(), 0) << log_.Text();
    const std::vector<backup::Info> backups = Backups(dir_);
    ASSERT_EQ(backups.size(), 2u);
    EXPECT_EQ(backups[1].reason, "insert-keys") << "named after the run's first command";
}

TEST_P(Safety, ABackupThatCannotBeWrittenRefusesTheCommandAndChangesNothing) {
    // The backup root lies below a plain file: no folder can be made there.
    const std::string blocker = (root_ / "keine-sicherung").string();
    std::ofstream(blocker) << "a file, not a folder\n";
    WriteSettings("[Sicherheitskopien]\nverzeichnis=" + blocker + "\n");
    const std::string before = State(dir_);
    const BatchResult result = Run({dir_}, {Command::kInsertKeys, Command::kAdaptAccounts});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].kind, MandateOutcome::Kind::kFailed);
    EXPECT_GT(log_.Failures(), 0);
    EXPECT_NE(log_.Text().find(Format(LoadString(IDS_LOG_BACKUP_FAILED), dir_)), std::string::npos) << log_.Text();
    EXPECT_EQ(log_.Text().find("wurde eingefügt"), std::string::npos) << log_.Text();
    EXPECT_EQ(log_.Text().find(Format(LoadString(IDS_BEGIN_ADAPT), dir_)), std::string::npos)
        << "the mandate's work ends there";
    EXPECT_EQ(State(dir_), before);

    // The same for the form commands, which change files only.
    const BatchResult forms = Run({dir_}, {Command::kForm2024});
    EXPECT_EQ(forms.outcomes.at(0).kind, MandateOutcome::Kind::kFailed);
    EXPECT_EQ(State(dir_), before);
}

TEST_P(Safety, AReadOnlyBackupFolderRefusesTheCommandAndChangesNothing) {
    const std::string folder = backup::FolderOf(dir_, ProductBackupSettings());
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const std::string before = State(dir_);
    {
        testsupport::ObeyFileModes obey;
        if (!obey.Obeyed()) GTEST_SKIP() << "file modes cannot be enforced here";
        const BatchResult result = Run({dir_}, {Command::kInsertKeys});
        EXPECT_EQ(result.outcomes.at(0).kind, MandateOutcome::Kind::kFailed);
        EXPECT_NE(log_.Text().find(Format(LoadString(IDS_LOG_BACKUP_FAILED), dir_)), std::string::npos) << log_.Text();
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(State(dir_), before);
    EXPECT_TRUE(Backups(dir_).empty());
    EXPECT_TRUE(fs::is_empty(folder)) << "no half backup";
}

// A run that failed and rolled back keeps no backup of its own.
TEST_P(Safety, ACommandThatFailsInTheMiddleLeavesTheMandateAsItWasAndNoBackup) {
    // The third key's new id is too long: two keys are inserted before the
    // insert fails, and the transaction takes them back.
    std::ofstream(dir_ + "/quorvex.txt") << "VSS77==>VIELZULANG\n";
    const std::string before = State(dir_);
    const BatchResult result = Run({dir_}, {Command::kInsertKeys, Command::kAdaptAccounts});
    EXPECT_EQ(result.outcomes.at(0).kind, MandateOutcome::Kind::kFailed) << log_.Text();
    EXPECT_NE(log_.Text().find("VSB38 wurde eingefügt"), std::string::npos) << log_.Text();
    EXPECT_EQ(State(dir_), before);
    EXPECT_TRUE(Backups(dir_).empty());
    // Nothing half written left behind.
    EXPECT_TRUE(fs::is_empty(backup::FolderOf(dir_, ProductBackupSettings())));
}

// An archived mandate its administrator may no longer write: its backups are
// still listed, and the search still finds it. Reading needs no write.
TEST_P(Safety, AMandateInAFolderThisUserMayNotWriteIsFoundAndItsBackupsListed) {
    Run({dir_}, {Command::kInsertKeys});
    const std::vector<backup::Info> backups = Backups(dir_);
    ASSERT_EQ(backups.size(), 1u);
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    batchtest::RunOptions readOnly;
    readOnly.obeyFileModes = true;
    const batchtest::BatchResult listed = batchtest::RunBatch({"backups", dir_}, readOnly);
    const batchtest::BatchResult found =
        batchtest::RunBatch({"show-keys", "--search", root_.string()}, readOnly);
    chmod(dir_.c_str(), 0755);
    if (listed.exitCode == 126) GTEST_SKIP() << "file modes cannot be enforced here";
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find(backups[0].id), std::string::npos) << listed.out << listed.err;
    EXPECT_EQ(found.exitCode, 0) << found.err;
    EXPECT_NE(found.out.find("Steuerschlüssel für Mandant " + dir_ + "\n"), std::string::npos)
        << found.out << found.err;
}

// A relative backup root in the settings is the same folder wherever
// mwst-batch is started: the backups a run took are the ones listed and restored.
TEST_P(Safety, ARelativeBackupRootIsTakenFromTheSettingsFilesFolder) {
    WriteSettings("[Sicherheitskopien]\nverzeichnis=sicherungen\n");
    const std::string before = State(dir_);
    batchtest::RunOptions elsewhere;
    elsewhere.cwd = "/";
    const batchtest::BatchResult run = batchtest::RunBatch({"insert-keys", dir_}, elsewhere);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_directory(root_ / "sicherungen")) << "beside the settings file";
    EXPECT_FALSE(fs::exists("/sicherungen"));
    ASSERT_EQ(Backups(dir_).size(), 1u);
    EXPECT_TRUE(Backups(dir_)[0].path.starts_with((root_ / "sicherungen").string()))
        << Backups(dir_)[0].path;

    batchtest::RunOptions mandateFolder;
    mandateFolder.cwd = dir_;
    EXPECT_NE(batchtest::RunBatch({"backups", dir_}, mandateFolder).out.find(Backups(dir_)[0].id),
              std::string::npos);
    EXPECT_EQ(batchtest::RunBatch({"restore", dir_}, mandateFolder).exitCode, 0);
    EXPECT_EQ(State(dir_), before);
}

TEST_P(Safety, MwstBatchBackupsNamesADamagedBackup) {
    Run({dir_}, {Command::kInsertKeys});
    const std::vector<backup::Info> backups = Backups(dir_);
    ASSERT_EQ(backups.size(), 1u);
    testsupport::WriteFileBytes(backups[0].path + "/backup.txt", "garbage\n");
    const batchtest::BatchResult listed = batchtest::RunBatch({"backups", dir_});
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_NE(
        listed.err.find(Format(LoadString(IDS_BACKUP_DAMAGED), backups[0].id, backups[0].path)),
        std::string::npos)
        << listed.err;
}

TEST_P(Safety, MwstBatchDryRunBackupsAndRestore) {
    const std::string before = State(dir_);
    batchtest::BatchResult dry = batchtest::RunBatch({"insert-keys,adapt-accounts", "--dry-run", dir_});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_NE(dry.out.find(Format(LoadString(IDS_LOG_DRY_RUN_BEGIN), dir_)), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("VSS81 wurde eingefügt"), std::string::npos) << dry.out;
    EXPECT_EQ(State(dir_), before);

    batchtest::BatchResult listed = batchtest::RunBatch({"backups", dir_});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out, "");
    EXPECT_NE(listed.err.find(Format(LoadString(IDS_BACKUP_NONE), dir_)), std::string::npos) << listed.err;

    batchtest::BatchResult real = batchtest::RunBatch({"insert-keys,adapt-accounts", dir_});
    EXPECT_EQ(real.exitCode, 0) << real.err;
    EXPECT_EQ(WithoutDryRunLines(dry.out, dir_), real.out);
    const std::string changed = State(dir_);
    ASSERT_NE(changed, before);

    listed = batchtest::RunBatch({"backups", dir_});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    const std::vector<backup::Info> backups = Backups(dir_);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(listed.out, LoadString(IDS_BATCH_BACKUPS_HEADING) + "\n" + backups[0].id + "\t" +
                              BackupTimeText(backups[0].when) + "\tinsert-keys\t" + std::to_string(backups[0].size) +
                              "\t" + LoadString(IDS_BACKUP_ORIGINAL) + "\n");

    // Another process holds the mandate: the restore is refused, nothing changes.
    {
        Mandate holder(0);
        ASSERT_EQ(holder.OpenMandateFiles(dir_, 1, true), pendra::kOk);
        if (Sql()) {
            ASSERT_TRUE(holder.TryGetExclusiveLock(0));
        }
        const batchtest::BatchResult refused = batchtest::RunBatch({"restore", dir_});
        EXPECT_EQ(refused.exitCode, 1) << refused.out << refused.err;
        EXPECT_EQ(refused.out.find(Format(LoadString(IDS_LOG_RESTORE_BEGIN), dir_)), std::string::npos);
        holder.CloseMandateFiles();
    }
    EXPECT_EQ(State(dir_), changed);
    EXPECT_EQ(Backups(dir_).size(), 1u);

    const batchtest::BatchResult restored = batchtest::RunBatch({"restore", dir_, "--backup", backups[0].id});
    EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    EXPECT_EQ(State(dir_), before);
    const std::vector<backup::Info> after = Backups(dir_);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after.back().reason, "restore");
    EXPECT_EQ(restored.out, Format(LoadString(IDS_LOG_RESTORE_BEGIN), dir_) +
                                Format(LoadString(IDS_LOG_RESTORED), backups[0].id, after.back().id) +
                                Format(LoadString(IDS_LOG_RESTORED_PARTS), "8",
                                       "MWSTFORM.VTS, MWSTPAU.VTS, _MWSTFRM.VTS, _MWSTPAU.VTS, Mwstform.vls, "
                                       "Mwstform.lst, Mwstpau.vls, Mwstpau.lst") +
                                Format(LoadString(IDS_LOG_RESTORE_END), dir_));

    // Run again, it is the same restore; the state it replaced comes back by its id.
    EXPECT_EQ(batchtest::RunBatch({"restore", dir_}).exitCode, 0);
    EXPECT_EQ(State(dir_), before);
    EXPECT_EQ(batchtest::RunBatch({"restore", dir_, "--backup", after.back().id}).exitCode, 0);
    EXPECT_EQ(State(dir_), changed);

    const batchtest::BatchResult unknown = batchtest::RunBatch({"restore", dir_, "--backup", "19990101-000000-000"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.out.find(Format(LoadString(IDS_LOG_RESTORE_FAILED), dir_)), std::string::npos) << unknown.out;
    EXPECT_EQ(State(dir_), changed);
}

TEST(SafetyUsage, BackupsAndRestoreTakeOneMandateAndNoDryRun) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"backups"}, {"restore"}, {"backups", "/a", "/b"}, {"restore", "/a", "--dry-run"},
             {"backups", "/a", "--backup", "x"}, {"insert-keys", "/a", "--backup", "x"},
             {"restore", "--search", "/a"}}) {
        const batchtest::BatchResult result = batchtest::RunBatch(args);
        EXPECT_EQ(result.exitCode, 2) << args.front() << " " << result.err;
    }
}

}  // namespace

// A restore cut off at each of its steps, as the journal and the backups show
// it, is finished by the next open and ends as an uninterrupted restore; run
// again, it changes nothing more.
TEST_P(Safety, AnInterruptedRestoreIsFinishedByTheNextOpenAsIfItHadRunThrough) {
    enum class Cut { kBeforeItsOwnBackup, kAfterItsOwnBackup, kBeforeTheJournalWasRemoved };
    for (Cut cut : {Cut::kBeforeItsOwnBackup, Cut::kAfterItsOwnBackup, Cut::kBeforeTheJournalWasRemoved}) {
        const std::string dir = MakeMandate("restore-" + std::to_string(static_cast<int>(cut)));
        const std::string before = State(dir);
        Run({dir}, {Command::kInsertKeys, Command::kAdaptAccounts, Command::kForm2024});
        ASSERT_NE(State(dir), before);
        const std::string backupId = Backups(dir).front().id;
        std::string safetyId;
        if (cut == Cut::kAfterItsOwnBackup) {
            Mandate held(0);
            ASSERT_EQ(held.OpenMandateFiles(dir, 1, true), pendra::kOk);
            const backup::Taken safety = backup::TakeBackup(held, backup::kRestoreReason, ProductBackupSettings());
            ASSERT_TRUE(safety.Ok()) << safety.error->Describe();
            safetyId = safety.id;
        }
        if (cut == Cut::kBeforeTheJournalWasRemoved) {
            ASSERT_EQ(batchtest::RunBatch({"restore", dir}).exitCode, 0);
            safetyId = Backups(dir).back().id;
        }
        testsupport::WriteFileBytes(dir + "/" + backup::kRestoreJournalName,
                                    "mwst-restore 1\nbackup " + backupId + "\n" +
                                        (safetyId.empty() ? "" : "safety " + safetyId + "\n"));

        ASSERT_EQ(session_.Open(dir, seam_, log_), MandateSession::Opened::kYes);
        session_.Close();
        EXPECT_NE(log_.Text().find(Format(LoadString(IDS_LOG_RESTORE_RESUMED), backupId, dir)), std::string::npos)
            << log_.Text();
        EXPECT_EQ(State(dir), before) << static_cast<int>(cut);
        EXPECT_FALSE(fs::exists(dir + "/" + backup::kRestoreJournalName));
        // Run again, the restore takes the same backup, not the one it made of the state it replaced.
        ASSERT_EQ(batchtest::RunBatch({"restore", dir}).exitCode, 0);
        EXPECT_EQ(State(dir), before) << static_cast<int>(cut);
        log_.Clear();
    }
}

// A workbook that is a link is written through only when it leads to a
// regular file inside the mandate; otherwise nothing of the mandate changes.
TEST_P(Safety, AWorkbookLinkIsWrittenThroughOnlyToARegularFileInsideTheMandate) {
    struct Case {
        const char* what;
        std::string target;
        bool inside;
    };
    const std::string outsideFile = (root_ / "elsewhere.vts").string();
    const std::string fifo = (root_ / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir_ + "/formulare");
    const std::string insideFile = dir_ + "/formulare/MWSTFORM.VTS";
    for (const Case& c : {Case{"a FIFO outside", fifo, false}, Case{"a file outside", outsideFile, false},
                          Case{"a file inside", insideFile, true}}) {
        const std::string workbook = dir_ + "/MWSTFORM.VTS";
        if (!fs::is_symlink(workbook)) {
            fs::copy_file(workbook, outsideFile, fs::copy_options::overwrite_existing);
            fs::copy_file(workbook, insideFile, fs::copy_options::overwrite_existing);
        }
        fs::remove(workbook);
        fs::create_symlink(c.target, workbook);
        const std::string outsideBefore = FileBytes(outsideFile);
        const std::string insideBefore = FileBytes(insideFile);

        Run({dir_}, {Command::kForm2024});
        EXPECT_TRUE(fs::is_symlink(workbook)) << c.what;
        EXPECT_TRUE(fs::is_fifo(fifo)) << c.what;
        EXPECT_EQ(FileBytes(outsideFile), outsideBefore) << c.what;
        if (c.inside) {
            EXPECT_EQ(log_.Failures(), 0) << c.what << log_.Text();
            EXPECT_NE(FileBytes(insideFile), insideBefore) << c.what;
        } else {
            EXPECT_GT(log_.Failures(), 0) << c.what;
            EXPECT_NE(log_.Text().find(workbook), std::string::npos) << c.what << log_.Text();
            EXPECT_EQ(FileBytes(insideFile), insideBefore) << c.what;
            EXPECT_TRUE(Backups(dir_).empty()) << c.what;
        }
    }
}

// A zeroed page of a table or index the commands or the status read: the
// status and every run, dry or real, changing or not, refuse the mandate for
// the same reason, before anything changes.
TEST_P(Safety, ADamagedDatabaseIsRefusedByTheStatusAndEveryCommandAlike) {
    if (Sql()) GTEST_SKIP() << "the database server keeps its tables whole";
    const std::string db = dir_ + "/pendra.db";
    const std::string whole = FileBytes(db);
    for (const char* btree : {"buch_taxid", "buch", "settings"}) {
        long long page = 0, pageSize = 0;
        {
            pendra::sqlite::Connection connection;
            ASSERT_EQ(connection.Open(db, SQLITE_OPEN_READONLY), SQLITE_OK);
            pendra::sqlite::Statement root(connection.Get(), "SELECT rootpage FROM sqlite_schema WHERE name = ?");
            root.BindText(1, btree);
            ASSERT_EQ(root.Step(), SQLITE_ROW) << btree;
            page = root.ColumnInt(0);
            pendra::sqlite::Statement size(connection.Get(), "PRAGMA page_size");
            ASSERT_EQ(size.Step(), SQLITE_ROW);
            pageSize = size.ColumnInt(0);
        }
        std::string bytes = whole;
        ASSERT_GE(static_cast<long long>(bytes.size()), page * pageSize);
        std::fill_n(bytes.begin() + (page - 1) * pageSize, pageSize, '\0');
        testsupport::WriteFileBytes(db, bytes);

        const MandateStatus status = ReadMandateStatus(dir_, seam_, true);
        EXPECT_EQ(status.problem, MandateStatus::Problem::kUnreadable) << btree;
        const std::string prefix = LoadString(IDS_DETAIL_TABLES_DAMAGED).substr(0, 40);
        ASSERT_TRUE(status.detail.starts_with(prefix)) << btree << ": " << status.detail;
        const std::string why = status.detail.substr(status.detail.find('(') + 1,
                                                     status.detail.rfind(')') - status.detail.find('(') - 1);
        EXPECT_EQ(status.detail, Format(LoadString(IDS_DETAIL_TABLES_DAMAGED), why));
        const std::pair<std::vector<Command>, bool> runs[] = {
            {{Command::kInsertKeys, Command::kAdaptAccounts}, true},
            {{Command::kInsertKeys, Command::kAdaptAccounts}, false},
            {{Command::kRemoveOldKeys}, false}};
        for (const auto& [commands, dryRun] : runs) {
            const BatchResult result = Run({dir_}, commands, dryRun);
            ASSERT_EQ(result.outcomes.size(), 1u) << btree;
            EXPECT_FALSE(result.outcomes.front().Completed()) << btree;
            EXPECT_NE(log_.Text().find(Format(LoadString(IDS_MANDATE_DAMAGED), dir_, why)), std::string::npos)
                << btree << ": " << log_.Text();
            EXPECT_EQ(FileBytes(db), bytes) << btree;
            EXPECT_TRUE(Backups(dir_).empty()) << btree;
        }
        testsupport::WriteFileBytes(db, whole);
    }
}

namespace {

// A cell of a sheet as the control gives it.
struct CellCopy {
    long row, col;
    int type;
    std::string text;
    double number;
};

std::vector<CellCopy> CellsOf(CVCF1& form, long sheet) {
    form.SetSheet(sheet);
    std::vector<CellCopy> cells;
    for (long row = 1; row <= form.GetLastRow(); ++row)
        for (long col = 1; col <= form.GetLastCol(); ++col)
            if (const int type = form.GetTypeRC(row, col))
                cells.push_back({row, col, type, type == 3 ? form.GetFormulaRC(row, col) : form.GetTextRC(row, col),
                                 form.GetNumberRC(row, col)});
    return cells;
}

void PutCells(CVCF1& form, long sheet, const std::vector<CellCopy>& cells) {
    form.SetSheet(sheet);
    for (long row = form.GetLastRow(); row >= 1; --row)
        for (long col = form.GetLastCol(); col >= 1; --col) form.ClearRC(row, col);
    for (const CellCopy& c : cells) {
        if (c.type == 1) form.SetTextRC(c.row, c.col, c.text);
        if (c.type == 2) form.SetNumberRC(c.row, c.col, c.number);
        if (c.type == 3) form.SetFormulaRC(c.row, c.col, c.text);
    }
}

// What a spreadsheet program does to the mapping sheet when rows or columns
// move: the cells move, and every term of a key sum that reads as a cell
// address moves with them (USN77 one row down is USN78).
void MoveCells(CVCF1& form, const std::function<std::optional<CellPos>(CellPos)>& move) {
    const long sheet = mapping::SheetOf(form);
    std::vector<CellCopy> moved;
    for (CellCopy cell : CellsOf(form, sheet)) {
        const std::optional<CellPos> to = move({cell.row, cell.col});
        if (!to) continue;
        if (cell.type == 3) {
            std::string formula;
            std::istringstream terms(cell.text);
            for (std::string term; std::getline(terms, term, '+');) {
                const std::size_t underscore = term.find('_');
                const std::string key = term.substr(0, underscore);
                if (const auto ref = cellref::Parse(key); ref && move(*ref))
                    term = cellref::Format(*move(*ref)) + (underscore == std::string::npos ? "" : term.substr(underscore));
                formula += (formula.empty() ? "" : "+") + term;
            }
            cell.text = formula;
        }
        cell.row = to->row;
        cell.col = to->col;
        moved.push_back(cell);
    }
    PutCells(form, sheet, moved);
}

// A workbook's sheets by name and cells, in their order.
using SheetList = std::vector<std::pair<std::string, std::vector<CellCopy>>>;

const SheetList::value_type kNotes{"Notizen", {{1, 1, 1, "Notizen der Treuhänderin", 0}}};

// The workbook with its sheets inserted, deleted, moved or renamed by `edit`
// on the list, as a spreadsheet program does it.
void RebuildSheets(CVCF1& form, const std::function<void(SheetList&)>& edit) {
    SheetList sheets;
    for (long sheet = 1; sheet <= form.GetNumSheets(); ++sheet)
        sheets.emplace_back(form.GetSheetName(sheet), CellsOf(form, sheet));
    edit(sheets);
    form.SetNumSheets(static_cast<long>(sheets.size()));
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const long sheet = static_cast<long>(i) + 1;
        form.SetSheetName(sheet, "Blatt" + std::to_string(sheet));
    }
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const long sheet = static_cast<long>(i) + 1;
        form.SetSheetName(sheet, sheets[i].first);
        PutCells(form, sheet, sheets[i].second);
    }
    form.SetSheet(1);
}

}  // namespace

// A mapping sheet edited in a spreadsheet program so that its key names no
// longer mean what they did stops the key commands before any record
// changes; a sheet inserted or deleted elsewhere does not, and the commands
// work on the sheet named "Zuordnung" whatever its place. Without that name,
// another sheet at place 4 is never taken for it.
TEST_P(Safety, AMappingSheetEditedInASpreadsheetProgramIsFoundBeforeAnyChange) {
    struct Case {
        const char* what;
        std::function<void(CVCF1&)> edit;
        bool refused;
        bool sheetLost = false;  // refused for want of the mapping sheet itself
    };
    // The templates' mapping sheet is the fourth.
    constexpr std::size_t kMapping = 3;
    const auto sheets = [](std::function<void(SheetList&)> edit) {
        return [edit](CVCF1& f) { RebuildSheets(f, edit); };
    };
    const std::vector<Case> cases = {
        {"a row inserted at the top",
         [](CVCF1& f) { MoveCells(f, [](CellPos p) { return std::optional(CellPos{p.row + 1, p.col}); }); }, true},
        {"row 5 deleted",
         [](CVCF1& f) {
             MoveCells(f, [](CellPos p) {
                 return p.row == 5 ? std::nullopt : std::optional(CellPos{p.row > 5 ? p.row - 1 : p.row, p.col});
             });
         },
         true},
        {"a column inserted before B",
         [](CVCF1& f) { MoveCells(f, [](CellPos p) { return std::optional(CellPos{p.row, p.col >= 2 ? p.col + 1 : p.col}); }); },
         true},
        {"a key renamed by a fill",
         [](CVCF1& f) {
             f.SetSheet(mapping::SheetOf(f));
             f.SetFormulaRC(4, 2, "USN78+USB78");
         },
         true},
        {"the mapping sheet deleted", sheets([](SheetList& s) { s.erase(s.begin() + kMapping); }), true, true},
        {"a sheet inserted first", sheets([](SheetList& s) { s.insert(s.begin(), kNotes); }), false},
        {"another sheet deleted", sheets([](SheetList& s) { s.erase(s.begin() + 2); }), false},
        {"the mapping sheet renamed", sheets([](SheetList& s) { s[kMapping].first = "Meine Zuordnung"; }), false},
        {"the mapping sheet renamed, then a sheet inserted before it",
         sheets([](SheetList& s) {
             s[kMapping].first = "Meine Zuordnung";
             s.insert(s.begin() + kMapping, kNotes);
         }),
         true, true},
        {"a sheet inserted first, then the mapping sheet deleted",
         sheets([](SheetList& s) {
             s.insert(s.begin(), kNotes);
             s.erase(s.begin() + kMapping + 1);
         }),
         true, true},
        {"the mapping sheet moved to the front and renamed",
         sheets([](SheetList& s) {
             std::rotate(s.begin(), s.begin() + kMapping, s.begin() + kMapping + 1);
             s.front().first = "Meine Zuordnung";
         }),
         true, true},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::string dir = MakeMandate("zuordnung-" + std::to_string(i));
        const std::string path = dir + "/MWSTFORM.VTS";
        {
            CVCF1 form;
            short type = 0;
            form.Read(path, type);
            // A key of the mandate in a row, so that the insertion has a formula to extend.
            form.SetSheet(mapping::SheetOf(form));
            form.SetFormulaRC(8, 2, "VSS77");
            form.SetFormulaRC(8, 3, "VSS77_ST");
            c.edit(form);
            form.Write(path, type);
        }
        const std::string before = State(dir);
        const BatchResult result = Run({dir}, {Command::kInsertKeys});
        if (c.refused) {
            EXPECT_GT(log_.Failures(), 0) << c.what;
            ASSERT_EQ(result.outcomes.size(), 1u) << c.what;
            EXPECT_EQ(result.outcomes[0].kind, MandateOutcome::Kind::kFailed) << c.what;
            EXPECT_NE(log_.Text().find("Das MWST-Formular " + path), std::string::npos) << c.what << log_.Text();
            if (c.sheetLost) {
                EXPECT_NE(log_.Text().find("kein Blatt \"Zuordnung\", und Blatt 4"), std::string::npos)
                    << c.what << log_.Text();
            }
            EXPECT_EQ(log_.Text().find("Zelle :"), std::string::npos) << c.what << log_.Text();
            EXPECT_EQ(State(dir), before) << c.what;
            EXPECT_FALSE(fs::exists(dir + "/.mwst-formpass")) << c.what;
            continue;
        }
        EXPECT_EQ(log_.Failures(), 0) << c.what << log_.Text();
        CVCF1 form;
        short type = 0;
        form.Read(path, type);
        form.SetSheet(mapping::SheetOf(form));
        EXPECT_EQ(form.GetTextRC(1, 1), "Z200") << c.what;
        EXPECT_EQ(form.GetFormulaRC(8, 2), "VSS77") << c.what;
        EXPECT_EQ(form.GetFormulaRC(9, 2), "VSS81") << c.what << ": the new key in the _spez row";
        if (form.GetSheetName(1) == "Notizen") {
            form.SetSheet(1);
            EXPECT_EQ(form.GetTextRC(1, 1), "Notizen der Treuhänderin");
        }
    }
}

// The state before the first change is kept for good: a run stopped after its
// backup rolls back and keeps none of its own, and the retention keeps the
// original beside the newest.
TEST_P(Safety, TheOriginalBackupOutlivesStoppedRunsAndTheRetention) {
    WriteSettings("[Sicherheitskopien]\nbehalten=2\n");
    Run({dir_}, {Command::kInsertKeys});
    ASSERT_EQ(Backups(dir_).size(), 1u);
    const backup::Info original = Backups(dir_).front();
    EXPECT_TRUE(original.original);
    const std::string before = State(dir_);

    // Stopped at its first line once its backup is there, before its commit.
    std::atomic<bool> stop{false};
    ForwardingLogSink stopping([&](const std::string&) {
        if (Backups(dir_).size() > 1) stop = true;
    });
    RunOptions stopped;
    stopped.stop = &stop;
    for (int i = 0; i < 6; ++i) {
        stop = false;
        RunBatch(session_, {dir_}, CommandWork(Command::kAdaptAccounts), stopping, seam_, changeFlag_, {},
                 stopped);
        EXPECT_TRUE(stop) << "run " << i << " was not stopped after its backup";
        EXPECT_EQ(State(dir_), before) << "run " << i;
        EXPECT_EQ(Backups(dir_).size(), 1u) << "run " << i << " kept a backup";
    }

    for (Command command : {Command::kAdaptAccounts, Command::kResetAccounts, Command::kAdaptAccounts})
        EXPECT_TRUE(Run({dir_}, {command}).outcomes.at(0).Completed()) << log_.Text();
    const std::vector<backup::Info> kept = Backups(dir_);
    ASSERT_EQ(kept.size(), 3u) << "the original and the newest two";
    EXPECT_EQ(kept[0].id, original.id);
    EXPECT_TRUE(kept[0].original);
    EXPECT_FALSE(kept[1].original || kept[2].original);
    EXPECT_NE(batchtest::RunBatch({"backups", dir_}).out.find(original.id + "\t"), std::string::npos);
}

// A restore that finds the mandate as the backup is changes nothing and keeps
// no safety copy; the retention spares the backup a restore names.
TEST_P(Safety, ARestoreRunAgainIsAlreadyDoneAndKeepsItsBackup) {
    WriteSettings("[Sicherheitskopien]\nbehalten=1\n");
    for (Command command : {Command::kInsertKeys, Command::kAdaptAccounts, Command::kResetAccounts})
        Run({dir_}, {command});
    const std::vector<backup::Info> backups = Backups(dir_);
    ASSERT_EQ(backups.size(), 2u) << "the original and the newest";
    const std::string named = backups[1].id;
    for (int time = 0; time < 3; ++time) {
        log_.Clear();
        ASSERT_EQ(session_.Open(dir_, seam_, log_), MandateSession::Opened::kYes);
        EXPECT_TRUE(RestoreMandate(session_.Current(), named, log_)) << log_.Text();
        session_.Close();
        const bool again = time > 0;
        EXPECT_EQ(log_.Text().find(LoadString(IDS_LOG_ALREADY_DONE)) != std::string::npos, again) << log_.Text();
        const std::vector<backup::Info> after = Backups(dir_);
        ASSERT_EQ(after.size(), 3u) << "the original, the one restored and the state before it";
        EXPECT_EQ(after[0].id, backups[0].id);
        EXPECT_EQ(after[1].id, named);
    }
}

// Nothing is written, renamed or deleted through a link in the mandate that
// leads out of it: the command refuses with the line a workbook link gets (a
// lock file link: the mandate is not opened), and what the link leads to
// stays byte for byte as it was.
TEST_P(Safety, ALinkOutOfTheMandateIsNeverWrittenThrough) {
    if (Sql()) GTEST_SKIP() << "the lock file and the database journals are a file mandate's";
    struct Case {
        const char* name;
        bool folder;   // the link leads to a folder
        bool restore;  // the command that writes it is a restore
    };
    const Case cases[] = {
        {".mwst-restore", false, true},    {".mwst-backup", true, false},   {"pendra.lock", false, false},
        {"pendra.db-wal", false, false},   {"pendra.db-shm", false, false}, {"pendra.db-journal", false, false},
        {".mwst-formpass", false, false},
    };
    const fs::path outside = root_ / "aussen";
    const auto outsideBytes = [&outside] {
        std::string all;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(outside))
            all += entry.path().string() + "\n" + (entry.is_regular_file() ? FileBytes(entry.path().string()) : "");
        return all;
    };
    for (const Case& c : cases) {
        const std::string dir = MakeMandate(std::string("link") + c.name);
        if (c.restore) Run({dir}, {Command::kInsertKeys});
        fs::remove_all(outside);
        fs::create_directories(outside / ".tmp-important");
        testsupport::WriteFileBytes((outside / "ziel").string(), "fremde Daten\n");
        testsupport::WriteFileBytes((outside / ".tmp-important" / "behalten").string(), "fremd\n");
        const std::string before = outsideBytes();
        const std::string link = dir + "/" + c.name;
        fs::remove(link);
        fs::create_symlink(c.folder ? outside : outside / "ziel", link);
        seam_.boxes.clear();
        log_.Clear();

        bool done = false;
        if (c.restore) {
            ASSERT_EQ(session_.Open(dir, seam_, log_), MandateSession::Opened::kYes) << c.name;
            done = RestoreMandate(session_.Current(), "", log_);
            session_.Close();
        } else {
            const BatchResult result = Run({dir}, {Command::kInsertKeys});
            ASSERT_EQ(result.outcomes.size(), 1u) << c.name;
            done = result.outcomes[0].Completed();
            if (std::string(c.name) == "pendra.lock") {
                EXPECT_EQ(result.outcomes[0].reasonId, IDS_BATCH_NOT_OPENED) << c.name;
            }
        }
        EXPECT_FALSE(done) << c.name;
        std::string told = log_.Text();
        for (const auto& box : seam_.boxes) told += box.text;
        EXPECT_NE(told.find(Format(LoadString(IDS_UNSAFE_FILE), link, "")), std::string::npos) << c.name << told;
        EXPECT_EQ(outsideBytes(), before) << c.name;
        EXPECT_TRUE(fs::is_symlink(link)) << c.name;
    }
}
