#include "batch/BatchOptions.h"

#include <algorithm>
#include <map>
#include <sstream>

#include "base/Format.h"
#include "cli/CommandLine.h"
#include "commands/RateChangeFile.h"
#include "core/BrisolSettings.h"
#include "core/Strings.h"
#include "res/Resource.h"

namespace {

constexpr const char* kBackups = "backups";
constexpr const char* kBookings = "bookings";
constexpr const char* kRestore = "restore";
constexpr const char* kStatus = "status";
constexpr int kMaxJobs = 64;

struct KnownOptions {
    mwstcli::StandardOptions standard;
    QCommandLineOption yes{QStringLiteral("yes")};
    QCommandLineOption dryRun{QStringLiteral("dry-run")};
    QCommandLineOption backupId{QStringLiteral("backup"), QString(), QStringLiteral("ID")};
    QCommandLineOption onLocked{QStringLiteral("on-locked"), QString(), QStringLiteral("abort|ignore")};
    QCommandLineOption passwordFile{QStringLiteral("password-file"), QString(), QStringLiteral("FILE")};
    QCommandLineOption search{QStringLiteral("search"), QString(), QStringLiteral("ROOT")};
    QCommandLineOption lang{QStringLiteral("lang"), QString(), QStringLiteral("de|fr")};
    QCommandLineOption jobs{QStringLiteral("jobs"), QString(), QStringLiteral("N")};
    QCommandLineOption format{QStringLiteral("format"), QString(), QStringLiteral("text|csv|json")};
    QCommandLineOption wrongSide{QStringLiteral("wrong-side")};
    QCommandLineOption summary{QStringLiteral("summary")};
    QCommandLineOption change{QStringLiteral("change"), QString(), QStringLiteral("NAME|FILE")};

    void AddTo(QCommandLineParser& parser) const {
        standard.AddTo(parser);
        for (const QCommandLineOption* option :
             {&yes, &dryRun, &backupId, &onLocked, &passwordFile, &search, &lang, &jobs, &format, &wrongSide, &summary, &change})
            parser.addOption(*option);
    }
};

std::vector<std::string> Values(const QCommandLineParser& parser, const QCommandLineOption& option) {
    std::vector<std::string> values;
    for (const QString& value : parser.values(option)) values.push_back(mwstcli::Bytes(value));
    return values;
}

// The value given last, if the option was given.
std::optional<std::string> LastValue(const QCommandLineParser& parser, const QCommandLineOption& option) {
    if (!parser.isSet(option)) return std::nullopt;
    return Values(parser, option).back();
}

std::vector<std::string> Positional(const QCommandLineParser& parser) {
    std::vector<std::string> texts;
    for (const QString& text : parser.positionalArguments()) texts.push_back(mwstcli::Bytes(text));
    return texts;
}

// 1 to kMaxJobs, in decimal digits only ("+2", " 2" and "2x" are no count).
std::optional<int> JobCount(const std::string& text) {
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int count = std::stoi(text);
    if (count < 1 || count > kMaxJobs) return std::nullopt;
    return count;
}

std::optional<StatusFormat> FormatNamed(const std::string& name) {
    const std::map<std::string, StatusFormat> formats = {
        {"text", StatusFormat::kText}, {"csv", StatusFormat::kCsv}, {"json", StatusFormat::kJson}};
    const auto known = formats.find(name);
    if (known == formats.end()) return std::nullopt;
    return known->second;
}

// The usage errors: the reason, the usage text, false.
bool BadOption(std::ostream& err, const std::string& arg) {
    err << Format(LoadString(IDS_BATCH_BAD_OPTION), arg) << "\n";
    BatchOptions::PrintUsage(err);
    return false;
}

// A known option with a value it does not take.
bool BadValue(std::ostream& err, const std::string& option, const std::string& value, const std::string& allowed) {
    err << Format(LoadString(IDS_BATCH_BAD_VALUE), option, value, allowed) << "\n";
    BatchOptions::PrintUsage(err);
    return false;
}

// An option known, but not for what was asked.
bool NotWith(std::ostream& err, const std::string& option, const std::string& word) {
    err << Format(LoadString(IDS_BATCH_NOT_WITH), option, word) << "\n";
    BatchOptions::PrintUsage(err);
    return false;
}

bool NoMandates(std::ostream& err) {
    err << LoadString(IDS_BATCH_NO_MANDATES) << "\n";
    BatchOptions::PrintUsage(err);
    return false;
}

// Sets the language of the messages from the --lang values (the last known
// one wins); false when one is not known, which is told only after --help
// and --version had their chance.
bool SetLanguage(const std::vector<std::string>& languages) {
    std::optional<std::string> culture;
    bool known = true;
    for (const std::string& language : languages) {
        if (language == "de" || language == "fr")
            culture = language == "fr" ? "fr-CH" : "de-CH";
        else
            known = false;
    }
    SetProcessPreferredUILanguages(culture ? *culture : GetUICultureName());
    return known;
}

// The options every form of the line may hold.
bool TakeOptions(BatchOptions& options, const QCommandLineParser& parser, const KnownOptions& known,
                 std::ostream& err) {
    options.yes = parser.isSet(known.yes);
    options.dryRun = parser.isSet(known.dryRun);
    options.backupId = LastValue(parser, known.backupId);
    options.wrongSide = parser.isSet(known.wrongSide);
    for (const std::string& answer : Values(parser, known.onLocked)) {
        if (answer != "abort" && answer != "ignore") return BadValue(err, "--on-locked", answer, "abort|ignore");
        options.abortOnLocked = answer == "abort";
    }
    options.passwordFile = LastValue(parser, known.passwordFile);
    options.searchRoot = LastValue(parser, known.search);
    for (const std::string& count : Values(parser, known.jobs)) {
        const std::optional<int> jobCount = JobCount(count);
        if (!jobCount) return BadValue(err, "--jobs", count, "1.." + std::to_string(kMaxJobs));
        options.jobs = *jobCount;
    }
    std::string refusal;
    if (!LoadRateChange(LastValue(parser, known.change).value_or(RateChangeSetting()), options.change, refusal)) {
        err << refusal << "\n";
        return false;
    }
    return true;
}

// `backups DIR` and `restore DIR`: one mandate, named, since a backup is
// never looked for by a search.
bool TakeOneMandateForm(BatchOptions& options, const std::string& word, std::ostream& err) {
    options.mode = word == kBackups ? BatchOptions::Mode::kBackups : BatchOptions::Mode::kRestore;
    if (options.dryRun) return NotWith(err, "--dry-run", word);
    if (options.wrongSide) return NotWith(err, "--wrong-side", word);
    if (options.searchRoot) return NotWith(err, "--search", word);
    if (options.backupId && options.mode != BatchOptions::Mode::kRestore) return NotWith(err, "--backup", word);
    if (options.jobs > 1) return NotWith(err, "--jobs", word);
    if (options.dirs.size() > 1) {
        err << Format(LoadString(IDS_BATCH_ONE_DIRECTORY), word, options.dirs[1]) << "\n";
        BatchOptions::PrintUsage(err);
        return false;
    }
    if (options.dirs.empty()) return NoMandates(err);
    return true;
}

// `status` and `bookings --wrong-side`: reports that only read.
bool TakeReportForm(BatchOptions& options, const std::string& word, const std::vector<std::string>& formats,
                    std::ostream& err) {
    options.mode = word == kStatus ? BatchOptions::Mode::kStatus : BatchOptions::Mode::kBookings;
    if (options.dryRun) return NotWith(err, "--dry-run", word);
    if (options.wrongSide && options.mode != BatchOptions::Mode::kBookings) return NotWith(err, "--wrong-side", word);
    if (options.statusSummary && options.mode != BatchOptions::Mode::kStatus) return NotWith(err, "--summary", word);
    if (!options.wrongSide && options.mode == BatchOptions::Mode::kBookings) {
        err << Format(LoadString(IDS_BATCH_NEEDS_OPTION), word, "--wrong-side") << "\n";
        BatchOptions::PrintUsage(err);
        return false;
    }
    for (const std::string& name : formats) {
        const std::optional<StatusFormat> format = FormatNamed(name);
        if (!format) return BadValue(err, "--format", name, "text|csv|json");
        options.statusFormat = *format;
    }
    return true;
}

// The comma-separated commands, each known.
bool TakeCommands(BatchOptions& options, const std::string& list, std::ostream& err) {
    std::stringstream names(list);
    for (std::string name; std::getline(names, name, ',');) {
        options.commandNames.push_back(name);
        if (name == BatchOptions::kShowKeys) continue;
        const CommandInfo* info = FindCommand(name);
        if (!info) {
            err << Format(LoadString(IDS_BATCH_UNKNOWN_COMMAND), name) << "\n";
            BatchOptions::PrintUsage(err);
            return false;
        }
        options.commands.push_back(info->command);
    }
    return true;
}

// The command word, what it allows, and the mandates after it.
bool TakeForm(BatchOptions& options, const QCommandLineParser& parser, const KnownOptions& known,
              std::ostream& err) {
    const std::vector<std::string> positional = Positional(parser);
    if (positional.empty() || positional.front().empty()) {
        BatchOptions::PrintUsage(err);
        return false;
    }
    const std::string& word = positional.front();
    options.dirs.assign(positional.begin() + 1, positional.end());
    if (word == kBackups || word == kRestore) return TakeOneMandateForm(options, word, err);
    if (options.backupId) return NotWith(err, "--backup", word);
    options.statusSummary = parser.isSet(known.summary);
    const bool report = word == kStatus || word == kBookings;
    const bool taken = report                         ? TakeReportForm(options, word, Values(parser, known.format), err)
                       : parser.isSet(known.format)    ? NotWith(err, "--format", word)
                       : options.wrongSide             ? NotWith(err, "--wrong-side", word)
                       : parser.isSet(known.summary)   ? NotWith(err, "--summary", word)
                                                       : TakeCommands(options, word, err);
    if (!taken) return false;
    if (options.dirs.empty() && !options.searchRoot) return NoMandates(err);
    return true;
}

}  // namespace

void BatchOptions::PrintUsage(std::ostream& stream) { stream << LoadString(IDS_BATCH_USAGE) << "\n"; }

bool BatchOptions::Parse(const std::vector<std::string>& args, std::ostream& err) {
    const KnownOptions known;
    QCommandLineParser parser;
    // A single-dash word is one name, never a cluster of letters: "-strich"
    // (a folder name, say) would otherwise hold -h and answer with the help.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    known.AddTo(parser);
    // Qt reads on after a bad argument, so the language and --help below are
    // known even when the line as a whole is wrong.
    const QStringList arguments = mwstcli::Arguments(kProgram, args);
    const bool parsed = parser.parse(arguments);
    // The language comes first, so that every message after it speaks it.
    const bool languageKnown = SetLanguage(Values(parser, known.lang));
    help = parser.isSet(known.standard.help);
    version = parser.isSet(known.standard.version);
    if (help || version) return true;
    if (!parsed) return BadOption(err, mwstcli::Bytes(mwstcli::BadArgument(parser, arguments)));
    if (!languageKnown) return BadOption(err, "--lang");
    return TakeOptions(*this, parser, known, err) && TakeForm(*this, parser, known, err);
}
