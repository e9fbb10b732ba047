#include "mandate/MandateStatus.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "core/PendraUiBridge.h"
#include "core/Strings.h"
#include "forms/FilesOfOurs.h"
#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "base/Format.h"
#include "base/Windows1252.h"
#include "pendra/Mandate.h"
#include "pendra/SqlMandateConfiguration.h"
#include "pendra/SqliteSchema.h"
#include "pendra/StorageEngine.h"
#include "pendra/PendraStatus.h"
#include "res/Resource.h"
#include "rules/ConvertTable.h"
#include "commands/TaxKeyFiles.h"

namespace {

constexpr long kRequiredVersion = 2300;

using Problem = MandateStatus::Problem;

// A mandate another program holds, or a record it keeps locked, is not ours to
// read now; anything else that fails is damage or a file we may not read.
Problem ProblemOf(int status) {
    switch (status) {
    case pendra::kMandateHeldExclusively:
    case pendra::kFileLocked:
    case pendra::kRecordLocked:
        return Problem::kLocked;
    case pendra::kFormatTooOld:
        return Problem::kVersion;
    default:
        return Problem::kUnreadable;
    }
}

// The version of the active form workbook as the status names it, and the
// version the stage goes by (0 for none or unreadable).
unsigned ReadForm(const Mandate& mandate, std::string& form) {
    // The mandate's own workbook, also where this user may only read it (the
    // status only reads); without one, the copy the commands would take.
    const std::string own = MwstMandateOwnSheetName(&mandate, MwstMandateUsesFlatRate(&mandate));
    std::error_code error;
    const std::string workbook = std::filesystem::exists(own, error) ? own : ActiveFormFile(mandate);
    if (workbook.empty() || !std::filesystem::exists(workbook, error)) {
        form = "none";
        return 0;
    }
    std::string failure;
    const unsigned version = MwstGetVersion(workbook, &failure);
    form = failure.empty() ? std::to_string(version) : "unreadable";
    return failure.empty() ? version : 0;
}

// "mixed" in `form` when the form files there are not of one version (one
// that cannot be read counts as a version of its own); `versions` names them.
void CheckFormFiles(const std::string& dir, std::string& form, std::string& versions) {
    const std::vector<FormFileVersion> found = FormFileVersions(dir);
    const auto text = [](const FormFileVersion& file) { return file.readable ? std::to_string(file.version) : "?"; };
    bool mixed = false;
    for (const FormFileVersion& file : found) mixed = mixed || text(file) != text(found.front());
    if (!mixed) return;
    form = "mixed";
    versions.clear();
    for (const FormFileVersion& file : found) versions += (versions.empty() ? "" : ", ") + file.name + " " + text(file);
}

// The size a database's header says it has: page size times page count.
long long HeaderSize(const unsigned char* header) {
    long long pageSize = (header[16] << 8) | header[17];
    if (pageSize == 1) pageSize = 65536;
    const long long pages = (static_cast<long long>(header[28]) << 24) | (header[29] << 16) | (header[30] << 8) | header[31];
    return pageSize * pages;
}

std::string NoAccess(int error) { return Format(LoadString(IDS_DETAIL_NO_ACCESS), SystemText(error)); }

}  // namespace

std::string OpenFailureText(const std::string& dir, int status) {
    std::error_code error;
    if (!std::filesystem::is_directory(dir, error)) return Format(LoadString(IDS_DETAIL_NO_FOLDER), dir);
    if (SqlMandateConfiguration::ExistsIn(dir)) return LoadString(IDS_DETAIL_SQL);
    if (status == pendra::kPathTooLong)
        return Format(LoadString(IDS_REASON_PATH_TOO_LONG), static_cast<int>(pendra::schema::MaxMandateFolderLength()));
    if (status == pendra::kLinkOutside)
        if (const auto link = filesofours::FindLinkOutside(dir)) return link->Text();
    const std::string db = pendra::schema::DatabasePath(dir);
    struct stat info {};
    if (::stat(db.c_str(), &info) != 0) {
        if (errno != ENOENT) return NoAccess(errno);
        // Named in other letters: found by the search, not opened by the library.
        const std::string wanted = win1252::FoldCase(MandateFiles::kDatabaseFileName);
        for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
            const std::string name = entry.path().filename().string();
            if (win1252::FoldCase(name) == wanted) return Format(LoadString(IDS_DETAIL_DB_NAME), name);
        }
        return LoadString(IDS_DETAIL_NO_MANDATE);
    }
    if (S_ISDIR(info.st_mode)) return LoadString(IDS_DETAIL_DB_FOLDER);
    if (info.st_size == 0) return LoadString(IDS_DETAIL_DB_EMPTY);
    const int fd = ::open(db.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return NoAccess(errno);
    unsigned char header[100] = {};
    const ssize_t got = ::pread(fd, header, sizeof header, 0);
    ::close(fd);
    if (got < 0) return NoAccess(errno);
    if (got < static_cast<ssize_t>(sizeof header))
        return Format(LoadString(IDS_DETAIL_DB_TOO_SHORT), std::to_string(info.st_size));
    if (pendra::schema::CheckHeader(db) != pendra::kOk) return LoadString(IDS_DETAIL_DB_FOREIGN);
    if (const long long size = HeaderSize(header); size > info.st_size)
        return Format(LoadString(IDS_DETAIL_DB_TRUNCATED), std::to_string(info.st_size), std::to_string(size));
    if (status == pendra::kAccessDenied) return NoAccess(EACCES);
    return Format(LoadString(IDS_DETAIL_DB_DAMAGED), status);
}

MandateStatus ReadOpenMandateStatus(Mandate& mandate, bool withBookings, bool checkTables, const RateChange& change) {
    MandateStatus status;
    status.directory = mandate.GetPath();
    status.name = mandate.GetName();
    long version = 0;
    if (mandate.GetVersion(version, 1) != 0) status.dataVersion = version;
    status.dataFormat = mandate.GetDataFormat();
    if (!mandate.IsSQLMandate() && status.dataVersion != kRequiredVersion) {
        status.problem = Problem::kVersion;
        return status;
    }
    // The verdict every command gets before it starts: readable by both or
    // refused by both, for the same reason.
    if (std::string damage; checkTables && mandate.Engine() && mandate.Engine()->CheckIntegrity(damage) != pendra::kOk) {
        status.problem = Problem::kUnreadable;
        status.detail = Format(LoadString(IDS_DETAIL_TABLES_DAMAGED), damage);
        return status;
    }
    const ConvertTable table(mandate.GetPath());
    if (table.Unreadable()) {
        status.problem = Problem::kUnreadable;
        status.detail = filesofours::UnreadableTableLine(table).value_or("");
        while (!status.detail.empty() && (status.detail.back() == '\n' || status.detail.back() == '\r'))
            status.detail.pop_back();
        return status;
    }
    const BookingReach reach = withBookings ? BookingReach::kWrongSide : BookingReach::kNone;
    if (const int read = ReadConversionState(mandate, table, reach, status.state, change); read != pendra::kOk) {
        status.problem = ProblemOf(read);
        if (status.problem == Problem::kUnreadable) status.detail = OpenFailureText(mandate.GetPath(), read);
        return status;
    }
    status.era = FormEraOf(ReadForm(mandate, status.form), change);
    status.stage = StageOf(status.state, status.era, change);
    // Half one form and half the other: no stage of the conversion is that.
    CheckFormFiles(mandate.GetPath(), status.form, status.formVersions);
    if (status.form == "mixed") status.stage = ConversionStage::kInconsistent;
    return status;
}

MandateStatus ReadMandateStatus(const std::string& dir, UiSeam& seam, bool withBookings, const RateChange& change) {
    Mandate mandate(0);
    const int opened = mandate.OpenMandateFilesReadOnly(dir);
    if (opened == pendra::kFormatTooOld) {
        // Open for its meta alone: what it is, said as it is.
        MandateStatus status;
        status.directory = dir;
        status.name = mandate.GetName();
        long version = 0;
        if (mandate.GetVersion(version, 1) != 0) status.dataVersion = version;
        status.dataFormat = mandate.GetDataFormat();
        status.problem = Problem::kVersion;
        mandate.CloseMandateFiles();
        return status;
    }
    if (opened != pendra::kOk) {
        MandateStatus status;
        status.directory = dir;
        status.problem = ProblemOf(opened);
        if (status.problem == Problem::kUnreadable) status.detail = OpenFailureText(dir, opened);
        return status;
    }
    MandateStatus status;
    PendraUiBridge prompt(seam);
    if (mandate.AskPassword(prompt) == 1) {
        status = ReadOpenMandateStatus(mandate, withBookings, true, change);
    } else {
        status.directory = dir;
        status.name = mandate.GetName();
        status.problem = Problem::kPassword;
    }
    mandate.CloseMandateFiles();
    return status;
}

MandateStatus::Problem ProblemOfRead(int status) { return ProblemOf(status); }

const char* ProblemName(MandateStatus::Problem problem) {
    switch (problem) {
    case Problem::kNone: return "";
    case Problem::kVersion: return "version";
    case Problem::kPassword: return "password";
    case Problem::kLocked: return "locked";
    case Problem::kUnreadable: return "unreadable";
    }
    return "unreadable";
}

std::string ProblemText(MandateStatus::Problem problem) {
    return problem == Problem::kNone ? std::string() : LoadString(IDS_PROBLEM_VERSION + static_cast<int>(problem) - 1);
}

std::string StageText(ConversionStage stage) {
    if (stage == ConversionStage::kWaitingForOldBookings) return LoadString(IDS_STAGE_WAITING_FOR_OLD_BOOKINGS);
    return LoadString(IDS_STAGE_NOT_STARTED + static_cast<int>(stage));
}
