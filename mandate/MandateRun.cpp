#include "mandate/MandateRun.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>

#include "base/Format.h"
#include "core/BrisolSettings.h"
#include "core/CommandContext.h"
#include "core/Strings.h"
#include "templates/FileCopy.h"
#include "forms/FilesOfOurs.h"
#include "templates/TemplateSet.h"
#include "pendra/Mandate.h"
#include "pendra/StorageEngine.h"
#include "res/Resource.h"

namespace fs = std::filesystem;

backup::Settings ProductBackupSettings() {
    return backup::Settings::Read([](const std::string& section, const std::string& key) {
        return key == backup::Settings::kRootKey ? ReadBrisolPath(section, key)
                                                 : ReadBrisolString(section, key);
    });
}

std::string BackupTimeText(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return {};
    return text;
}

MandateRun::MandateRun(Mandate& mandate, LogSink& log, bool dryRun, backup::Settings settings)
    : mandate_(mandate), log_(log), dryRun_(dryRun), settings_(std::move(settings)), mandateDir_(mandate.GetPath()) {}

MandateRun::~MandateRun() {
    Finish();
    dryBatch.reset();
    if (scratch_.empty()) return;
    std::error_code ec;
    fs::remove_all(scratch_, ec);
}

namespace {

constexpr std::string_view kScratchPrefix = "mwst-probelauf-";

// Scratch folders of dry runs that were killed before they could remove
// them: they hold copies of a client's workbooks. Each is named after its
// process; only folders of ours whose process is gone are removed.
void RemoveOrphanedScratchFolders(const std::string& tmp) {
    std::error_code ec;
    for (fs::directory_iterator it(tmp, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kScratchPrefix)) continue;
        const char* digits = name.c_str() + kScratchPrefix.size();
        char* after = nullptr;
        const long pid = std::strtol(digits, &after, 10);
        struct stat info {};
        if (after == digits || *after != '-' || pid <= 0 ||
            ::lstat(it->path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::geteuid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::error_code removeError;
            fs::remove_all(it->path(), removeError);
        }
    }
}

}  // namespace

bool MandateRun::Start() {
    if (!dryRun_) return true;
    const char* tmpEnv = std::getenv("TMPDIR");
    const std::string tmp = tmpEnv && *tmpEnv ? tmpEnv : "/tmp";
    RemoveOrphanedScratchFolders(tmp);
    std::string pattern =
        tmp + "/" + std::string(kScratchPrefix) + std::to_string(::getpid()) + "-XXXXXX";
    std::string failure;
    if (::mkdtemp(pattern.data()) == nullptr) {
        failure = Format(LoadString(IDS_REASON_CANNOT_WRITE), pattern, SystemText(errno));
    } else {
        scratch_ = pattern;
        // The commands find the mandate's files in the scratch folder under
        // the names they have in the mandate.
        for (const std::string& name : filesofours::Names()) {
            const std::string source = MwstMandateFilePath(mandateDir_, name);
            std::error_code ec;
            if (!fs::is_regular_file(fs::symlink_status(source, ec))) continue;
            const std::string target = scratch_ + "/" + fs::path(source).filename().string();
            if (FileCopyResult copied = MwstCopyIntoNewFile(source, target); !copied) {
                failure = filesofours::CopyFailure(copied, source, target);
                break;
            }
        }
    }
    if (!failure.empty()) {
        log_.Failure(Format(LoadString(IDS_LOG_DRY_RUN_FAILED), mandateDir_));
        log_.Line(Format(LoadString(IDS_LOG_FORM_REASON), failure));
        return false;
    }
    scratchLog_ = std::make_unique<RenamingLogSink>(log_, scratch_, mandateDir_);
    return true;
}

LogSink& MandateRun::Log() { return scratchLog_ ? static_cast<LogSink&>(*scratchLog_) : log_; }

void MandateRun::Finish(bool rolledBack) {
    if (finished_) return;
    finished_ = true;
    SettleBackup(rolledBack);
    if (scratchLog_)
        for (int i = 0; i < scratchLog_->Failures(); ++i) log_.CountFailure();
}

void MandateRun::SettleBackup(bool rolledBack) noexcept {
    if (backupId_.empty()) return;
    // A run that found nothing to do (a command run again, a key that is
    // already there) or whose work was rolled back leaves no backup, so that
    // such runs do not push the backups of real changes out of the retention.
    try {
        const StorageEngine* engine = mandate_.Engine();
        const bool wrote = rolledBack ? !engine || engine->Commits() != commitsBeforeBackup_
                                      : mandate_.WritesAsked() != writesBeforeBackup_;
        const bool changed = wrote || !backup::FilesAsInBackup(mandateDir_, backupId_, settings_);
        if (changed) {
            backup::KeepNewest(mandateDir_, settings_);
        } else {
            backup::DiscardBackup(mandateDir_, backupId_, settings_);
            backupId_.clear();
        }
    } catch (...) {
        // This runs from the destructor too; when in doubt the backup stays.
    }
}

bool MandateRun::BeforeRead(CommandContext& ctx) {
    // Whatever the command reads or changes, the mandate's tables get the
    // verdict the status gives them: a damaged one is refused by both.
    return Intact(ctx.log);
}

bool MandateRun::BeforeChange(CommandContext& ctx) {
    // A read-only mandate is refused by every command before it writes.
    if (!backupId_.empty() || mandate_.IsReadOnly()) return true;
    if (dryRun_) return Intact(ctx.log);
    writesBeforeBackup_ = mandate_.WritesAsked();
    commitsBeforeBackup_ = mandate_.Engine() ? mandate_.Engine()->Commits() : 0;
    const backup::Taken taken =
        backup::TakeBackup(mandate_, Command(), settings_, backup::Retention::kLater);
    if (!taken.Ok()) {
        ctx.log.Failure(Format(LoadString(IDS_LOG_BACKUP_FAILED), mandateDir_));
        ctx.log.Line(Format(LoadString(IDS_LOG_FORM_REASON),
                            Format(LoadString(taken.error->StringId()), taken.error->path, taken.error->detail)));
        return false;
    }
    // Not logged: the log stays that of the commands; the backups are listed
    // by "Sicherheitskopie zurückladen..." and mwst-batch backups.
    backupId_ = taken.id;
    return true;
}

bool MandateRun::Intact(LogSink& log) {
    // Told once per run; the backup of a real run asks the engine again,
    // which answers from its last verdict while the data is unchanged.
    if (!damage_) {
        std::string detail;
        damage_ = mandate_.Engine() && mandate_.Engine()->CheckIntegrity(detail) != 0 ? detail : std::string();
        if (!damage_->empty()) {
            log.Failure(Format(LoadString(IDS_LOG_NOT_COMPLETED), mandateDir_));
            log.Line(Format(LoadString(IDS_LOG_FORM_REASON),
                            Format(LoadString(IDS_MANDATE_DAMAGED), mandateDir_, *damage_)));
        }
    }
    return damage_->empty();
}
