#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "batch/StatusReport.h"
#include "commands/ConversionCommands.h"
#include "rules/RateChange.h"

// mwst-batch's command line (its forms are in BatchRunner.h), read with Qt's
// parser (cli/): options stand anywhere, `--opt value` or `--opt=value`, `--`
// ends them, and arguments are bytes that pass through unchanged.
struct BatchOptions {
    enum class Mode { kCommands, kStatus, kBookings, kBackups, kRestore };

    static constexpr const char* kProgram = "mwst-batch";
    // The command that prints a mandate's overview of keys instead of converting.
    static constexpr const char* kShowKeys = "show-keys";

    // Sets the language of the messages first (--lang, else the product's
    // culture). False on a usage error, told on `err` with the usage text;
    // --help and --version are taken whatever else the line holds.
    bool Parse(const std::vector<std::string>& args, std::ostream& err);
    static void PrintUsage(std::ostream& stream);

    Mode mode = Mode::kCommands;
    StatusFormat statusFormat = StatusFormat::kText;  // status and bookings
    bool wrongSide = false;                           // bookings: those on the wrong side of the change's day
    RateChange change = DefaultRateChange();          // --change, else the settings' change, else 2024
    bool statusSummary = false;  // status: the counts per stage and per problem only
    bool dryRun = false;
    std::optional<std::string> backupId;  // restore: the backup to put back (else the newest)
    std::vector<std::string> commandNames;
    std::vector<Command> commands;  // without show-keys
    bool help = false;
    bool version = false;
    bool yes = false;
    bool abortOnLocked = false;
    int jobs = 1;
    std::optional<std::string> passwordFile;
    std::optional<std::string> searchRoot;
    std::vector<std::string> dirs;
};
