#pragma once
#include <string>
#include <vector>

#include "commands/TaxKeyFiles.h"

class CommandRun;
class KeyPlan;
struct CommandContext;
struct PlannedKey;

// The removal of keys that no booking uses, shared by "Neue
// Steuerschlüssel entfernen" and "Alte Steuerschlüssel entfernen": which
// keys are asked about is the command's, the removal and its log lines are
// the same.
class KeyRemoval {
public:
    KeyRemoval(CommandContext& ctx, CommandRun& run, TaxKeyFiles& files) : ctx_(ctx), run_(run), files_(files) {}

    // Reads the command's plan and whether bookings use the key each old key
    // names in `id` (its own id or its new one), in one request; false (the
    // run failed, logged) when the keys or the bookings cannot be read.
    bool ReadPlanAndUses(KeyPlan& plan, std::string PlannedKey::*id);
    // Whether the key asked about as the `index`th id uses a booking; false
    // (the run failed, logged) when that id's bookings cannot be read.
    bool Used(std::size_t index, bool& used);
    // Whether an account defaults to `id`: such a key is kept, said with the
    // account's number. False (the run failed, logged) when the accounts
    // cannot be read.
    bool OnAccount(const std::string& id, bool& named);
    // Deletes `id`, the key the writer has just read for `planned`, logs it
    // and, when its automatic account is a formula account, keeps it among
    // FormulaKeys: the log names those once the pass saved the workbook
    // (FormPass::logged). False when the run failed (logged).
    bool Remove(const PlannedKey& planned, const std::string& id);

    const std::vector<std::string>& Deleted() const { return deleted_; }
    const std::vector<std::string>& FormulaKeys() const { return formulaKeys_; }

private:
    CommandContext& ctx_;
    CommandRun& run_;
    TaxKeyFiles& files_;
    std::vector<TaxKeyFiles::BookingUse> uses_;
    std::vector<std::string> deleted_;
    std::vector<std::string> formulaKeys_;
};
