#pragma once

class LogSink;
class Mandate;
class UiSeam;

// What a conversion command works on, handed in by the front end that runs
// it: the open mandate, the log it writes to, the seam that answers its
// questions and boxes, and the change flag that a pass sets when it changed a
// workbook. Nothing else is reached from a command.
struct CommandContext {
    Mandate& mandate;
    LogSink& log;
    UiSeam& seam;
    short& changeFlag;
};
