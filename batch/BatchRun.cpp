#include "batch/BatchRun.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "batch/BatchOptions.h"
#include "batch/BatchRunner.h"
#include "batch/BatchSeam.h"
#include "batch/BookingsReport.h"
#include "batch/StatusReport.h"
#include "base/Format.h"
#include "commands/KeyOverview.h"
#include "core/LogSink.h"
#include "core/PendraUiBridge.h"
#include "core/RunSafety.h"
#include "core/Strings.h"
#include "mandate/BatchWalk.h"
#include "mandate/MandateBookings.h"
#include "mandate/MandatePath.h"
#include "mandate/MandateRestore.h"
#include "mandate/MandateRun.h"
#include "mandate/MandateSearch.h"
#include "mandate/MandateSession.h"
#include "mandate/MandateStatus.h"
#include "pendra/Mandate.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "res/Resource.h"
#include "rules/ConvertTable.h"

namespace {

using Mode = BatchOptions::Mode;

std::string Joined(const std::vector<std::string>& texts) {
    std::string line;
    for (const std::string& text : texts) line += (line.empty() ? "" : "\t") + text;
    return line;
}

// The overview of a mandate: its two lists, row beside row, columns and the
// two lists separated by tabs, after the title and the headings.
Outcome PrintOverview(CommandContext& ctx, std::ostream& out) {
    // The verdict every command gets on the tables first.
    if (ctx.safety && !ctx.safety->BeforeRead(ctx)) return Outcome::kFailed;
    Mandate& mandate = ctx.mandate;
    const ConvertTable& table = ctx.table;
    LogSink& log = ctx.log;
    KeyOverview overview;
    bool opened = false;
    const int status = ReadKeyOverview(mandate, table, ctx.seam, overview, opened);
    if (status != pendra::kOk) {
        if (opened) log.CountFailure();
        ShowLibraryError(ctx.seam, 5000, opened ? mandate.GetTaxName() : mandate.GetLastName(), status);
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

// The steps of the command line, in order: the key overview on `out`, or a command.
MandateWork LineWork(const std::vector<std::string>& names, std::ostream& out) {
    std::vector<MandateWork> steps;
    for (const std::string& name : names) {
        if (name == BatchOptions::kShowKeys)
            steps.push_back([&out](CommandContext& ctx, const std::string&) { return PrintOverview(ctx, out); });
        else
            steps.push_back(CommandWork(FindCommand(name)->command));
    }
    return StepsWork(std::move(steps));
}

// The progress of a command's walk over a mandate's records as one line on a
// terminal, written over in place ("\r"); cleared before anything else is
// written, so that the log's lines and the messages start at the line's start.
class TerminalProgress {
public:
    TerminalProgress(std::ostream* terminal, const std::string& dir)
        : terminal_(terminal), name_(std::filesystem::path(dir).filename().string()) {}
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void Show(std::size_t done, std::size_t total) {
        const std::string line = Format(LoadString(IDS_BATCH_PROGRESS), name_, done, total);
        // Spaces cover what a longer line before left.
        *terminal_ << "\r" << line << std::string(shown_ > line.size() ? shown_ - line.size() : 0, ' ')
                   << std::flush;
        shown_ = line.size();
    }
    void Clear() {
        if (shown_ == 0) return;
        *terminal_ << "\r" << std::string(shown_, ' ') << "\r" << std::flush;
        shown_ = 0;
    }

private:
    std::ostream* terminal_;
    std::string name_;
    std::size_t shown_ = 0;  // the width of the line on the terminal, 0: none
};

// The conversion log, on `out` as the commands write it; a progress line
// `shown` (may be null) is cleared before each of the log's lines.
ForwardingLogSink LogOn(std::ostream& out, TerminalProgress* shown = nullptr) {
    return ForwardingLogSink([&out, shown](const std::string& line) {
        if (shown) shown->Clear();
        out << line << std::flush;
    });
}

// The one mandate `backups` and `restore` name.
std::string NamedMandate(const BatchOptions& options) {
    return CanonicalMandatePath(WithoutTrailingSlash(options.dirs.front()));
}

// A process's own mandate object and session, for the mandates it works on
// one after the other.
struct OwnSession {
    Mandate mandate{0};
    MandateSession session{mandate};
    ~OwnSession() { session.Close(); }
};

}  // namespace

BatchRun::BatchRun(const BatchOptions& options, BatchSeam& seam, std::ostream* progress)
    : options_(options), seam_(seam), progress_(progress), templateSheets_(std::make_shared<TemplateSheets>()) {}

int BatchRun::Run(std::ostream& out, std::ostream& err) {
    if (options_.mode == Mode::kBackups) return ListMandateBackups(out, err);
    if (options_.mode == Mode::kRestore) return RestoreMandate(out, err);
    if (options_.mode == Mode::kStatus) return PrintStatusReport(out, err);
    if (options_.mode == Mode::kBookings) return PrintBookingsReport(out, err);
    return RunCommands(out, err);
}

int BatchRun::RunCommands(std::ostream& out, std::ostream& err) {
    int status = BatchRunner::kDone;
    const std::vector<std::string> dirs = Mandates(err, status);
    if (dirs.empty()) return status;
    if (!Confirmed()) {
        err << LoadString(IDS_BATCH_NOT_CONFIRMED) << "\n";
        return BatchRunner::kSomeMandatesFailed;
    }
    return std::max(status, WorkOn(dirs, out, err));
}

// The rows come in one line each, from this process or the workers; the
// table is aligned to all of them, so it is written once they are in.
int BatchRun::ReportRows(std::vector<ReportTable::Row>& rows, std::ostream& err) {
    int status = BatchRunner::kDone;
    const std::vector<std::string> dirs = Mandates(err, status);
    std::ostringstream lines;
    const int run = WorkOn(dirs, lines, err);
    std::istringstream in(lines.str());
    for (std::string line; std::getline(in, line);)
        if (const std::optional<ReportTable::Row> row = ReportTable::Decoded(line)) rows.push_back(*row);
    return std::max(status, run);
}

int BatchRun::PrintStatusReport(std::ostream& out, std::ostream& err) {
    std::vector<ReportTable::Row> rows;
    const int status = ReportRows(rows, err);
    out << StatusReport(rows, options_.statusFormat, options_.statusSummary) << std::flush;
    return status;
}

int BatchRun::PrintBookingsReport(std::ostream& out, std::ostream& err) {
    std::vector<ReportTable::Row> rows;
    const int status = ReportRows(rows, err);
    out << BookingsReport(rows, options_.statusFormat) << std::flush;
    return status;
}

// Searched mandates first, in the order met, then the directories given; a
// mandate met again (written differently, through a link, given and found)
// is taken once, with one line saying so.
std::vector<std::string> BatchRun::Mandates(std::ostream& err, int& status) {
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
            status = BatchRunner::kSomeMandatesFailed;
        };
        SearchMandates(*options_.searchRoot, take, {}, unreadable);
        if (dirs.empty()) {
            err << Format(LoadString(IDS_BATCH_NONE_FOUND), *options_.searchRoot) << "\n";
            status = BatchRunner::kSomeMandatesFailed;
        }
    }
    for (const std::string& dir : options_.dirs) take(dir);
    return dirs;
}

// The questions of the commands, asked once for the whole run.
bool BatchRun::Confirmed() {
    for (Command command : options_.commands)
        if (!ConfirmCommand(seam_, command)) return false;
    return true;
}

int BatchRun::WorkOn(const std::vector<std::string>& dirs, std::ostream& out, std::ostream& err) {
    // Children's progress lines would cross on the one terminal: it shows only
    // while this process works on the mandates.
    std::ostream* progress = ProcessPool::InChildren(options_.jobs, dirs.size()) ? nullptr : progress_;
    ProcessPool pool(options_.jobs, dirs, [this, &dirs, progress] { return StartWorker(dirs, progress); });
    return pool.Run(out, err) ? BatchRunner::kDone : BatchRunner::kSomeMandatesFailed;
}

MandateJob BatchRun::StartWorker(const std::vector<std::string>& dirs, std::ostream* progress) {
    const auto own = std::make_shared<OwnSession>();
    return [this, &dirs, own, progress](std::size_t index, std::ostream& out, std::ostream& err) {
        return Work(own->session, dirs, index, out, err, progress);
    };
}

MandateResult BatchRun::Work(MandateSession& session, const std::vector<std::string>& dirs, std::size_t index,
                             std::ostream& out, std::ostream& err, std::ostream* progress) {
    if (options_.mode == Mode::kStatus) return PrintStatus(dirs.at(index), out, err);
    if (options_.mode == Mode::kBookings) return PrintBookings(dirs.at(index), out, err);
    return Convert(session, dirs.at(index), out, err, progress);
}

MandateResult BatchRun::Convert(MandateSession& session, const std::string& dir, std::ostream& out,
                                std::ostream& err, std::ostream* progress) {
    // A mandate whose database cannot be opened (damaged, cut short, empty,
    // a folder) is left out with the reason in the log, never in silence.
    if (!Mandate::PathContainsMandate(dir)) {
        out << Format(LoadString(IDS_LOG_LEFT_OUT), dir, OpenFailureText(dir, pendra::kNotADatabase)) << std::flush;
        return {false, false};
    }
    const auto showKeys = [](const std::string& name) { return name == BatchOptions::kShowKeys; };
    if (!options_.dryRun && std::all_of(options_.commandNames.begin(), options_.commandNames.end(), showKeys))
        return ShowKeys(dir, out, err);
    if (!Registered(session, dir, err)) return {false, false};
    TerminalProgress shown(progress, dir);
    ForwardingLogSink log = LogOn(out, &shown);
    const MandateWork work = LineWork(options_.commandNames, out);
    short changeFlag = 0;
    RunOptions runOptions;
    runOptions.dryRun = options_.dryRun;
    runOptions.change = &options_.change;
    runOptions.templateSheets = templateSheets_;
    if (progress) runOptions.progress = [&shown](std::size_t done, std::size_t total) { shown.Show(done, total); };
    // The open asks again when the database is no longer the one just tested.
    seam_.OfferPassword(dir, err);
    const BatchResult walked = RunBatch(session, {dir}, work, log, seam_, changeFlag, {}, runOptions);
    shown.Clear();
    seam_.WithdrawPassword();
    if (session.LastRefusal() == IDS_NO_PASSWORD)
        out << Format(LoadString(IDS_LOG_LEFT_OUT), dir, LoadString(IDS_PROBLEM_PASSWORD)) << std::flush;
    const bool done = !walked.outcomes.empty() && walked.outcomes.front().Completed();
    if (!done) {
        const int reason = walked.outcomes.empty() ? IDS_BATCH_NOT_OPENED : walked.outcomes.front().reasonId;
        err << Format(LoadString(reason), dir) << "\n";
    }
    return {done && log.Failures() == 0, walked.aborted};
}

// The overview only reads: the mandate is opened read-only as the status
// reads it, so its folder is left as it was (no lock file, -wal or -shm made).
// The data version and the password are tested as at registration.
MandateResult BatchRun::ShowKeys(const std::string& dir, std::ostream& out, std::ostream& err) {
    Mandate mandate(0);
    const int opened = mandate.OpenMandateFilesReadOnly(dir);
    if (opened != pendra::kOk) {
        mandate.CloseMandateFiles();
        err << Format(LoadString(IDS_BATCH_NOT_OPENED), dir) << "\n";
        if (opened != pendra::kMandateHeldExclusively) err << OpenFailureText(dir, opened) << "\n";
        return {false, false};
    }
    seam_.OfferPassword(dir, err);
    const bool registered = MandateSession::IsVersion(mandate, seam_) && MandateSession::AskPassword(mandate, seam_);
    seam_.WithdrawPassword();
    if (!registered) {
        mandate.CloseMandateFiles();
        err << Format(LoadString(IDS_BATCH_NOT_REGISTERED), dir) << "\n";
        return {false, false};
    }
    ForwardingLogSink log = LogOn(out);
    short changeFlag = 0;
    const ConvertTable table(dir);
    CommandContext ctx{mandate, log, seam_, changeFlag, table};
    ctx.change = &options_.change;
    const Outcome outcome = PrintOverview(ctx, out);
    mandate.CloseMandateFiles();
    return {Completed(outcome) && log.Failures() == 0, false};
}

// Read as the mandate is, never held: a mandate another program holds or that
// cannot be read gets its row with the reason, and the run ends with status 1.
MandateResult BatchRun::PrintStatus(const std::string& dir, std::ostream& out, std::ostream& err) {
    seam_.OfferPassword(dir, err);
    MandateStatus status = ReadMandateStatus(dir, seam_, true, options_.change);
    seam_.WithdrawPassword();
    status.directory = dir;
    out << ReportTable::Encoded(StatusFields(status)) << std::flush;
    return {status.Read(), false};
}

// Read as the status reads: never held, nothing changed; a mandate that
// cannot be read gets its row with the reason, and the run ends with status 1.
MandateResult BatchRun::PrintBookings(const std::string& dir, std::ostream& out, std::ostream& err) {
    seam_.OfferPassword(dir, err);
    const MandateBookings read = ReadMandateBookings(dir, seam_, options_.change);
    seam_.WithdrawPassword();
    for (const ReportTable::Row& row : BookingsFields(read)) out << ReportTable::Encoded(row);
    out << std::flush;
    return {read.Read(), false};
}

// The registration test as the mandate list makes it: data version, and the
// password from the password file.
bool BatchRun::Registered(MandateSession& session, const std::string& dir, std::ostream& err) {
    seam_.OfferPassword(dir, err);
    std::string name;
    const bool registered = session.CheckVersionAndPassword(dir, name, seam_);
    seam_.WithdrawPassword();
    if (!registered) err << Format(LoadString(IDS_BATCH_NOT_REGISTERED), dir) << "\n";
    return registered;
}

// The mandate's backups, oldest first (the last is the one `restore` takes
// without --backup): id, local time, the command that followed, bytes and
// the mark of the original, which the retention keeps for good.
int BatchRun::ListMandateBackups(std::ostream& out, std::ostream& err) {
    const std::string dir = NamedMandate(options_);
    if (!Mandate::PathContainsMandate(dir)) {
        err << Format(LoadString(IDS_BATCH_NONE_FOUND), dir) << "\n";
        return BatchRunner::kSomeMandatesFailed;
    }
    const backup::Settings settings = ProductBackupSettings();
    const std::vector<backup::Info> backups = backup::ListBackups(dir, settings);
    // A damaged backup is not silently left out: it may be the one the user is looking for.
    const std::vector<std::string> damaged = backup::DamagedBackups(dir, settings);
    for (const std::string& id : damaged)
        err << Format(LoadString(IDS_BACKUP_DAMAGED), id, backup::FolderOf(dir, settings) + "/" + id) << "\n";
    const int status = damaged.empty() ? BatchRunner::kDone : BatchRunner::kSomeMandatesFailed;
    if (backups.empty()) {
        err << Format(LoadString(IDS_BACKUP_NONE), dir) << "\n";
        return status;
    }
    out << LoadString(IDS_BATCH_BACKUPS_HEADING) << "\n";
    for (const backup::Info& info : backups)
        out << info.id << "\t" << BackupTimeText(info.when) << "\t" << info.reason << "\t" << info.size << "\t"
            << (info.original ? LoadString(IDS_BACKUP_ORIGINAL) : std::string()) << "\n";
    return status;
}

// Registered and opened as for a command (password file, exclusive access
// with the --on-locked answer), then the backup goes back in one step after
// a backup of the state before; the log says which.
int BatchRun::RestoreMandate(std::ostream& out, std::ostream& err) {
    const std::string dir = NamedMandate(options_);
    Mandate mandate(0);
    MandateSession session(mandate);
    const bool restored = Registered(session, dir, err) && OpenAndRestore(session, dir, out, err);
    session.Close();
    return restored ? BatchRunner::kDone : BatchRunner::kSomeMandatesFailed;
}

bool BatchRun::OpenAndRestore(MandateSession& session, const std::string& dir, std::ostream& out,
                              std::ostream& err) {
    ForwardingLogSink log = LogOn(out);
    if (session.Open(dir, seam_, log) != MandateSession::Opened::kYes) {
        err << Format(LoadString(IDS_BATCH_NOT_OPENED), dir) << "\n";
        return false;
    }
    return ::RestoreMandate(session.Current(), options_.backupId.value_or(""), log);
}
