#include "commands/StepTarget.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "forms/FormPassJournal.h"
#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "pendra/PendraStatus.h"
#include "rules/ConversionState.h"

namespace {

bool FormsAt(const CommandContext& ctx, int forms) {
    const auto year = static_cast<unsigned>(forms);
    const std::vector<FormFileVersion> files = FormFileVersions(MwstSheetFolder(ctx));
    return !files.empty() && std::all_of(files.begin(), files.end(),
                       [year](const FormFileVersion& file) { return file.readable && file.version == year; });
}

BookingReach ReachOf(Command command) {
    return command == Command::kRemoveOldKeys || command == Command::kRemoveNewKeys ? BookingReach::kKeyUses
                                                                                    : BookingReach::kNone;
}

}  // namespace

std::optional<bool> TargetHolds(CommandContext& ctx, Command command) {
    const RateChange& change = OrDefault(ctx.change);
    if (command == Command::kForm2024) return FormsAt(ctx, change.newForms);
    if (command == Command::kForm2018) return FormsAt(ctx, change.oldForms);
    // A formula pass an earlier run left pending is work left: the command
    // that runs next finishes it.
    std::error_code error;
    if (std::filesystem::exists(formpass::JournalPath(FilesFolder(ctx)), error)) return false;
    ConversionState state;
    if (ReadConversionState(ctx.mandate, ctx.table, ReachOf(command), state, change) != pendra::kOk) return std::nullopt;
    switch (command) {
    case Command::kInsertKeys: return NewKeysInPlace(state);
    case Command::kRemoveNewKeys: return UnusedNewKeysRemoved(state);
    case Command::kAdaptAccounts: return AccountsAdapted(state);
    case Command::kResetAccounts: return AccountsReset(state);
    case Command::kRemoveOldKeys: return UnusedOldKeysRemoved(state);
    case Command::kForm2024:
    case Command::kForm2018: break;
    }
    return std::nullopt;
}
