#pragma once
#include <string>

#include "backup/MandateBackup.h"

class LogSink;
class Mandate;

// Puts backup `id` (empty: the newest) back into the open mandate, held
// exclusively, and logs it as every front end does: the begin line, the
// backup restored and the parts put back (or why nothing was), the end line.
// True when it was restored. The caller opens the mandate again afterwards.
bool RestoreMandate(Mandate& mandate, const std::string& id, LogSink& log);

// Finishes a restore of the open mandate that was cut off, logged the same
// way; nothing when there was none. Called when a mandate is opened.
void ResumeMandateRestore(Mandate& mandate, LogSink& log);
