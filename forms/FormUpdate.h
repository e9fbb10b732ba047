#pragma once
#include <string>

struct CommandContext;

// Puts the year's template set (2018 or 2024) in place of the context
// mandate's form workbooks and companion files: a workbook is replaced when
// the versions differ as `invert` allows (1: both ways), carrying the
// mandate's key formulas over; the other files are copied. Each file gets a
// log line. False when the mandate is read-only or not open, or when a file
// could not be done (logged, counted).
bool UpdateForms(CommandContext& ctx, int year2011, int invert);

// One workbook: `source` (a template) with the formulas of `target` (the
// mandate's) written into the mandate directory. Non-zero on success;
// `failure` receives why it failed, for the log.
int CopyUpdateForm(CommandContext& ctx, const std::string& source, const std::string& target, int invert,
                   std::string* failure = nullptr);
