#pragma once
#include <memory>
#include <string>

#include "pendra/StorageEngine.h"

struct CommandContext;

// What a run of commands on one mandate promises about its changes. The
// mandate layer sets one up for each mandate it runs commands on (RunOnMandate
// in mandate/BatchWalk.h), so that the window and mwst-batch behave alike;
// the commands ask it where they begin to change something. A context without
// one (tests, tools) changes the mandate directly.
class RunSafety {
public:
    virtual ~RunSafety() = default;

    // A dry run: the commands run fully and log what they would do, but their
    // records are rolled back and their workbooks go to a scratch folder.
    virtual bool DryRun() const = 0;

    // Called as a command starts, before it reads the mandate: false when
    // it must not work on it (its tables are damaged, as the status would
    // say too); the reason is logged and counted then.
    virtual bool BeforeRead(CommandContext& /*ctx*/) { return true; }

    // Called before a command changes the mandate (records, workbooks,
    // companion files): takes the run's backup the first time. False when the
    // change must not happen; the reason is logged and counted then.
    virtual bool BeforeChange(CommandContext& ctx) = 0;

    // The command about to run, as mwst-batch names it: what the backup says followed.
    void SetCommand(std::string name) { command_ = std::move(name); }
    const std::string& Command() const { return command_; }

    // A dry run keeps the records of all its commands in this one transaction,
    // so that each command sees what the ones before it did; it is rolled back
    // when the run ends or a command fails.
    std::unique_ptr<StorageBatch> dryBatch;

private:
    std::string command_;
};
