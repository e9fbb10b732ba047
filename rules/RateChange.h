#pragma once
#include <functional>
#include <string>
#include <vector>

// A change of the VAT rates, as its definition file describes it (the
// product's INI format, docs/rate-changes.md): everything the conversion
// rules, the commands, `status` and the booking list know about the change.
// The change of 2024 ships as mwst/changes/2024.ini and is built into the
// program as the default, so that a copy without its data folder converts as
// before.

// One rate class: the old rate and gross factor as a key's "%g" texts show
// them ("7.7", "107.7"), the new ones as the new key stores them (fractions),
// and the id suffix of the class ("81").
struct RateClass {
    std::string oldRateText;
    float newRate = 0;
    std::string oldQuoteText;
    float newQuote = 0;
    std::string idSuffix;
};

struct RateChange {
    std::string name;           // "2024": how --change and the settings name it
    std::string effectiveDate;  // YYYYMMDD, the first day of the new rates
    int oldForms = 0;           // the form template set before the change (2018)
    int newForms = 0;           // the change's form template set (2024)
    std::string textDe;         // how the German texts name the change ("2024")
    std::string textFr;
    int idDigits = 0;           // trailing digits of an old id that stand for its rate
    int idStem = 0;             // characters kept of the rest
    std::vector<std::string> leftAlone;  // ids containing one of these are left alone
    std::vector<RateClass> classes;      // indexed by stsatz (rules/ConversionRules.h)
    // Whether the change's form template set is installed; set by whoever
    // loads the change from the installation. Without it the change's form
    // activation refuses and its old keys go without the new form.
    bool newFormsInstalled = true;
};

// How the texts name the change, in French or in German.
const std::string& ChangeText(const RateChange& change, bool french);

// Why a definition is refused, with the 1-based line it stands on (0: the
// file as a whole, for an entry that is missing).
enum class RateChangeFault {
    kUnreadable,        // the file cannot be read
    kMissingEntry,      // an entry the change needs is not there (detail: its name)
    kBadValue,          // an entry's value is not what it must be (detail: its name)
    kClassWithoutRate,  // a rate class without its new rate (detail: the class)
    kSharedSuffix,      // two rate classes give new ids one suffix (detail: the suffix)
    kSharedOldRate,     // two rate classes claim one old rate (detail: the rate)
    kUnknownFormSet,    // a form template set that is not installed, or not before the new one (detail: its name)
};

struct RateChangeError {
    RateChangeFault fault = RateChangeFault::kUnreadable;
    int line = 0;
    std::string detail;
};

// Parses a definition. `formSetInstalled` tells which form template sets
// there are: the old set must be one of them, the new one may be missing (a
// change with no official form yet: `newFormsInstalled` is then false). Empty
// for the definition built in, whose sets ship with the program. True with
// `change` set, else false with `error`.
using FormSetInstalled = std::function<bool(int)>;
bool ParseRateChange(const std::string& text, const FormSetInstalled& formSetInstalled, RateChange& change,
                     RateChangeError& error);

// The change of 2024, as shipped (parsed once from the definition built in).
const RateChange& DefaultRateChange();
// `change`, or the default when null (a context that names none).
inline const RateChange& OrDefault(const RateChange* change) { return change ? *change : DefaultRateChange(); }
