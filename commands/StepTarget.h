#pragma once
#include <optional>

#include "commands/ConversionCommands.h"

// Whether the target of `command` holds on the context's mandate as it is
// now (in a dry run: as the run left it): the records and form files say
// so, not what a command did or did not write. std::nullopt when they
// cannot be read; the command itself then meets and reports that read. A
// formula pass left pending is work left for every key and account step.
//   insert-keys:     every old key the rules convert has its new key
//   remove-new-keys: no new key is left that nothing uses
//   adapt-accounts:  no account defaults to an old key the rules convert
//   reset-accounts:  no account defaults to the new key of an old key
//   form-2024/2018:  every form file is of that year's version
//   remove-old-keys: no old key is left that nothing uses (booked ones stay)
std::optional<bool> TargetHolds(CommandContext& ctx, Command command);
