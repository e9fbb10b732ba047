// The command table and the run of one command on one mandate, with the log
// lines the menu and the list write around it.
#include "commands/ConversionCommands.h"

#include <optional>

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/RunSafety.h"
#include "core/Strings.h"
#include "core/UiSeam.h"
#include "forms/FormActivation.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"
#include "commands/StepTarget.h"
#include "commands/TaxKeyFiles.h"
#include "rules/FormEra.h"
#include "templates/TemplateSet.h"

namespace {

// The change's form, when its templates are installed; a change without an
// official form yet has none to activate (its old keys go without it).
Outcome ActivateNewForm(CommandContext& ctx) {
    const RateChange& change = OrDefault(ctx.change);
    if (!change.newFormsInstalled) {
        ctx.log.Line(Format(LoadString(IDS_LOG_CHANGE_FORMS_MISSING), ChangeText(change, CurrentLanguage() == Language::French),
                            MwstTemplateBaseDirectory() + "mwst"));
        return Outcome::kRefused;
    }
    return ActivateForm(ctx, change.newForms);
}

Outcome RunOperation(CommandContext& ctx, Command command) {
    switch (command) {
    case Command::kInsertKeys:
        return OnExtendTax(ctx);
    case Command::kRemoveNewKeys:
        return OnReverseExtendTax(ctx);
    case Command::kAdaptAccounts:
        return UpdateAccounts(ctx, 0);
    case Command::kResetAccounts:
        return UpdateAccounts(ctx, 1);
    case Command::kForm2024:
        return ActivateNewForm(ctx);
    case Command::kForm2018:
        return ActivateForm(ctx, OrDefault(ctx.change).oldForms);
    case Command::kRemoveOldKeys:
        return OnRemoveTax(ctx);
    }
    return Outcome::kRefused;
}

// Whether the command runs also when its target holds: the removal for its
// line on the old keys still booked, the form activation for the companion
// files and the workbooks whose mapping cannot be trusted, the insertion on a
// 2018 form for the key pairs its pass hands to a form that came since.
bool RunsWhenDone(CommandContext& ctx, Command command) {
    switch (command) {
    case Command::kRemoveOldKeys:
    case Command::kForm2024:
    case Command::kForm2018:
        return true;
    case Command::kInsertKeys:
        return !SumsNewKeys(FormEraOf(ActiveFormVersion(ctx), OrDefault(ctx.change)));
    default:
        return false;
    }
}

}  // namespace

const std::vector<CommandInfo>& Commands() {
    static const std::vector<CommandInfo> commands = {
        {Command::kInsertKeys, "insert-keys", ID_NEW_KEYS, IDS_BEGIN_INSERT, IDS_END_INSERT, IDS_INSERT_REFUSED,
         false, 0, 0, false},
        {Command::kRemoveNewKeys, "remove-new-keys", ID_NEW_KEYS_REVERSE, IDS_BEGIN_REMOVE_NEW, IDS_END_REMOVE_NEW,
         IDS_REMOVE_REFUSED, false, 0, 0, false},
        {Command::kAdaptAccounts, "adapt-accounts", ID_UPDATE_ACCOUNTS, IDS_BEGIN_ADAPT, IDS_END_ADAPT, 0, true, 0,
         0, true},
        {Command::kResetAccounts, "reset-accounts", ID_UNDO_UPDATE_ACCOUNTS, IDS_BEGIN_RESET, IDS_END_RESET, 0, true,
         0, 0, true},
        {Command::kForm2024, "form-2024", ID_FORM2024, 0, IDS_END_FORM2024, 0, true, IDS_CONFIRM_FORMS,
         MB_YESNO | MB_ICONEXCLAMATION, true},
        {Command::kForm2018, "form-2018", ID_FORM2018, 0, IDS_END_FORM2018, 0, true, IDS_CONFIRM_FORMS,
         MB_YESNO | MB_ICONEXCLAMATION, true},
        {Command::kRemoveOldKeys, "remove-old-keys", ID_REMOVE_KEYS, 0, IDS_END_REMOVE_OLD, 0, false,
         IDS_CONFIRM_REMOVE_OLD, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, false},
    };
    return commands;
}

const CommandInfo* FindCommand(const std::string& name) {
    for (const CommandInfo& info : Commands())
        if (name == info.name) return &info;
    return nullptr;
}

const CommandInfo& InfoOf(Command command) {
    for (const CommandInfo& info : Commands())
        if (info.command == command) return info;
    return Commands().front();
}

bool ConfirmCommand(UiSeam& seam, Command command) {
    const CommandInfo& info = InfoOf(command);
    if (info.confirmId == 0) return true;
    return seam.MessageBox({LoadString(info.confirmId), LoadString(IDS_TITLE), info.confirmType}) == IDYES;
}

Outcome RunCommand(CommandContext& ctx, Command command, const std::string& dir) {
    const CommandInfo& info = InfoOf(command);
    if (ctx.safety) ctx.safety->SetCommand(info.name);
    // A dry run says so before and after the command's own lines, so that
    // its log is never taken for that of a conversion.
    const bool dryRun = IsDryRun(ctx);
    if (dryRun) ctx.log.Line(Format(LoadString(IDS_LOG_DRY_RUN_BEGIN), dir));
    if (info.beginLineId) ctx.log.Line(Format(LoadString(info.beginLineId), dir));
    ctx.changeFlag = 0;
    const bool intact = !ctx.safety || ctx.safety->BeforeRead(ctx);
    // A mandate the user may only read is left out, saying why; the form
    // activation says it in its own words and leaves the files alone.
    const bool formCommand = command == Command::kForm2024 || command == Command::kForm2018;
    if (intact && !formCommand && ctx.mandate.IsMandantOpen() && ctx.mandate.IsReadOnly()) {
        ctx.log.Line(Format(LoadString(IDS_LOG_READ_ONLY_SKIPPED), dir));
        if (info.endLineAlways) ctx.log.Line(Format(LoadString(info.endLineId), dir));
        if (dryRun) ctx.log.Line(Format(LoadString(IDS_LOG_DRY_RUN_END), dir));
        return Outcome::kRefused;
    }
    // A damaged database was refused by BeforeRead (logged, counted).
    const bool doneBefore = intact && TargetHolds(ctx, command).value_or(false);
    const bool runs = intact && (!doneBefore || RunsWhenDone(ctx, command));
    Outcome ran = Outcome::kFailed;
    if (intact) ran = runs ? RunOperation(ctx, command) : Outcome::kDone;
    Outcome outcome = ran;
    // A command that did not run left its target as it was: no second read.
    if (runs && Completed(ran) && !TargetHolds(ctx, command).value_or(false)) {
        // Completed, yet the step is not done: the command's lines said why.
        ctx.log.CountFailure();
        outcome = Outcome::kFailed;
    } else if (Completed(ran) && doneBefore) {
        outcome = Outcome::kAlreadyDone;
        ctx.log.Line(LoadString(IDS_LOG_ALREADY_DONE));
    }
    if (Completed(ran) || info.endLineAlways)
        ctx.log.Line(Format(LoadString(info.endLineId), dir));
    else if (info.refusedLineId)
        ctx.log.Line(LoadString(info.refusedLineId));
    if (dryRun) ctx.log.Line(Format(LoadString(IDS_LOG_DRY_RUN_END), dir));
    return outcome;
}
