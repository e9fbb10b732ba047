#pragma once
#include <string>
#include <vector>

#include "core/CommandContext.h"

class Konto;
class ProgressSteps;
class UiSeam;

// The conversion commands on the context's mandate, which is open and held
// exclusively. Each returns kDone when it completed, kRefused when the mandate
// was not ready for it (the wrong form; logged why) and kFailed when it did
// not complete (its run failed through CommandRun::Fail: logged, counted).
// Whether its work was there to do is for RunCommand to say, from the step's
// target (commands/StepTarget.h).

// "Neue Steuerschlüssel einfügen": a new key beside every old key.
Outcome OnExtendTax(CommandContext& ctx);
// "Neue Steuerschlüssel entfernen": the new keys that no booking uses.
Outcome OnReverseExtendTax(CommandContext& ctx);
// "Konti anpassen" (rev 0) and "Konti zurückstellen" (rev 1).
Outcome UpdateAccounts(CommandContext& ctx, int rev);
// "Alte Steuerschlüssel entfernen": the old keys no booking uses, once the
// 2024 form is active.
Outcome OnRemoveTax(CommandContext& ctx);

// Puts `taxid` into every account of the mandate whose default tax key is
// exactly `oldid`, each under its own single-record lock, logging every
// account changed and every update that failed. `konto` is bound to the
// mandate's account file (update mode). Returns 1, or 0 after the log line
// of a failed update or read. Each account visited is a step of `steps`.
int UpdateKonten(LogSink& log, Konto& konto, const std::string& oldid, const std::string& taxid,
                 ProgressSteps& steps);

// The commands as the menu, the list and mwst-batch name them.
enum class Command {
    kInsertKeys,
    kRemoveNewKeys,
    kAdaptAccounts,
    kResetAccounts,
    kForm2024,
    kForm2018,
    kRemoveOldKeys,
};

struct CommandInfo {
    Command command;
    const char* name;       // mwst-batch's name
    unsigned menuId;        // the menu command
    int beginLineId;        // the log line before the command (0: none)
    int endLineId;          // the log line when it completed
    int refusedLineId;      // the log line when it refused (0: none)
    bool endLineAlways;     // the end line also after a refusal
    int confirmId;          // the question asked once before a run (0: none)
    unsigned confirmType;   // the box type of that question
    bool closeAfterEach;    // a batch closes each mandate after the command
};

const std::vector<CommandInfo>& Commands();
const CommandInfo* FindCommand(const std::string& name);
const CommandInfo& InfoOf(Command command);

// The question a command asks once before it runs on one or many mandates;
// true when there is none or the answer lets it run.
bool ConfirmCommand(UiSeam& seam, Command command);

// Runs `command` on the context's mandate with its log lines around it, as
// the menu does on the open mandate and a batch does on each mandate:
// `dir` is the directory the lines name. The step's target decides: held
// before, the work was done already ("bereits erledigt" before the end line);
// missed after a command that completed, the step is not done (kFailed,
// counted).
Outcome RunCommand(CommandContext& ctx, Command command, const std::string& dir);
