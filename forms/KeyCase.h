#pragma once
#include <map>
#include <string>
#include <vector>

class ConvertTable;
class CVCF1;
class Mandate;
class MwstFormulaUpdater;
struct RateChange;

// Spreadsheet programs may change the letter case of names they do not know:
// LibreOffice saves USN81_ST as usn81_st and USN00 as usn00. The formula text
// engine compares keys exactly, as it must, so the case is put right where a
// form workbook meets the mandate: when it is loaded for a formula pass or a
// transfer, the key part of every term of the mapping sheet's formulas that
// equals a key id known to the mandate without regard to letter case is
// written in that id's spelling. Ids are unique without regard to letter case,
// so the spelling is never in doubt. A term that was written all in lower
// case while its id has upper-case letters only gets its suffix in upper case
// as well ("usn81_st" -> "USN81_ST"), since whoever lowered the key lowered the
// whole name; any other suffix, and anything that names no known key, stays
// as it is.

// Key ids by their spelling, looked up without regard to letter case.
class KeySpelling {
public:
    // An id already known keeps its spelling: the mandate's own ids are added first.
    void Add(const std::string& id);
    // The ids of "OLD^^_^^NEW" pair texts.
    void AddPairs(const std::vector<std::string>& pairs);
    // The known spelling of `key`, or nullptr.
    const std::string* Find(const std::string& key) const;
    bool Empty() const { return byFolded_.empty(); }

private:
    std::map<std::string, std::string> byFolded_;
};

// The formula with every key part that is a known id in the id's spelling.
std::string MatchKeyCase(const std::string& formula, const KeySpelling& ids);

// The mapping sheet's formulas (sheet 4, columns 2 and 3, rows up to the first
// empty label) put right; active sheet and selection stay. True when a formula
// changed.
bool MatchMappingSheetKeyCase(CVCF1& form, const KeySpelling& ids);

// The ids of `mandate`'s tax keys and the new ids the conversion rules derive
// from its old keys with its conversion `table` (null: the change's id rule
// alone) under the rate `change`; empty without an open mandate or a readable key file.
KeySpelling MandateKeySpelling(Mandate* mandate, const ConvertTable* table, const RateChange& change);

// After the updater loaded a workbook for a pass: the mandate's ids and the
// pass's key lists. A changed formula sets the change flag, so the workbook is
// saved in the mandate's spelling. Nothing in version mode.
void MwstMatchKeyCase(MwstFormulaUpdater& dlg);
// After the transfer loaded the mandate's workbook: the mandate's ids.
void MwstMatchKeyCase(Mandate* mandate, const ConvertTable* table, const RateChange& change, CVCF1& form);
