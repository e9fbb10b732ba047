#include "forms/MappingSheet.h"

#include <filesystem>
#include <memory>
#include <string_view>

#include "base/CException.h"
#include "base/Format.h"
#include "core/CommandContext.h"
#include "core/Strings.h"
#include "forms/TemplateSheets.h"
#include "templates/TemplateSet.h"
#include "workbook/CVCF1.h"
#include "workbook/CellRef.h"
#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "res/Resource.h"
#include "rules/ConversionRules.h"

namespace mapping {
namespace {

constexpr long kLabelCol = 1;
constexpr long kTurnoverCol = 2;
constexpr long kTaxCol = 3;
constexpr int kFormulaCell = 3;
constexpr std::string_view kTaxSuffix = "_ST";
// Where "Z200" is looked for when it is not in A1: a few columns, the rows of a sheet.
constexpr long kSearchedCols = 6;

std::string Cell(long row, long col) { return cellref::Format(CellPos{row, col}); }

// The key parts of a key-sum formula's terms (before each term's first "_"),
// with the suffix of each.
std::vector<std::pair<std::string, std::string>> Terms(const std::string& formula) {
    std::vector<std::pair<std::string, std::string>> terms;
    std::size_t start = 0;
    for (;;) {
        const std::size_t plus = formula.find('+', start);
        const std::string term = formula.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        const std::size_t underscore = term.find('_');
        terms.emplace_back(term.substr(0, underscore),
                           underscore == std::string::npos ? std::string() : term.substr(underscore));
        if (plus == std::string::npos) return terms;
        start = plus + 1;
    }
}

std::string Formula(const CVCF1& form, long row, long col) {
    return form.GetTypeRC(row, col) == kFormulaCell ? form.GetFormulaRC(row, col) : std::string();
}

bool LooksLikeCell(const std::string& key) { return !key.empty() && key.front() != '$' && cellref::Parse(key); }

// Where "Z200" stands on the active sheet, if anywhere near the labels.
std::optional<CellPos> FindFirstLabel(const CVCF1& form) {
    const long lastRow = form.GetLastRow();
    for (long row = 1; row <= lastRow; ++row)
        for (long col = 1; col <= kSearchedCols; ++col)
            if (form.GetTypeRC(row, col) == 1 && form.GetTextRC(row, col) == kFirstLabel) return CellPos{row, col};
    return std::nullopt;
}

std::optional<std::string> CheckLabels(const CVCF1& form, const std::vector<std::string>& expected, long& cellRow) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const long row = static_cast<long>(i) + 1;
        const std::string found = form.GetTextRC(row, kLabelCol);
        if (found == expected[i]) continue;
        cellRow = row;
        return Format(LoadString(IDS_MAPPING_LABEL), expected[i], found);
    }
    return std::nullopt;
}

// The tax column names the turnover column's keys, each with "_ST".
std::optional<std::string> CheckColumns(const CVCF1& form, long row, long& col) {
    const std::string turnover = Formula(form, row, kTurnoverCol), tax = Formula(form, row, kTaxCol);
    if (tax.empty()) return std::nullopt;
    std::set<std::string> turnoverKeys, taxKeys;
    for (const auto& [key, suffix] : Terms(turnover)) turnoverKeys.insert(IdCaseKey(key));
    for (const auto& [key, suffix] : Terms(tax)) {
        // A spreadsheet program may have written the suffix in lower case.
        if (!IdCaseKey(suffix).starts_with(IdCaseKey(std::string(kTaxSuffix)))) {
            col = kTaxCol;
            return Format(LoadString(IDS_MAPPING_TAX_SUFFIX), key + suffix);
        }
        taxKeys.insert(IdCaseKey(key));
    }
    if (turnoverKeys == taxKeys) return std::nullopt;
    col = kTaxCol;
    return LoadString(IDS_MAPPING_COLUMNS_DIFFER);
}

std::optional<std::string> CheckTerms(const CVCF1& form, long row, const std::set<std::string>& knownKeys, long& col) {
    for (long c : {kTurnoverCol, kTaxCol}) {
        for (const auto& [key, suffix] : Terms(Formula(form, row, c))) {
            if (!LooksLikeCell(key) || knownKeys.count(IdCaseKey(key))) continue;
            col = c;
            return Format(LoadString(IDS_MAPPING_UNKNOWN_KEY), key);
        }
    }
    return std::nullopt;
}

// The template step whose mandate file is `path`'s name, in any letter case.
const MwstTemplateStep* StepOf(const std::string& path) {
    const std::string name = IdCaseKey(std::filesystem::path(path).filename().string());
    for (const MwstTemplateStep& step : MwstTemplateSteps())
        if (step.formUpdate && IdCaseKey(step.mandateFile) == name) return &step;
    return nullptr;
}

// Reads `path` into `form`; false when it is not there or cannot be read.
bool ReadQuietly(const std::string& path, CVCF1& form) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    try {
        short type = 0;
        form.Read(path, type);
        return true;
    } catch (const CException&) {
        return false;
    }
}

TemplateSheet ReadTemplateSheet(const std::string& path) {
    TemplateSheet sheet;
    CVCF1 form;
    if (!ReadQuietly(path, form) || !SheetOf(form)) return sheet;
    form.SetSheet(SheetOf(form));
    sheet.labels = Labels(form);
    const long lastRow = form.GetLastRow();
    for (long row = 1; row <= lastRow; ++row)
        for (long col : {kTurnoverCol, kTaxCol})
            for (const auto& [key, suffix] : Terms(Formula(form, row, col))) sheet.keys.insert(IdCaseKey(key));
    return sheet;
}

// The mapping sheet of the template `path`: from the run's sheets when the
// context has them, else read now.
std::shared_ptr<const TemplateSheet> TemplateSheetOf(const CommandContext& ctx, const std::string& path) {
    if (ctx.templateSheets) return ctx.templateSheets->Of(path, ReadTemplateSheet);
    return std::make_shared<const TemplateSheet>(ReadTemplateSheet(path));
}

// The keys every template of both years names, upper case.
void AddTemplateKeys(const CommandContext& ctx, std::set<std::string>& keys) {
    for (int year : {2018, 2024})
        for (const MwstTemplateStep& step : MwstTemplateSteps())
            if (step.formUpdate) {
                const std::shared_ptr<const TemplateSheet> sheet = TemplateSheetOf(ctx, MwstTemplatePath(step, year));
                keys.insert(sheet->keys.begin(), sheet->keys.end());
            }
}

void AddMandateKeys(Mandate& mandate, std::set<std::string>& keys) {
    BFile file(&mandate);
    if (file.Open(mandate.GetTaxName(), BFile::kModeReadOnly) != pendra::kOk) return;
    Tax key(&mandate);
    key.UseFile(&file);
    for (int status = key.ReadFirst(); status == pendra::kOk; status = key.ReadNext()) keys.insert(IdCaseKey(key.GetId()));
}

std::string NoSheetText() {
    return Format(LoadString(IDS_MAPPING_NO_SHEET), std::string(kSheetName), kDefaultSheet, kFirstLabel);
}

unsigned VersionOf(const CVCF1& form) {
    try {
        return static_cast<unsigned>(std::stoul(form.GetDefinedName("VERSION")));
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace

long SheetOf(const CVCF1& form) {
    const long sheets = form.GetNumSheets();
    for (long sheet = 1; sheet <= sheets; ++sheet)
        if (form.GetSheetName(sheet) == kSheetName) return sheet;
    // Without the name only the template's first label tells the sheet: a
    // sheet renamed, moved or deleted leaves another sheet at the place,
    // which a pass must never take for the mapping sheet.
    if (sheets < kDefaultSheet) return 0;
    CVCF1& editable = const_cast<CVCF1&>(form);
    const long active = editable.GetSheet();
    editable.SetSheet(kDefaultSheet);
    const bool templateSheet =
        editable.GetTypeRC(1, kLabelCol) == 1 && editable.GetTextRC(1, kLabelCol) == kFirstLabel;
    editable.SetSheet(active);
    return templateSheet ? kDefaultSheet : 0;
}

void Select(CVCF1& form) {
    const long sheet = SheetOf(form);
    if (sheet == 0) throw CInvalidArgException(NoSheetText());
    form.SetSheet(sheet);
}

std::vector<std::string> Labels(const CVCF1& form) {
    std::vector<std::string> labels;
    for (long row = 1; row <= CVCF1::kMaxRow; ++row) {
        std::string label = form.GetTextRC(row, kLabelCol);
        if (label.empty()) break;
        labels.push_back(std::move(label));
    }
    return labels;
}

std::optional<Problem> Check(const CVCF1& constForm, const std::vector<std::string>& templateLabels,
                             const std::set<std::string>& knownKeys) {
    const long sheet = SheetOf(constForm);
    if (sheet == 0) return Problem{kSheetName, {}, NoSheetText()};
    // The control keeps the active sheet per workbook; the caller's stays as it was.
    CVCF1& form = const_cast<CVCF1&>(constForm);
    const long active = form.GetSheet();
    form.SetSheet(sheet);
    const std::string name = form.GetSheetName(sheet);
    std::optional<Problem> problem;
    const std::optional<CellPos> first = FindFirstLabel(form);
    // A sheet found by its place alone is the mapping sheet only when the
    // template of its version confirms its labels; without that template
    // nothing does.
    if (name != kSheetName && templateLabels.empty()) {
        problem = Problem{kSheetName, {}, NoSheetText()};
    } else if (first && (first->row != 1 || first->col != kLabelCol)) {
        problem = Problem{name, Cell(first->row, first->col),
                          Format(LoadString(IDS_MAPPING_MOVED), std::string(kFirstLabel))};
    } else if (first) {
        long row = 0;
        if (auto why = CheckLabels(form, templateLabels, row)) problem = Problem{name, Cell(row, kLabelCol), *why};
        const long rows = static_cast<long>(Labels(form).size());
        for (long r = 1; !problem && r <= rows; ++r) {
            long col = 0;
            if (auto why = CheckColumns(form, r, col)) problem = Problem{name, Cell(r, col), *why};
            else if (auto unknown = CheckTerms(form, r, knownKeys, col)) problem = Problem{name, Cell(r, col), *unknown};
        }
    }
    form.SetSheet(active);
    return problem;
}

std::optional<std::string> CheckWorkbook(CommandContext& ctx, const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) return std::nullopt;
    CVCF1 form;
    try {
        short type = 0;
        form.Read(path, type);
    } catch (const CException& e) {
        return Format(LoadString(IDS_MAPPING_UNREADABLE), path, std::string(e.what()));
    }
    std::vector<std::string> templateLabels;
    if (const MwstTemplateStep* step = StepOf(path))
        if (const unsigned version = VersionOf(form); version != 0)
            templateLabels = TemplateSheetOf(ctx, MwstTemplatePath(*step, static_cast<int>(version)))->labels;
    std::set<std::string> keys;
    AddTemplateKeys(ctx, keys);
    AddMandateKeys(ctx.mandate, keys);
    const std::optional<Problem> problem = Check(form, templateLabels, keys);
    if (!problem) return std::nullopt;
    if (problem->cell.empty()) return Format(LoadString(IDS_MAPPING_PROBLEM_WORKBOOK), path, problem->why);
    return Format(LoadString(IDS_MAPPING_PROBLEM), path, problem->sheet, problem->cell, problem->why);
}

}  // namespace mapping
