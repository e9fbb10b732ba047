#pragma once
#include <string>
#include <vector>

class ConvertTable;
class Mandate;
class UiSeam;

// The tax key overview of a mandate, as text: the old keys (left) and, row
// for row, the new key the insertion would create for each, with its new rate
// and whether that id exists already, or why the old key is not converted
// (right). Columns are separated by "\t". The window shows it in a dialog,
// mwst-batch prints it.
struct KeyOverview {
    enum RowType { kOldKey = 0, kNewKeyAbsent = 1, kNewKeyPresent = 2 };

    std::string title;
    std::vector<std::string> leftHeadings;
    std::vector<std::string> rightHeadings;
    std::vector<std::string> leftRows;
    std::vector<std::string> rightRows;  // rightRows[i] belongs to leftRows[i]
};

// Reads the mandate's key file into `overview`. kOk; otherwise the status of
// the open (`opened` false) or of the read that failed: a list that could not
// be read to its end must not be shown as if it were complete. A conversion
// table that exists but cannot be read is told in a box through `seam`.
int ReadKeyOverview(Mandate& mandate, const ConvertTable& table, UiSeam& seam, KeyOverview& overview, bool& opened);

// One row: the id (at most six characters), the rate and, for an old key, the
// entry text (gross or net) and the automatic account; for a new key whether
// it exists.
std::string KeyOverviewRow(const std::string& id, float rate, bool netto, const std::string& konto,
                           KeyOverview::RowType type);
