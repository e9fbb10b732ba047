#pragma once
#include <string>

#include "mandate/pendra/BFile.h"
#include "mandate/pendra/Konto.h"
#include "mandate/pendra/Tax.h"

class Mandate;

// The files a tax key command works with on the open mandate: the tax key file
// twice (a read-only handle for the walk, an update handle for the writes, so
// that writing never moves the walk) and the account file for the keys'
// automatic accounts. Opened by Open(), closed when the object goes.
class TaxKeyFiles {
public:
    explicit TaxKeyFiles(Mandate* mandate);
    TaxKeyFiles(const TaxKeyFiles&) = delete;
    TaxKeyFiles& operator=(const TaxKeyFiles&) = delete;

    // Opens both tax key handles; false after the data library's error box 5000.
    bool Open();

    Tax& Walk() { return walk_; }
    Tax& Writer() { return writer_; }
    // True when the automatic account of the key in `key` is a readable
    // account of type 0 (the keys whose formulas the form workbook sums).
    bool HasFormulaAccount(const Tax& key);

private:
    Mandate* mandate_;
    BFile readFile_;
    BFile writeFile_;
    BFile kontoFile_;
    Tax walk_;
    Tax writer_;
    Konto konto_;
};

// The version of the open mandate's active form workbook (effective or flat
// rate by mandate setting 27); 0 without a usable workbook.
unsigned ActiveFormVersion();

// Appends a line to the conversion log.
void LogLine(const std::string& line);
// Appends a line that reports a failure, and counts the failure.
void LogFailure(const std::string& line);
