#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "core/LogSink.h"
#include "core/RunSafety.h"
#include "mandate/backup/MandateBackup.h"

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
    // Ends the run: keeps its backup when the run changed the mandate (and
    // applies the retention), removes it otherwise; hands the failures
    // counted on Log() on to the front end's sink.
    void Finish();

    bool DryRun() const override { return dryRun_; }
    bool BeforeChange(CommandContext& ctx) override;

private:
    void SettleBackup() noexcept;

    // Writes the front end's sink, with the scratch folder named as the mandate directory.
    class ScratchNamingSink : public LogSink {
    public:
        ScratchNamingSink(LogSink& target, std::string scratch, std::string mandateDir)
            : target_(target), scratch_(std::move(scratch)), mandateDir_(std::move(mandateDir)) {}
        void Line(const std::string& line) override;

    private:
        LogSink& target_;
        std::string scratch_;
        std::string mandateDir_;
    };

    Mandate& mandate_;
    LogSink& log_;
    const bool dryRun_;
    const backup::Settings settings_;
    std::string mandateDir_;
    std::string scratch_;
    std::unique_ptr<ScratchNamingSink> scratchLog_;
    // The backup taken in this run; empty while none was needed.
    std::string backupId_;
    std::uint64_t writesBeforeBackup_ = 0;
    bool finished_ = false;
};

// The backup settings of the product settings (section Sicherheitskopien).
backup::Settings ProductBackupSettings();

// When a backup was taken, in local time: "2024-01-15 09:30:12".
std::string BackupTimeText(std::chrono::system_clock::time_point when);
