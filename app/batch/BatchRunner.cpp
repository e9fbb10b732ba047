#include "app/batch/BatchRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <utility>

#include "base/Format.h"
#include "cli/CommandLine.h"
#include "core/BrisolSettings.h"
#include "core/LogSink.h"
#include "core/PendraUiBridge.h"
#include "core/ScriptedUiSeam.h"
#include "core/Strings.h"
#include "mandate/BatchWalk.h"
#include "mandate/MandatePath.h"
#include "mandate/MandateRestore.h"
#include "mandate/MandateRun.h"
#include "mandate/MandateSearch.h"
#include "mandate/MandateSession.h"
#include "mandate/MandateStatus.h"
#include "pendra/Mandate.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "pendra/PendraUi.h"
#include "res/Resource.h"
#include "rules/ConvertTable.h"
#include "commands/KeyOverview.h"

namespace {

constexpr const char* kProgram = "mwst-batch";
constexpr const char* kShowKeys = "show-keys";
constexpr const char* kBackups = "backups";
constexpr const char* kRestore = "restore";
constexpr const char* kStatus = "status";
constexpr int kMaxJobs = 64;
static_assert(BatchRunner::kUsageError == mwstcli::kExitUsage &&
              BatchRunner::kDone == mwstcli::kExitOk);

void Usage(std::ostream& stream) { stream << LoadString(IDS_BATCH_USAGE) << "\n"; }

std::string Joined(const std::vector<std::string>& texts) {
    std::string line;
    for (const std::string& text : texts) line += (line.empty() ? "" : "\t") + text;
    return line;
}

// The overview of a mandate: its two lists, row beside row, columns and the
// two lists separated by tabs, after the title and the headings.
Outcome PrintOverview(Mandate& mandate, const ConvertTable& table, std::ostream& out, LogSink& log) {
    KeyOverview overview;
    bool opened = false;
    const int status = ReadKeyOverview(mandate, table, overview, opened);
    if (status != pendra::kOk) {
        if (opened) log.CountFailure();
        ShowError(ZylGetResourceHandle(), 5000, opened ? mandate.GetTaxName() : mandate.GetLastName(), status);
        return opened ? Outcome::kFailed : Outcome::kRefused;
    }
    out << overview.title << "\n";
    out << Joined(overview.leftHeadings) << "\t" << Joined(overview.rightHeadings) << "\n";
    for (std::size_t row = 0; row < overview.leftRows.size(); ++row)
        out << overview.leftRows[row] << "\t" << overview.rightRows[row] << "\n";
    out << "\n";
    // The box said why the new ids are not known: the run must not end as if all were well.
    if (table.Unreadable()) log.CountFailure();
    return Outcome::kDone;
}

// Writes all of `text` to `fd`; false when the reader went away.
bool WriteAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

// What one mandate gave: whether it was converted as asked, and whether the
// user's Abort in the exclusive-access box ends the run there.
struct MandateResult {
    bool ok = true;
    bool aborted = false;
};

// Boxes print their text on standard error and are answered from the options;
// the password prompt of the data library is answered from the password file
// for the one directory being tested, once: a retry after a wrong password is
// cancelled, and the file's password named as wrong.
class BatchSeam : public ScriptedUiSeam {
public:
    std::optional<std::string> InputText(const InputRequest& request) override {
        inputs.push_back(request);
        if (!current && given_ && echo)
            *echo << Format(LoadString(IDS_BATCH_PASSWORD_WRONG), dir_) << "\n";
        given_ = given_ || current.has_value();
        return std::exchange(current, std::nullopt);
    }

    // The password file's password for the mandate in `dir`, if it has one.
    void OfferPassword(const std::string& dir,
                       const std::map<std::string, std::string>& passwords) {
        dir_ = dir;
        given_ = false;
        const auto found = passwords.find(dir);
        current =
            found == passwords.end() ? std::nullopt : std::optional<std::string>(found->second);
    }
    void WithdrawPassword() { current.reset(); }

private:
    std::optional<std::string> current;
    std::string dir_;
    bool given_ = false;
};

bool BatchRunner::ParseCommands(const std::string& list, std::ostream& err) {
    std::stringstream names(list);
    for (std::string name; std::getline(names, name, ',');) {
        options_.commandNames.push_back(name);
        if (name == kShowKeys) {
            options_.showKeys = true;
        } else if (const CommandInfo* info = FindCommand(name)) {
            options_.commands.push_back(info->command);
        } else {
            err << Format(LoadString(IDS_BATCH_UNKNOWN_COMMAND), name) << "\n";
            Usage(err);
            return false;
        }
    }
    return true;
}

namespace {

std::vector<std::string> Values(const QCommandLineParser& parser,
                                const QCommandLineOption& option) {
    std::vector<std::string> values;
    for (const QString& value : parser.values(option)) values.push_back(mwstcli::Bytes(value));
    return values;
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

}  // namespace

bool BatchRunner::ParseArguments(const std::vector<std::string>& args, std::ostream& err) {
    const mwstcli::StandardOptions standard;
    const QCommandLineOption yes{QStringLiteral("yes")};
    const QCommandLineOption dryRun{QStringLiteral("dry-run")};
    const QCommandLineOption backupId{QStringLiteral("backup"), QString(), QStringLiteral("ID")};
    const QCommandLineOption onLocked{QStringLiteral("on-locked"), QString(),
                                      QStringLiteral("abort|ignore")};
    const QCommandLineOption passwordFile{QStringLiteral("password-file"), QString(),
                                          QStringLiteral("FILE")};
    const QCommandLineOption search{QStringLiteral("search"), QString(), QStringLiteral("ROOT")};
    const QCommandLineOption lang{QStringLiteral("lang"), QString(), QStringLiteral("de|fr")};
    const QCommandLineOption jobs{QStringLiteral("jobs"), QString(), QStringLiteral("N")};
    const QCommandLineOption format{QStringLiteral("format"), QString(), QStringLiteral("text|csv|json")};
    QCommandLineParser parser;
    // A single-dash word is one name, never a cluster of letters: "-strich"
    // (a folder name, say) would otherwise hold -h and answer with the help.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    standard.AddTo(parser);
    for (const QCommandLineOption* option :
         {&yes, &dryRun, &backupId, &onLocked, &passwordFile, &search, &lang, &jobs, &format})
        parser.addOption(*option);
    // Qt reads on after a bad argument, so the language and --help below are
    // known even when the line as a whole is wrong.
    const QStringList arguments = mwstcli::Arguments(kProgram, args);
    const bool parsed = parser.parse(arguments);

    // The language comes first, so that every message after it speaks it.
    bool languageKnown = true;
    for (const std::string& language : Values(parser, lang)) {
        if (language == "de" || language == "fr")
            options_.culture = language == "fr" ? "fr-CH" : "de-CH";
        else
            languageKnown = false;
    }
    SetProcessPreferredUILanguages(options_.culture ? *options_.culture : GetUICultureName());
    // --help and --version answer whatever else the line holds.
    options_.help = parser.isSet(standard.help);
    options_.version = parser.isSet(standard.version);
    if (options_.help || options_.version) return true;

    auto badOption = [&err](const std::string& arg) {
        err << Format(LoadString(IDS_BATCH_BAD_OPTION), arg) << "\n";
        Usage(err);
        return false;
    };
    // An option known, but not for what was asked.
    auto notWith = [&err](const std::string& option, const std::string& word) {
        err << Format(LoadString(IDS_BATCH_NOT_WITH), option, word) << "\n";
        Usage(err);
        return false;
    };
    if (!parsed) return badOption(mwstcli::Bytes(mwstcli::BadArgument(parser, arguments)));
    if (!languageKnown) return badOption("--lang");
    options_.yes = parser.isSet(yes);
    options_.dryRun = parser.isSet(dryRun);
    if (parser.isSet(backupId)) options_.backupId = Values(parser, backupId).back();
    for (const std::string& answer : Values(parser, onLocked)) {
        if (answer != "abort" && answer != "ignore") return badOption("--on-locked");
        options_.abortOnLocked = answer == "abort";
    }
    if (parser.isSet(passwordFile)) options_.passwordFile = Values(parser, passwordFile).back();
    if (parser.isSet(search)) options_.searchRoot = Values(parser, search).back();
    for (const std::string& count : Values(parser, jobs)) {
        const std::optional<int> jobCount = JobCount(count);
        if (!jobCount) return badOption("--jobs");
        options_.jobs = *jobCount;
    }
    const std::vector<std::string> positional = [&parser] {
        std::vector<std::string> texts;
        for (const QString& text : parser.positionalArguments())
            texts.push_back(mwstcli::Bytes(text));
        return texts;
    }();
    if (positional.empty() || positional.front().empty()) {
        Usage(err);
        return false;
    }
    const std::string& commandList = positional.front();
    options_.dirs.assign(positional.begin() + 1, positional.end());
    if (commandList == kBackups || commandList == kRestore) {
        options_.mode = commandList == kBackups ? Mode::kBackups : Mode::kRestore;
        // One mandate, named: a backup is never looked for by a search.
        if (options_.dryRun) return notWith("--dry-run", commandList);
        if (options_.searchRoot) return notWith("--search", commandList);
        if (options_.backupId && options_.mode != Mode::kRestore)
            return notWith("--backup", commandList);
        if (options_.jobs > 1) return notWith("--jobs", commandList);
        if (options_.dirs.size() > 1) {
            err << Format(LoadString(IDS_BATCH_ONE_DIRECTORY), commandList, options_.dirs[1])
                << "\n";
            Usage(err);
            return false;
        }
        if (options_.dirs.empty()) {
            err << LoadString(IDS_BATCH_NO_MANDATES) << "\n";
            Usage(err);
            return false;
        }
        return true;
    }
    if (options_.backupId) return notWith("--backup", commandList);
    if (commandList == kStatus) {
        options_.mode = Mode::kStatus;
        if (options_.dryRun) return notWith("--dry-run", commandList);
        for (const std::string& name : Values(parser, format)) {
            const std::map<std::string, StatusFormat> formats = {
                {"text", StatusFormat::kText}, {"csv", StatusFormat::kCsv}, {"json", StatusFormat::kJson}};
            const auto known = formats.find(name);
            if (known == formats.end()) return badOption("--format");
            options_.statusFormat = known->second;
        }
    } else if (parser.isSet(format)) {
        return notWith("--format", commandList);
    } else if (!ParseCommands(commandList, err)) {
        return false;
    }
    if (options_.dirs.empty() && !options_.searchRoot) {
        err << LoadString(IDS_BATCH_NO_MANDATES) << "\n";
        Usage(err);
        return false;
    }
    return true;
}

bool BatchRunner::ReadPasswordFile(std::ostream& err) {
    if (!options_.passwordFile) return true;
    const std::string& path = *options_.passwordFile;
    const auto unreadable = [&err, &path] {
        err << Format(LoadString(IDS_BATCH_PASSWORD_FILE), path) << "\n";
        return false;
    };
    // The mode is taken from the descriptor that is read, so the file cannot
    // be swapped between the check and the read. Passwords that group or
    // others may read, or overwrite, are refused as libpq refuses such a .pgpass.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return unreadable();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return unreadable();
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        ::close(fd);
        err << Format(LoadString(IDS_BATCH_PASSWORD_FILE_MODE), path) << "\n";
        return false;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return unreadable();
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) {
            err << Format(LoadString(IDS_BATCH_PASSWORD_LINE), *options_.passwordFile, number) << "\n";
            return false;
        }
        passwords_[CanonicalMandatePath(line.substr(0, tab))] = line.substr(tab + 1);
    }
    return true;
}

// Searched mandates first, in the order met, then the directories given; a
// mandate met again (written differently, through a link, given and found)
// is taken once, with one line saying so.
std::vector<std::string> BatchRunner::Mandates(std::ostream& err, int& status) {
    std::vector<std::string> dirs;
    std::set<std::string> seen;
    const auto take = [&](const std::string& path) {
        const std::string canonical = CanonicalMandatePath(WithoutTrailingSlash(path));
        if (seen.insert(canonical).second)
            dirs.push_back(canonical);
        else
            err << Format(LoadString(IDS_BATCH_DUPLICATE), canonical) << "\n";
    };
    if (options_.searchRoot) {
        const auto unreadable = [&err, &status](const std::string& folder, const std::string& reason) {
            err << Format(LoadString(IDS_LOG_FOLDER_UNREADABLE), folder, reason) << "\n";
            status = kSomeMandatesFailed;
        };
        SearchMandates(*options_.searchRoot, take, {}, unreadable);
        if (dirs.empty()) {
            err << Format(LoadString(IDS_BATCH_NONE_FOUND), *options_.searchRoot) << "\n";
            status = kSomeMandatesFailed;
        }
    }
    for (const std::string& dir : options_.dirs) take(dir);
    return dirs;
}

// The questions of the commands, asked once for the whole run.
bool BatchRunner::Confirmed(BatchSeam& seam) {
    for (Command command : options_.commands)
        if (!ConfirmCommand(seam, command)) return false;
    return true;
}

MandateResult BatchRunner::Convert(MandateSession& session, BatchSeam& seam, const std::string& dir,
                                   std::ostream& out, std::ostream& err) {
    MandateResult result;
    seam.echo = &err;
    seam.OfferPassword(dir, passwords_);
    std::string name;
    const bool registered = session.CheckVersionAndPassword(dir, name, seam);
    seam.WithdrawPassword();
    if (!registered) {
        err << Format(LoadString(IDS_BATCH_NOT_REGISTERED), dir) << "\n";
        result.ok = false;
        return result;
    }

    ForwardingLogSink log([&out](const std::string& line) { out << line << std::flush; });
    const auto work = [this, &out](CommandContext& ctx, const std::string& mandateDir) {
        for (const std::string& step : options_.commandNames) {
            const Outcome outcome = step == kShowKeys
                                        ? PrintOverview(ctx.mandate, ctx.table, out, ctx.log)
                                        : RunCommand(ctx, FindCommand(step)->command, mandateDir);
            if (!Completed(outcome)) return outcome;
        }
        return Outcome::kDone;
    };
    short changeFlag = 0;
    RunOptions runOptions;
    runOptions.dryRun = options_.dryRun;
    const BatchResult walked = RunBatch(session, {dir}, work, log, seam, changeFlag, {}, runOptions);
    result.aborted = walked.aborted;
    const bool done = !walked.outcomes.empty() && walked.outcomes.front().Completed();
    if (!done) {
        const int reason = walked.outcomes.empty() ? IDS_BATCH_NOT_OPENED : walked.outcomes.front().reasonId;
        err << Format(LoadString(reason), dir) << "\n";
    }
    result.ok = done && log.Failures() == 0;
    return result;
}

MandateResult BatchRunner::Work(MandateSession& session, BatchSeam& seam, const std::vector<std::string>& dirs,
                                std::size_t index, std::ostream& out, std::ostream& err) {
    if (options_.mode == Mode::kStatus) return PrintStatus(seam, dirs.at(index), index, out, err);
    return Convert(session, seam, dirs.at(index), out, err);
}

// Read as the mandate is, never held: a mandate another program holds or that
// cannot be read gets its row with the reason, and the run ends with status 1.
MandateResult BatchRunner::PrintStatus(BatchSeam& seam, const std::string& dir, std::size_t index,
                                       std::ostream& out, std::ostream& err) {
    seam.echo = &err;
    seam.OfferPassword(dir, passwords_);
    MandateStatus status = ReadMandateStatus(dir, true);
    seam.WithdrawPassword();
    status.directory = dir;
    out << StatusRow(status, options_.statusFormat, index) << std::flush;
    MandateResult result;
    result.ok = status.Read();
    return result;
}

int BatchRunner::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!ParseArguments(args, err)) return kUsageError;
    if (options_.help) {
        Usage(out);
        return kDone;
    }
    if (options_.version) {
        out << mwstcli::VersionLine(kProgram);
        return kDone;
    }
    if (!ReadPasswordFile(err)) return kUsageError;

    BatchSeam seam;
    seam.echo = &err;
    seam.boxPolicy = [this](const MessageBoxRequest& request) {
        switch (request.type & MB_TYPEMASK) {
        case MB_ABORTRETRYIGNORE:
            return options_.abortOnLocked ? int(IDABORT) : int(IDIGNORE);
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return options_.yes ? int(IDYES) : int(IDNO);
        case MB_OKCANCEL:
            return options_.yes ? int(IDOK) : int(IDCANCEL);
        default:
            return DefaultButtonOf(request.type);
        }
    };
    UiSeam::Install(&seam);
    PendraUiBridge bridge;
    PendraUi::Install(&bridge);

    int status = kDone;
    if (options_.mode == Mode::kBackups) {
        status = ListMandateBackups(out, err);
    } else if (options_.mode == Mode::kRestore) {
        status = RestoreMandate(seam, out, err);
    } else if (options_.mode == Mode::kStatus) {
        const std::vector<std::string> dirs = Mandates(err, status);
        out << StatusHeader(options_.statusFormat) << std::flush;
        const int run = options_.jobs > 1 && dirs.size() > 1 ? RunInChildren(dirs, out, err)
                                                              : RunInProcess(dirs, out, err);
        out << StatusFooter(options_.statusFormat) << std::flush;
        status = std::max(status, run);
    } else if (const std::vector<std::string> dirs = Mandates(err, status); !dirs.empty()) {
        if (!Confirmed(seam)) {
            err << LoadString(IDS_BATCH_NOT_CONFIRMED) << "\n";
            status = kSomeMandatesFailed;
        } else {
            const int run = options_.jobs > 1 && dirs.size() > 1 ? RunInChildren(dirs, out, err)
                                                                  : RunInProcess(dirs, out, err);
            status = std::max(status, run);
        }
    }
    PendraUi::Install(nullptr);
    UiSeam::Install(nullptr);
    return status;
}

// The mandate's backups, oldest first (the last is the one `restore` takes
// without --backup): id, local time, the command that followed, bytes.
int BatchRunner::ListMandateBackups(std::ostream& out, std::ostream& err) {
    const std::string dir = CanonicalMandatePath(WithoutTrailingSlash(options_.dirs.front()));
    if (!Mandate::PathContainsMandate(dir)) {
        err << Format(LoadString(IDS_BATCH_NONE_FOUND), dir) << "\n";
        return kSomeMandatesFailed;
    }
    const backup::Settings settings = ProductBackupSettings();
    const std::vector<backup::Info> backups = backup::ListBackups(dir, settings);
    // A damaged backup is not silently left out: it may be the one the user is looking for.
    const std::vector<std::string> damaged = backup::DamagedBackups(dir, settings);
    for (const std::string& id : damaged)
        err << Format(LoadString(IDS_BACKUP_DAMAGED), id,
                      backup::FolderOf(dir, settings) + "/" + id)
            << "\n";
    const int status = damaged.empty() ? kDone : kSomeMandatesFailed;
    if (backups.empty()) {
        err << Format(LoadString(IDS_BACKUP_NONE), dir) << "\n";
        return status;
    }
    out << LoadString(IDS_BATCH_BACKUPS_HEADING) << "\n";
    for (const backup::Info& info : backups)
        out << info.id << "\t" << BackupTimeText(info.when) << "\t" << info.reason << "\t" << info.size << "\n";
    return status;
}

// Registered and opened as for a command (password file, exclusive access
// with the --on-locked answer), then the backup goes back in one step after
// a backup of the state before; the log says which.
int BatchRunner::RestoreMandate(BatchSeam& seam, std::ostream& out, std::ostream& err) {
    const std::string dir = CanonicalMandatePath(WithoutTrailingSlash(options_.dirs.front()));
    Mandate mandate(0);
    Mandate::SetGlobalMandate(&mandate);
    MandateSession session(mandate);
    seam.echo = &err;
    seam.OfferPassword(dir, passwords_);
    std::string name;
    const bool registered = session.CheckVersionAndPassword(dir, name, seam);
    seam.WithdrawPassword();
    int status = kSomeMandatesFailed;
    ForwardingLogSink log([&out](const std::string& line) { out << line << std::flush; });
    if (!registered) {
        err << Format(LoadString(IDS_BATCH_NOT_REGISTERED), dir) << "\n";
    } else if (session.Open(dir, seam, log) != MandateSession::Opened::kYes) {
        err << Format(LoadString(IDS_BATCH_NOT_OPENED), dir) << "\n";
    } else {
        if (::RestoreMandate(mandate, options_.backupId.value_or(""), log)) status = kDone;
    }
    session.Close();
    Mandate::SetGlobalMandate(nullptr);
    return status;
}

int BatchRunner::RunInProcess(const std::vector<std::string>& dirs, std::ostream& out, std::ostream& err) {
    Mandate mandate(0);
    Mandate::SetGlobalMandate(&mandate);
    MandateSession session(mandate);
    BatchSeam& seam = static_cast<BatchSeam&>(UiSeam::Current());
    int status = kDone;
    std::size_t next = 0;
    for (; next < dirs.size(); ++next) {
        const MandateResult result = Work(session, seam, dirs, next, out, err);
        if (!result.ok) status = kSomeMandatesFailed;
        if (result.aborted) break;
    }
    // The mandates after an Abort were never opened.
    for (++next; next < dirs.size(); ++next) err << Format(LoadString(IDS_BATCH_NOT_OPENED), dirs[next]) << "\n";
    session.Close();
    Mandate::SetGlobalMandate(nullptr);
    return status;
}

namespace {

// A child's answer for one mandate: "INDEX OK ABORTED OUTLEN ERRLEN\n", then
// the mandate's log and its messages.
struct Frame {
    std::size_t index = 0;
    MandateResult result;
    std::string out;
    std::string err;
};

std::string FrameText(std::size_t index, const MandateResult& result, const std::string& out,
                      const std::string& err) {
    return std::to_string(index) + " " + (result.ok ? "1" : "0") + " " + (result.aborted ? "1" : "0") + " " +
           std::to_string(out.size()) + " " + std::to_string(err.size()) + "\n" + out + err;
}

// Takes a complete frame off the front of `buffer`, if there is one.
std::optional<Frame> TakeFrame(std::string& buffer) {
    const std::size_t end = buffer.find('\n');
    if (end == std::string::npos) return std::nullopt;
    std::istringstream header(buffer.substr(0, end));
    Frame frame;
    int ok = 0, aborted = 0;
    std::size_t outSize = 0, errSize = 0;
    header >> frame.index >> ok >> aborted >> outSize >> errSize;
    if (buffer.size() < end + 1 + outSize + errSize) return std::nullopt;
    frame.result = {ok != 0, aborted != 0};
    frame.out = buffer.substr(end + 1, outSize);
    frame.err = buffer.substr(end + 1 + outSize, errSize);
    buffer.erase(0, end + 1 + outSize + errSize);
    return frame;
}

struct Child {
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    std::optional<std::size_t> working;  // the mandate it was given
    std::string buffer;
};

}  // namespace

// Each child converts the mandates the parent hands it, one index per line,
// on its own mandate object and session, until its input ends; the parent
// prints the answers in the order of the mandates.
int BatchRunner::RunInChildren(const std::vector<std::string>& dirs, std::ostream& out, std::ostream& err) {
    out.flush();
    err.flush();
    std::fflush(nullptr);
    const std::size_t jobs = std::min<std::size_t>(static_cast<std::size_t>(options_.jobs), dirs.size());
    std::vector<Child> children(jobs);
    for (Child& child : children) {
        int down[2], up[2];
        if (::pipe(down) != 0 || ::pipe(up) != 0) return RunInProcess(dirs, out, err);
        child.pid = ::fork();
        if (child.pid == 0) {
            ::close(down[1]);
            ::close(up[0]);
            for (const Child& other : children)
                if (&other != &child && other.pid > 0) {
                    ::close(other.toChild);
                    ::close(other.fromChild);
                }
            Mandate mandate(0);
            Mandate::SetGlobalMandate(&mandate);
            MandateSession session(mandate);
            BatchSeam& seam = static_cast<BatchSeam&>(UiSeam::Current());
            FILE* input = ::fdopen(down[0], "r");
            char line[32];
            while (input && std::fgets(line, sizeof line, input)) {
                const std::size_t index = std::stoul(line);
                std::ostringstream mandateOut, mandateErr;
                const MandateResult result = Work(session, seam, dirs, index, mandateOut, mandateErr);
                if (!WriteAll(up[1], FrameText(index, result, mandateOut.str(), mandateErr.str()))) break;
            }
            session.Close();
            ::_exit(0);
        }
        ::close(down[0]);
        ::close(up[1]);
        child.toChild = down[1];
        child.fromChild = up[0];
    }

    int status = kDone;
    bool aborted = false;
    std::size_t nextToSend = 0, nextToPrint = 0;
    std::map<std::size_t, Frame> answered;
    const auto handOut = [&](Child& child) {
        child.working.reset();
        if (!aborted && nextToSend < dirs.size() && WriteAll(child.toChild, std::to_string(nextToSend) + "\n")) {
            child.working = nextToSend++;
            return;
        }
        if (child.toChild >= 0) ::close(child.toChild);
        child.toChild = -1;
    };
    const auto printReady = [&] {
        for (auto ready = answered.find(nextToPrint); ready != answered.end(); ready = answered.find(++nextToPrint)) {
            out << ready->second.out << std::flush;
            err << ready->second.err << std::flush;
            answered.erase(ready);
        }
    };
    for (Child& child : children) handOut(child);
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Child*> polled;
        for (Child& child : children)
            if (child.working) {
                fds.push_back({child.fromChild, POLLIN, 0});
                polled.push_back(&child);
            }
        if (fds.empty()) break;
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            Child& child = *polled[i];
            char chunk[65536];
            const ssize_t n = ::read(child.fromChild, chunk, sizeof chunk);
            if (n <= 0) {
                // The child ended without answering: its mandate did not complete.
                const std::size_t lost = *child.working;
                answered[lost] = {lost, {false, false}, {}, Format(LoadString(IDS_BATCH_NOT_COMPLETED), dirs[lost]) + "\n"};
                status = kSomeMandatesFailed;
                child.working.reset();
                if (child.toChild >= 0) ::close(child.toChild);
                child.toChild = -1;
                continue;
            }
            child.buffer.append(chunk, static_cast<std::size_t>(n));
            while (std::optional<Frame> frame = TakeFrame(child.buffer)) {
                if (!frame->result.ok) status = kSomeMandatesFailed;
                if (frame->result.aborted) aborted = true;
                answered[frame->index] = std::move(*frame);
                handOut(child);
            }
        }
        printReady();
    }
    printReady();
    for (Child& child : children) {
        if (child.toChild >= 0) ::close(child.toChild);
        ::close(child.fromChild);
        int childStatus = 0;
        ::waitpid(child.pid, &childStatus, 0);
    }
    // The mandates after an Abort were never opened.
    for (std::size_t rest = nextToSend; rest < dirs.size(); ++rest) {
        err << Format(LoadString(IDS_BATCH_NOT_OPENED), dirs[rest]) << "\n";
        status = kSomeMandatesFailed;
    }
    return status;
}
