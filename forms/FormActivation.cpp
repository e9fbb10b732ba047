// "MWST-Formular 2024 aktivieren" and "MWST-Formular 2018 aktivieren".
#include "forms/FormActivation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/AtomicFile.h"
#include "base/Format.h"
#include "base/JournalFile.h"
#include "base/RegularFile.h"
#include "core/CommandContext.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "templates/FileCopy.h"
#include "forms/FilesOfOurs.h"
#include "forms/FormPassJournal.h"
#include "forms/FormUpdate.h"
#include "templates/TemplateSet.h"
#include "pendra/BFile.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "res/Resource.h"

namespace {

// Both directions replace a form workbook whenever the versions differ.
constexpr int kInvert = 1;

// The status that ends a walk over every record of the file `name`: kEndOfFile
// (or kKeyNotFound for an empty file) when all could be read.
template <class Record>
int WalkAll(Mandate& mandate, const std::string& name) {
    BFile file(&mandate);
    if (const int status = file.Open(name, BFile::kModeReadOnly); status != pendra::kOk) return status;
    Record record(&mandate);
    record.UseFile(&file);
    int status = record.ReadFirst();
    while (status == pendra::kOk) status = record.ReadNext();
    return status;
}

// The transfer reads the key and account files: a mandate whose files cannot
// be read keeps its workbooks, and the log says why.
bool RecordsReadable(Mandate& mandate, LogSink& log) {
    const std::pair<std::string, int> walks[] = {{mandate.GetTaxName(), WalkAll<Tax>(mandate, mandate.GetTaxName())},
                                                 {mandate.GetKontoName(), WalkAll<Konto>(mandate, mandate.GetKontoName())}};
    for (const auto& [name, status] : walks) {
        if (pendra::WalkEnded(status)) continue;
        log.Failure(Format(LoadString(IDS_LOG_READ_FAILED), name, status));
        log.Line(Format(LoadString(IDS_LOG_NOT_COMPLETED), mandate.GetPath()));
        return false;
    }
    return true;
}

constexpr const char* kJournalHeader = "mwst-activation 1";

namespace fs = std::filesystem;

// Makes the renames in `dir` durable; false with `failure` set otherwise.
bool SyncFolder(const std::string& dir, std::string& failure) {
    const atomicfile::Result synced = atomicfile::SyncFolder(dir);
    if (!synced) failure = Format(LoadString(IDS_REASON_CANNOT_WRITE), synced.path, SystemText(synced.error));
    return static_cast<bool>(synced);
}

std::string StagingFolder(const std::string& mandateDir) { return mandateDir + "/" + activation::kStagingName; }
std::string JournalPath(const std::string& mandateDir) { return mandateDir + "/" + activation::kJournalName; }

void RemoveStaging(const std::string& mandateDir) {
    std::error_code ec;
    fs::remove_all(StagingFolder(mandateDir), ec);
}

// The staged files renamed over the mandate's (through a link inside the
// folder to the file it leads to); the names not staged any more were done
// by an earlier try.
bool PutInPlace(const std::string& mandateDir, const std::vector<std::string>& names, std::string& failure) {
    for (const std::string& name : names) {
        const std::string staged = StagingFolder(mandateDir) + "/" + name;
        struct stat st {};
        if (::lstat(staged.c_str(), &st) != 0) continue;
        const std::string target = filesofours::WriteTarget(mandateDir, mandateDir + "/" + name);
        if (::rename(staged.c_str(), target.c_str()) != 0) {
            failure = Format(LoadString(IDS_REASON_CANNOT_WRITE), target, SystemText(errno));
            return false;
        }
    }
    return SyncFolder(mandateDir, failure);
}

// The mandate's form files copied into a fresh staging folder, under the
// names they have in the mandate.
bool Stage(const std::string& mandateDir, std::string& failure) {
    RemoveStaging(mandateDir);
    struct stat dirInfo {};
    const mode_t mode = ::stat(mandateDir.c_str(), &dirInfo) == 0 ? (dirInfo.st_mode & 0777) | 0700 : 0700;
    const std::string stage = StagingFolder(mandateDir);
    if (::mkdir(stage.c_str(), mode) != 0) {
        failure = Format(LoadString(IDS_REASON_CANNOT_WRITE), stage, SystemText(errno));
        return false;
    }
    for (const MwstTemplateStep& step : MwstTemplateSteps()) {
        const std::string source = MwstMandateFilePath(mandateDir, step.mandateFile);
        if (!regularfile::IsRegular(source, regularfile::Links::kFollow)) continue;
        const std::string target = stage + "/" + fs::path(source).filename().string();
        if (FileCopyResult copied = MwstCopyIntoNewFile(source, target); !copied) {
            failure = filesofours::CopyFailure(copied, source, target);
            return false;
        }
        // The replacement keeps the mode of the file it replaces.
        struct stat st {};
        if (::stat(source.c_str(), &st) == 0) ::chmod(target.c_str(), st.st_mode & 07777);
    }
    return true;
}

// The staged files whose bytes differ from the mandate's (or that it does not have).
std::vector<std::string> ChangedFiles(const std::string& mandateDir) {
    constexpr std::size_t kMaxCompared = 256u << 20;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(StagingFolder(mandateDir), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::string staged, current, error;
        const bool same = regularfile::ReadWhole(it->path().string(), staged, error, kMaxCompared) &&
                          regularfile::ReadWhole(mandateDir + "/" + name, current, error, kMaxCompared) &&
                          staged == current;
        if (!same) names.push_back(name);
    }
    return names;
}

// The files the update wrote into the staging folder put in place under the
// journal. `journalled` tells whether the journal was written: from then on a
// failure is finished by the next open, and the staging folder must stay.
bool Commit(const std::string& mandateDir, std::string& failure, bool& journalled) {
    // A file the update left as it was is not touched.
    const std::vector<std::string> names = ChangedFiles(mandateDir);
    if (names.empty()) {
        RemoveStaging(mandateDir);
        return true;
    }
    // The staged files the journal names are synced as they were written (the
    // copies the update left alone are not named); their names must be too.
    if (!SyncFolder(StagingFolder(mandateDir), failure)) return false;
    std::string journal = std::string(kJournalHeader) + "\n";
    for (const std::string& name : names) journal += name + "\n";
    if (const atomicfile::Result written = atomicfile::Replace(JournalPath(mandateDir), journal); !written) {
        failure = Format(LoadString(IDS_REASON_CANNOT_WRITE), written.path, SystemText(written.error));
        return false;
    }
    if (!SyncFolder(mandateDir, failure)) {
        ::unlink(JournalPath(mandateDir).c_str());
        return false;
    }
    journalled = true;
    // From here on the activation is done: what a cut leaves, the next open finishes.
    if (!PutInPlace(mandateDir, names, failure)) return false;
    ::unlink(JournalPath(mandateDir).c_str());
    RemoveStaging(mandateDir);
    return true;
}

// UpdateForms on copies in the staging folder, logged under the mandate's
// names; put in place only when every file was done.
bool StagedUpdate(CommandContext& ctx, int year) {
    const std::string dir = ctx.mandate.GetPath();
    std::string failure;
    bool done = false, journalled = false;
    int stepFailures = 0;
    if (Stage(dir, failure)) {
        RenamingLogSink log(ctx.log, StagingFolder(dir), dir);
        CommandContext staged{ctx.mandate, log, ctx.seam, ctx.changeFlag, ctx.table, ctx.safety, nullptr,
                              StagingFolder(dir)};
        const bool updated = UpdateForms(staged, year, kInvert);
        stepFailures = log.Failures();
        for (int i = 0; i < stepFailures; ++i) ctx.log.CountFailure();
        done = updated && Commit(dir, failure, journalled);
    }
    if (done) return true;
    // Files done before the failure are not put in place: the log says so.
    const bool undone = !journalled && !ChangedFiles(dir).empty();
    if (!journalled) RemoveStaging(dir);
    if (!failure.empty()) ctx.log.Line(Format(LoadString(IDS_LOG_FORM_REASON), failure));
    // Journalled, the activation is finished by the next open. A failure is
    // counted once: a failed step was counted already.
    const std::string notCompleted = Format(LoadString(IDS_LOG_NOT_COMPLETED), dir);
    if (undone && stepFailures > 0)
        ctx.log.Line(notCompleted);
    else if (undone)
        ctx.log.Failure(notCompleted);
    else if (!failure.empty())
        ctx.log.CountFailure();
    return false;
}

}  // namespace

Outcome ActivateForm(CommandContext& ctx, int year) {
    if (!RecordsReadable(ctx.mandate, ctx.log)) return Outcome::kFailed;
    // The transfer exchanges the keys of the table's pairs: a table that cannot be read must not be guessed at.
    if (const std::optional<std::string> table = filesofours::UnreadableTableLine(ctx.table)) {
        ctx.log.Line(*table);
        ctx.log.Failure(Format(LoadString(IDS_LOG_NOT_COMPLETED), ctx.mandate.GetPath()));
        return Outcome::kFailed;
    }
    if (!filesofours::Replaceable(ctx)) return Outcome::kFailed;
    // Everything after this may replace files of the mandate.
    if (!BeforeChange(ctx)) return Outcome::kFailed;
    // A formula pass still pending belongs to the workbook it was meant for.
    formpass::FinishPending(ctx);
    // A dry run writes into its own scratch folder, and a read-only mandate is refused.
    const bool done = IsDryRun(ctx) || ctx.mandate.IsReadOnly() ? UpdateForms(ctx, year, kInvert) : StagedUpdate(ctx, year);
    return done ? Outcome::kDone : Outcome::kFailed;
}

namespace activation {

bool Recover(const std::string& mandateDir) {
    constexpr std::size_t kMaxJournal = 1u << 16;
    journalfile::Journal journal = journalfile::Journal::Read(JournalPath(mandateDir), kJournalHeader, kMaxJournal);
    std::vector<std::string> names;
    for (const journalfile::Entry& entry : journal.Entries())
        if (journal.CheckName(entry, entry.text, journalfile::Name::kSingle)) names.push_back(entry.text);
    if (!journal) {
        // Absent, or cut off before it was whole: nothing of the mandate was replaced.
        ::unlink(JournalPath(mandateDir).c_str());
        RemoveStaging(mandateDir);
        return false;
    }
    std::string failure;
    if (!PutInPlace(mandateDir, names, failure)) return false;
    ::unlink(JournalPath(mandateDir).c_str());
    RemoveStaging(mandateDir);
    return true;
}

}  // namespace activation
