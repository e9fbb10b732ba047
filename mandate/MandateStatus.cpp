#include "mandate/MandateStatus.h"

#include <filesystem>

#include "core/PendraUiBridge.h"
#include "core/Strings.h"
#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "pendra/Mandate.h"
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

}  // namespace

MandateStatus ReadOpenMandateStatus(Mandate& mandate, bool withBookings) {
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
    const ConvertTable table(mandate.GetPath());
    if (table.Unreadable()) {
        status.problem = Problem::kUnreadable;
        return status;
    }
    if (const int read = ReadConversionState(mandate, table, withBookings, status.state); read != pendra::kOk) {
        status.problem = ProblemOf(read);
        return status;
    }
    status.stage = StageOf(status.state, FormEraOf(ReadForm(mandate, status.form)));
    return status;
}

MandateStatus ReadMandateStatus(const std::string& dir, UiSeam& seam, bool withBookings) {
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
        return status;
    }
    MandateStatus status;
    PendraUiBridge prompt(seam);
    if (mandate.AskPassword(prompt) == 1) {
        status = ReadOpenMandateStatus(mandate, withBookings);
    } else {
        status.directory = dir;
        status.name = mandate.GetName();
        status.problem = Problem::kPassword;
    }
    mandate.CloseMandateFiles();
    return status;
}

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
