#pragma once
#include <string>

#include "rules/ConversionState.h"

class Mandate;
class UiSeam;

// Where one mandate stands in the conversion, read without changing anything
// and without holding the mandate: for `mwst-batch status` and the list's
// column "Stand".
struct MandateStatus {
    // Why the mandate could not be read; its fixed name comes from ProblemName.
    enum class Problem { kNone, kVersion, kPassword, kLocked, kUnreadable };

    std::string directory;
    std::string name;
    long dataVersion = 0;  // 0 when not known
    int dataFormat = 0;    // the storage format of the data library; 0 when not known
    // "2018", "2024", another version number, "none", "unreadable", or
    // "mixed" when the four form files are not of one version.
    std::string form;
    std::string formVersions;  // with "mixed": the versions found, as "MWSTFORM.VTS 2024, ..."
    ConversionState state;
    // Inconsistent also when the form files are mixed.
    ConversionStage stage = ConversionStage::kNotStarted;
    FormEra era = FormEra::kNone;  // of the active form workbook
    Problem problem = Problem::kNone;
    // Why the mandate cannot be read, in words in the user's language.
    std::string detail;

    bool Read() const { return problem == Problem::kNone; }
};

// The status of the mandate in `dir`, opened to read only: nothing in its
// folder is created or changed, whatever its format. Its password, if it has one, is asked
// through the data library's prompt, shown through `seam`. The bookings are
// counted only when `withBookings` (the stage needs none of them). Keys,
// stages and bookings are those of the rate change `change`.
MandateStatus ReadMandateStatus(const std::string& dir, UiSeam& seam, bool withBookings,
                                const RateChange& change = DefaultRateChange());
// The same for a mandate that is open here (and may be held by this process).
// `checkTables` false skips the check of the tables every run makes at its
// start, for a mandate a run has just checked.
MandateStatus ReadOpenMandateStatus(Mandate& mandate, bool withBookings, bool checkTables = true,
                                    const RateChange& change = DefaultRateChange());

// The problem of a read that answered `status` (not kOk).
MandateStatus::Problem ProblemOfRead(int status);
// Why the mandate in `dir` could not be opened, `status` the open's answer:
// in words in the user's language, telling a missing folder, a folder
// without mandate and a database damaged, cut short, empty or a folder apart.
std::string OpenFailureText(const std::string& dir, int status);

// "version", "password", "locked", "unreadable"; "" for none.
const char* ProblemName(MandateStatus::Problem problem);
// The problem and the stage in the user's language.
std::string ProblemText(MandateStatus::Problem problem);
std::string StageText(ConversionStage stage);
