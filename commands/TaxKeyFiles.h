#pragma once
#include <string>
#include <vector>

#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/Konto.h"
#include "pendra/Tax.h"
#include "rules/KeyPlan.h"

class LogSink;
class Mandate;
class UiSeam;
struct CommandContext;

// The files a tax key command works with on the open mandate: the tax key file
// twice (a read-only handle for the walk, an update handle for the writes, so
// that writing never moves the walk), the account file for the keys' automatic
// accounts and the booking file for the used-key test. Opened by Open(),
// closed when the object goes.
//
// The answers that read a record return the library status of the read: kOk
// when the answer is known, any other status when the file could not be read,
// so that no doubt is ever taken for "not there".
class TaxKeyFiles {
public:
    explicit TaxKeyFiles(Mandate* mandate);
    TaxKeyFiles(const TaxKeyFiles&) = delete;
    TaxKeyFiles& operator=(const TaxKeyFiles&) = delete;

    // Opens the files; false after the data library's error box 5000,
    // shown through `seam`.
    bool Open(UiSeam& seam);

    Tax& Walk() { return walk_; }
    Tax& Writer() { return writer_; }
    // `formula` is true when the automatic account of the key in `key` is an
    // account of type 0 (the keys whose formulas the form workbook sums); an
    // account that does not exist (or no account) gives false.
    int ReadFormulaAccount(const Tax& key, bool& formula);
    // Whether a booking carries exactly one of `ids`, asked in one request
    // (one round trip on SQL mandates). uses[i] answers ids[i]: its status is
    // kOk with `used` set, or the failure of that id's read. kOk, or the
    // failure of the whole request.
    struct BookingUse {
        int status = 0;
        bool used = false;
    };
    int ReadBookingUses(const std::vector<std::string>& ids, std::vector<BookingUse>& uses);
    // The number of the first account whose default key is `id`, empty when
    // no account names it.
    int ReadAccountOn(const std::string& id, std::string& number);
    // The conversion of the mandate's keys from one walk of the key file;
    // kOk, or the status of the read that failed.
    int ReadPlan(KeyPlan& plan) { return plan.Read(walk_); }
    // The walk's record, as scratch for a planned key: `planned` loaded into it.
    Tax& Current(const PlannedKey& planned);

private:
    Mandate* mandate_;
    BFile readFile_;
    BFile writeFile_;
    BFile kontoFile_;
    BFile buchFile_;
    Tax walk_;
    Tax writer_;
    Konto konto_;
    Buch buch_;
};

// The mandate's active form workbook: the effective or the flat rate one, by
// mandate setting 27.
std::string ActiveFormFile(const Mandate& mandate);
// The version of the mandate's active form workbook (effective or flat rate
// by mandate setting 27); 0 without a usable workbook. A workbook that exists
// but cannot be read gives 0 as well, after a failure line in the log naming
// the file and the reason.
unsigned ActiveFormVersion(CommandContext& ctx);
