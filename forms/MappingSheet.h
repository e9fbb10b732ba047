#pragma once
#include <optional>
#include <set>
#include <string>
#include <vector>

class CVCF1;
struct CommandContext;

// The mapping sheet of a VAT form workbook ("Zuordnung"): column A labels the
// rows, column B sums the keys of the turnover, column C the same keys with
// the suffix "_ST" for the tax. Its key names are cell addresses to a
// spreadsheet program (USN81 is a cell of column USN), so a row or column
// inserted or deleted there, or a cut, paste or fill, renames them; the
// check below finds such a sheet before a command relies on it.
namespace mapping {

inline constexpr const char* kSheetName = "Zuordnung";
// Where the sheet stands in every template, for workbooks without that name.
inline constexpr long kDefaultSheet = 4;
inline constexpr const char* kFirstLabel = "Z200";

// The mapping sheet of the loaded workbook: the sheet named "Zuordnung"; in a
// workbook without a sheet of that name, sheet 4 when it holds "Z200" in A1
// as in the templates; otherwise 0. Check confirms such a sheet 4 further.
long SheetOf(const CVCF1& form);
// Makes the mapping sheet active; a CException with the reason in the
// user's language when the workbook has none.
void Select(CVCF1& form);

// What is wrong with a workbook's mapping sheet: the sheet, the cell and why.
struct Problem {
    std::string sheet;
    std::string cell;  // "A1"; empty for the workbook as a whole
    std::string why;   // in the user's language
};

// Checks the loaded workbook's mapping sheet. A sheet that holds the label
// "Z200" comes from a template: "Z200" must stand in A1, the labels below it
// must be those of `templateLabels` (the template of its version; empty when
// unknown) in order, the tax column must name the turnover column's keys with
// "_ST", and no term may look like a cell address without naming a key of
// `knownKeys` (as IdCaseKey folds them: the mandate's and the templates'). Other sheets
// named "Zuordnung" are the user's own and only need to exist. Sheet 4 taken for
// want of the name must be the template's: without `templateLabels` to confirm it,
// it is not the mapping sheet. Nothing when all is well.
std::optional<Problem> Check(const CVCF1& form, const std::vector<std::string>& templateLabels,
                             const std::set<std::string>& knownKeys);

// The labels of the mapping sheet of the loaded workbook, from row 1 to the
// first empty one.
std::vector<std::string> Labels(const CVCF1& form);

// Reads the workbook `path` of the context's mandate and checks it against
// the template of its version and the keys of the mandate and the template
// sets: the log text naming the workbook, the sheet, the cell and what is
// wrong, or nothing. A workbook that is not there has nothing wrong.
std::optional<std::string> CheckWorkbook(CommandContext& ctx, const std::string& path);

}  // namespace mapping
