#pragma once

struct CommandContext;

// The year's form (2018 or 2024) for the context's mandate: when its key and
// account files can be read, a formula pass still pending is finished and the
// template set replaces the form workbooks (UpdateForms, both ways). 1 when
// every file was done, 0 otherwise (logged, counted).
int ActivateForm(CommandContext& ctx, int year);
