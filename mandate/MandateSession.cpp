#include "mandate/MandateSession.h"

#include <cstring>
#include <utility>

#include "base/CException.h"
#include "base/Format.h"
#include "core/LogSink.h"
#include "core/PendraUiBridge.h"
#include "core/Strings.h"
#include "core/UiSeam.h"
#include "forms/FormActivation.h"
#include "forms/FormPassJournal.h"
#include "templates/MandateFiles.h"
#include "templates/TemplateSet.h"
#include "mandate/MandatePath.h"
#include "mandate/MandateRestore.h"
#include "mandate/MandateSearch.h"
#include "mandate/OtherUsers.h"
#include "pendra/MIniSetHelper.h"
#include "pendra/MandateLockFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "pendra/SqlMandateConfiguration.h"
#include "pendra/SqliteSchema.h"
#include "pendra/WriteAccess.h"
#include "res/Resource.h"

namespace {

constexpr long kRequiredVersion = 2300;

// The box shown while another program holds the mandate: 20001 and the
// holders, for an SQL mandate as libholdwatch.so names them, for a file
// mandate as its lock file does. A mandate refused with 88 has no path of
// its own, so the path asked for is named then.
std::string ExclusiveConflictText(Mandate& mandate, const std::string& path) {
    const std::string shown = mandate.GetPath().empty() ? path : mandate.GetPath();
    std::string text = Format(LoadString(IDS_NOT_EXCLUSIVE), shown);
    if (std::optional<std::string> users = OtherUsersOfMandate(mandate)) {
        text += *users;
    } else if (const std::string holder = MandateLockFile::ExclusiveHolder(WithoutTrailingSlash(shown));
               !holder.empty()) {
        text += holder + "\r\n";
    }
    return text;
}

// Statuses of an open that converts the mandate's tax ids to the current
// format and finds one that has no place there; nothing was changed.
bool IdsNotConvertible(int status) {
    return status == pendra::kNotWindows1252 || status == pendra::kDuplicateKey;
}

// kOk when granted, kMandateHeldExclusively while someone else has the
// mandate; anything else (a lock file that cannot be written) can never be
// granted, so retrying is pointless.
int GainExclusiveAccess(Mandate& mandate, MIniSetHelper& exclusive) {
    if (mandate.IsSQLMandate())
        return mandate.TryGetExclusiveLock(0) ? pendra::kOk : pendra::kMandateHeldExclusively;
    return exclusive.OpenExclusive();
}

// "Der Mandant kann nicht geöffnet werden" and, where the file system tells
// it, why: the folder or file that may not be written, or a full disk.
// Why an open failed, where the status tells more than the box's text; empty otherwise.
std::string OpenFailedReason(const std::string& path, int status) {
    if (status == pendra::kPathTooLong)
        return Format(LoadString(IDS_REASON_PATH_TOO_LONG), static_cast<int>(pendra::schema::MaxMandateFolderLength()));
    if (status == pendra::kServerUnreachable) return PendraMessageText(PendraStatusMessageId(status));
    if (status == pendra::kLinkOutside)
        if (const auto link = filesofours::FindLinkOutside(WithoutTrailingSlash(path))) return link->Text();
    const bool access = status == pendra::kAccessDenied || status == pendra::kIoError;
    if (!access || SqlMandateConfiguration::ExistsIn(path)) return {};
    if (const pendra::WriteBlocker blocker = pendra::FindWriteBlocker(WithoutTrailingSlash(path)))
        return Format(LoadString(IDS_REASON_CANNOT_WRITE), blocker.path, SystemText(blocker.error));
    return {};
}

std::string OpenFailedText(const std::string& path, int status) {
    const std::string text = Format(LoadString(IDS_OPEN_FAILED), path);
    const std::string reason = OpenFailedReason(path, status);
    return reason.empty() ? text : text + "\r\n\r\n" + Format(LoadString(IDS_LOG_FORM_REASON), reason);
}

// The program's message box telling of the problem `problem` (a text id):
// its title as caption.
int Message(UiSeam& seam, int problem, const std::string& text) {
    return seam.MessageBox({text, LoadString(IDS_TITLE), MB_OK | MB_ICONEXCLAMATION, problem});
}

// The box of a registration test whose open was refused with `refusal`.
std::string CheckRefusalText(int refusal, Mandate& mandate, const std::string& path, int status) {
    switch (refusal) {
        case IDS_FORMAT_TOO_OLD: return Format(LoadString(IDS_FORMAT_TOO_OLD), path);
        case IDS_IDS_NOT_CONVERTIBLE: return Format(LoadString(IDS_IDS_NOT_CONVERTIBLE), path);
        // The library keeps the path of a failed open; show it, never an empty one.
        case IDS_HELD_EXCLUSIVELY:
            return Format(LoadString(IDS_HELD_EXCLUSIVELY), mandate.GetPath().empty() ? path : mandate.GetPath());
        default: return OpenFailedText(path, status);
    }
}

}  // namespace

MandateSession::MandateSession(Mandate& mandate)
    : mandate_(mandate), exclusive_(std::make_unique<MIniSetHelper>(&mandate, true)) {}

MandateSession::~MandateSession() = default;

bool MandateSession::IsOpen() const { return mandate_.IsMandantOpen(); }

void MandateSession::Close() {
    if (MIniSetHelper::IsGlobalBtrieveFileInstanceOpen()) exclusive_->Close();
    mandate_.CloseCachedFiles();
    mandate_.CloseMandateFiles();
}

// The session's mandate when it is open on the directory `path` names.
Mandate* MandateSession::OpenAt(const std::string& path) {
    if (!mandate_.IsMandantOpen()) return nullptr;
    return CanonicalMandatePath(mandate_.GetPath()) == CanonicalMandatePath(path) ? &mandate_ : nullptr;
}

bool MandateSession::CheckVersionAndPassword(const std::string& path, std::string& outMandateName, UiSeam& seam) {
    refusal_ = 0;
    // Our own exclusive hold would refuse a second open of the mandate that
    // is open right now (88, "another program"): test it where it is open.
    if (Mandate* own = OpenAt(path)) {
        const bool passed = PassesVersionAndPassword(*own, seam);
        outMandateName = own->GetName();
        if (passed && statusChange_) registered_ = ReadOpenMandateStatus(*own, false, true, *statusChange_);
        return passed;
    }
    Mandate mandate(0);
    const int status = mandate.OpenMandateFiles(path, 1, true);
    // No mandate there says nothing (the search asks every folder); a mandate
    // that is there and does not open says why.
    if (status == pendra::kFileNotFound) return false;
    if (status != pendra::kOk) {
        refusal_ = status == pendra::kFormatTooOld          ? IDS_FORMAT_TOO_OLD
                   : IdsNotConvertible(status)               ? IDS_IDS_NOT_CONVERTIBLE
                   : status == pendra::kMandateHeldExclusively ? IDS_HELD_EXCLUSIVELY
                                                               : IDS_OPEN_FAILED;
        Message(seam, refusal_, CheckRefusalText(refusal_, mandate, path, status));
        return false;
    }
    const bool passed = PassesVersionAndPassword(mandate, seam);
    outMandateName = mandate.GetName();
    if (passed && statusChange_) registered_ = ReadOpenMandateStatus(mandate, false, true, *statusChange_);
    mandate.CloseMandateFiles();
    return passed;
}

bool MandateSession::PassesVersionAndPassword(Mandate& mandate, UiSeam& seam) {
    if (!IsVersion(mandate, seam)) {
        refusal_ = IDS_WRONG_VERSION;
        return false;
    }
    if (!AskPassword(mandate, seam)) {
        refusal_ = IDS_NO_PASSWORD;
        return false;
    }
    RememberPasswordGiven(mandate);
    return true;
}

bool MandateSession::PasswordKnownOrGiven(Mandate& mandate, UiSeam& seam) {
    const std::string hash = mandate.PasswordHash();
    if (hash.empty()) return true;
    {
        const std::lock_guard lock(givenMutex_);
        if (givenPasswords_.count(hash)) return true;
    }
    if (!AskPassword(mandate, seam)) return false;
    RememberPasswordGiven(mandate);
    return true;
}

void MandateSession::RememberPasswordGiven(const Mandate& mandate) {
    std::string hash = mandate.PasswordHash();
    if (hash.empty()) return;
    const std::lock_guard lock(givenMutex_);
    givenPasswords_.insert(std::move(hash));
}

bool MandateSession::IsVersion(Mandate& mandate, UiSeam& seam) {
    if (mandate.IsSQLMandate()) return true;
    long version = 0;
    if (mandate.GetVersion(version, 1) == 0) return false;
    if (version == kRequiredVersion) return true;
    Message(seam, IDS_WRONG_VERSION, Format(LoadString(IDS_WRONG_VERSION), mandate.GetPath(), kRequiredVersionText));
    return false;
}

bool MandateSession::AskPassword(Mandate& mandate, UiSeam& seam) {
    PendraUiBridge prompt(seam);
    if (mandate.AskPassword(prompt) == 1) return true;
    Message(seam, IDS_NO_PASSWORD, Format(LoadString(IDS_NO_PASSWORD), mandate.GetPath()));
    return false;
}

MandateSession::Opened MandateSession::Open(const std::string& path, UiSeam& seam, LogSink& log) {
    Close();
    refusal_ = 0;
    try {
        for (;;) {
            const int status = mandate_.OpenMandateFiles(path, 1, true);
            if (status != pendra::kOk && status != pendra::kMandateHeldExclusively) {
                refusal_ = IdsNotConvertible(status) ? IDS_IDS_NOT_CONVERTIBLE : IDS_OPEN_FAILED;
                Message(seam, refusal_,
                        IdsNotConvertible(status) ? Format(LoadString(IDS_IDS_NOT_CONVERTIBLE), path)
                                                  : OpenFailedText(path, status));
                return Opened::kNo;
            }
            if (status == pendra::kOk) {
                const int access = GainExclusiveAccess(mandate_, *exclusive_);
                if (access == pendra::kOk) break;
                if (access != pendra::kMandateHeldExclusively) {
                    Close();
                    refusal_ = IDS_OPEN_FAILED;
                    Message(seam, refusal_, OpenFailedText(path, access));
                    return Opened::kNo;
                }
            }

            const std::string text = ExclusiveConflictText(mandate_, path);
            const int answer = seam.MessageBox(
                {text, LoadString(IDS_ERROR_CAPTION), MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2,
                 IDS_NOT_EXCLUSIVE});
            if (answer == IDRETRY) continue;
            Close();
            refusal_ = IDS_NOT_EXCLUSIVE;
            if (answer == IDABORT) return Opened::kAborted;
            log.Line(text + "\r\n\r\n");
            return Opened::kNo;
        }
    } catch (const CException&) {
        Close();
        refusal_ = IDS_OPEN_FAILED;
        return Opened::kNo;
    }
    if (!IsVersion(mandate_, seam)) {
        Close();
        refusal_ = IDS_WRONG_VERSION;
        return Opened::kNo;
    }
    // Asked of the database now held, not of the one the list once tested.
    if (!PasswordKnownOrGiven(mandate_, seam)) {
        Close();
        refusal_ = IDS_NO_PASSWORD;
        return Opened::kNo;
    }
    // Held exclusively now, so no run of ours is writing there: what an
    // interrupted workbook replacement left behind can go, and an interrupted
    // form activation or restore is finished.
    if (!mandate_.IsReadOnly()) {
        const std::string dir = mandate_.GetPath();
        MwstRemoveStrayTempFiles(dir, {formpass::kJournalName, activation::kJournalName, backup::kRestoreJournalName});
        if (activation::Recover(dir)) log.Line(Format(LoadString(IDS_LOG_ACTIVATION_RESUMED), dir));
        ResumeMandateRestore(mandate_, log);
    }
    return Opened::kYes;
}
