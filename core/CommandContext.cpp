#include "core/CommandContext.h"

#include "core/RunSafety.h"

bool IsDryRun(const CommandContext& ctx) { return ctx.safety && ctx.safety->DryRun(); }

bool BeforeChange(CommandContext& ctx) { return !ctx.safety || ctx.safety->BeforeChange(ctx); }

bool StopRequested(const CommandContext& ctx) { return ctx.stop && ctx.stop->load(); }
