#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/LogSink.h"
#include "core/RunSafety.h"
#include "backup/MandateBackup.h"

class Mandate;

// The safety of one run of commands on one open mandate, held exclusively:
// a backup before the first change (once per mandate and run, however many
// commands follow), or, for a dry run, a scratch folder for the files of ours
// and one transaction that is rolled back when the run ends. The commands'
// log goes through Log(): in a dry run it names the mandate's files where the
// commands wrote into the scratch folder, so the log reads as the real run's.
class MandateRun : public RunSafety {
public:
    MandateRun(Mandate& mandate, LogSink& log, bool dryRun, backup::Settings settings);
    // Rolls a dry run back and removes its scratch folder.
    ~MandateRun() override;
    MandateRun(const MandateRun&) = delete;
    MandateRun& operator=(const MandateRun&) = delete;

    // Sets a dry run up (scratch folder with copies of the mandate's files);
    // false, logged and counted, when that is not possible. Nothing to do otherwise.
    bool Start();
    // The sink the commands write to; its failures are handed on to the
    // front end's sink when the run ends.
    LogSink& Log();
    // Where the commands read and write the mandate's files of ours
    // (CommandContext::filesFolder): the scratch folder once a dry run has
    // started, else empty (the mandate's folder).
    const std::string& FilesFolder() const { return scratch_; }
    // Ends the run: keeps its backup when the run changed the mandate (and
    // applies the retention), removes it otherwise; hands the failures
    // counted on Log() on to the front end's sink. `rolledBack`: the run was
    // stopped or failed, so only what it committed before counts as a change.
    void Finish(bool rolledBack = false);

    bool DryRun() const override { return dryRun_; }
    bool BeforeRead(CommandContext& ctx) override;
    bool BeforeChange(CommandContext& ctx) override;

private:
    void SettleBackup(bool rolledBack) noexcept;
    // The mandate's tables whole; when not, said once on `log`.
    bool Intact(LogSink& log);

    Mandate& mandate_;
    LogSink& log_;
    const bool dryRun_;
    const backup::Settings settings_;
    std::string mandateDir_;
    std::string scratch_;
    std::unique_ptr<RenamingLogSink> scratchLog_;
    // The backup taken in this run; empty while none was needed.
    std::string backupId_;
    std::uint64_t writesBeforeBackup_ = 0;
    std::uint64_t commitsBeforeBackup_ = 0;
    bool finished_ = false;
    // What is damaged in the mandate's tables, once checked (empty: whole).
    std::optional<std::string> damage_;
};

// The backup settings of the product settings (section Sicherheitskopien).
backup::Settings ProductBackupSettings();

// When a backup was taken, in local time: "2024-01-15 09:30:12".
std::string BackupTimeText(std::chrono::system_clock::time_point when);
