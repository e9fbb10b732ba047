#include "core/CommandContext.h"

#include "core/RunSafety.h"
#include "pendra/Mandate.h"

bool IsDryRun(const CommandContext& ctx) { return ctx.safety && ctx.safety->DryRun(); }

bool BeforeChange(CommandContext& ctx) { return !ctx.safety || ctx.safety->BeforeChange(ctx); }

bool StopRequested(const CommandContext& ctx) { return ctx.stop && ctx.stop->load(); }

std::string FilesFolder(const CommandContext& ctx) {
    return ctx.filesFolder.empty() ? ctx.mandate.GetPath() : ctx.filesFolder;
}
