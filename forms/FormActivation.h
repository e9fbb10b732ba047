#pragma once
#include <string>

#include "templates/MandateFiles.h"

#include "core/CommandContext.h"

// The year's form (2018 or 2024) for the context's mandate: when its key and
// account files can be read, a formula pass still pending is finished and the
// template set replaces the form workbooks (UpdateForms, both ways). kDone
// when every file was done, kFailed otherwise (logged, counted).
//
// All or nothing across the files: the new workbooks and companion files are
// written into a staging folder inside the mandate folder; only when every
// one is done, a journal naming them is written and they are renamed into
// place; then the journal and the staging folder go. A run cut off before the
// journal leaves the mandate's files as they were, one cut off after it is
// finished by the next open (activation::Recover), so no mandate is ever
// left with workbooks of two years.
Outcome ActivateForm(CommandContext& ctx, int year);

namespace activation {

inline constexpr const char* kJournalName = filesofours::kActivationJournalName;
inline constexpr const char* kStagingName = ".mwst-activation.tmp";

// What an interrupted activation left in `mandateDir`: with its journal, the
// staged files still waiting are renamed into place (true: finished); a
// staging folder without a journal is removed (the mandate's files were
// never touched). The caller holds the mandate exclusively.
bool Recover(const std::string& mandateDir);

}  // namespace activation
