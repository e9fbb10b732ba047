#pragma once
#include <memory>
#include <optional>
#include <string>

#include "forms/FormPassJournal.h"

#include "core/CommandContext.h"

class KeyPlan;
class StorageBatch;
class TaxKeyFiles;

// One key or account command on the context's mandate, all or nothing. Its record
// changes are one transaction; the formula pass it asks for runs on the form
// workbook after the commit, journalled so that a run cut off in between is
// finished by the next command (FormPassJournal.h). A read or write that
// fails ends the run: nothing is committed, the log names the reason and says
// that the command did not complete, and the failure is counted. So does a
// conversion table that exists but cannot be read, before anything changed.
class CommandRun {
public:
    explicit CommandRun(CommandContext& ctx);
    ~CommandRun();  // rolls back what was not committed
    CommandRun(const CommandRun&) = delete;
    CommandRun& operator=(const CommandRun&) = delete;

    // Finishes a pass that an earlier run left pending, then begins the
    // transaction. False (logged, counted) when the transaction cannot begin,
    // or, for a command whose pass adapts the form workbook (`adaptsForm`),
    // when that workbook cannot be read or no longer has the template's
    // structure: then nothing changed and no pass is pending.
    bool Begin(bool adaptsForm = false);

    // The run is over: `reason` (a log line, may be empty) and the line that
    // the command did not complete are logged. Always false, for `return`.
    bool Fail(const std::string& reason);
    // True, after failing the run (its changes rolled back, logged), once
    // the front end asked to stop; the command then ends.
    bool Stopped();
    // Fail with "FILE konnte nicht gelesen werden (Status N)".
    bool ReadFailed(const std::string& file, int status);

    // Opens the command's key files; false (the run failed, logged) when one
    // will not open, after the box that says why.
    bool OpenFiles(TaxKeyFiles& files);
    // The command's plan from the key file; false (the run failed, logged)
    // when the key file cannot be read to its end.
    bool ReadPlan(TaxKeyFiles& files, KeyPlan& plan);

    // Commits and runs `pass`. False when the commit failed (logged).
    bool Finish(const std::optional<FormPass>& pass);

private:
    CommandContext& ctx_;
    std::unique_ptr<StorageBatch> batch_;
};
