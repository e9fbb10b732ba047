// The extend, rename and delete passes over the mapping sheet ("Zuordnung") of a
// form workbook: column 1 labels the row, columns 2 and 3 hold its key-sum
// formulas; the scan ends at the first row with an empty label.
#include <algorithm>
#include <array>
#include <set>

#include "base/CException.h"
#include "formula/KeyPair.h"
#include "forms/MappingSheet.h"
#include "forms/MwstFormulaUpdater.h"

namespace {

constexpr long kLabelCol = 1;
constexpr std::array<long, 2> kFormulaCols = {2, 3};
constexpr const char* kSpezSuffix = "_spez";

using Formulas = std::array<std::string, 2>;  // columns 2 and 3

// Remembers the active sheet and selection, selects the mapping sheet, and
// puts both back when the pass is done.
class MappingSheetFrame {
public:
    explicit MappingSheetFrame(CVCF1& form)
        : form_(form), sheet_(form.GetSheet()), selection_(form.GetSelection()) {
        mapping::Select(form_);
    }
    void Restore() {
        form_.SetSheet(sheet_);
        form_.SetSelection(selection_);
    }

private:
    CVCF1& form_;
    long sheet_;
    std::string selection_;
};

template <class Visit>
void ForEachRow(CVCF1& form, Visit visit) {
    for (long row = 1; row <= CVCF1::kMaxRow; ++row) {
        const std::string label = form.GetTextRC(row, kLabelCol);
        if (label.empty()) return;
        visit(row, label);
    }
}

// Index of the super name the label equals, or -1.
int SuperIndex(const std::vector<std::string>& superNames, const std::string& label) {
    for (std::size_t i = 0; i < superNames.size(); ++i)
        if (label == superNames[i]) return static_cast<int>(i);
    return -1;
}

int SpezIndex(const std::vector<std::string>& superNames, const std::string& label) {
    for (std::size_t i = 0; i < superNames.size(); ++i)
        if (label == superNames[i] + kSpezSuffix) return static_cast<int>(i);
    return -1;
}

// The cell write rule: a non-empty result is the cell's formula, an empty one
// the number 0.
void WriteCell(CVCF1& form, long row, long col, const std::string& formula) {
    if (formula.empty())
        form.SetNumberRC(row, col, 0.0);
    else
        form.SetFormulaRC(row, col, formula);
}

// Whether the cell already holds what the write rule would write.
bool Holds(const CVCF1& form, long row, long col, const std::string& formula) {
    if (formula.empty()) return form.GetTypeRC(row, col) == 2 && form.GetNumberRC(row, col) == 0.0;
    return form.GetTypeRC(row, col) == 3 && form.GetFormulaRC(row, col) == formula;
}

// Only formula cells and empty cells carry key sums; a constant (number or
// text) is never turned into a formula or into 0.
bool HoldsKeySum(const CVCF1& form, long row, long col) {
    const int type = form.GetTypeRC(row, col);
    return type == 0 || type == 3;
}

// Rewrites column 2, then column 3, each read afresh.
template <class Rewrite>
void RewriteRow(CVCF1& form, long row, Rewrite rewrite) {
    for (long col : kFormulaCols) {
        if (!HoldsKeySum(form, row, col)) continue;
        WriteCell(form, row, col, rewrite(form.GetFormulaRC(row, col)));
    }
}

// `formula` with only the terms whose key is one of `keys`; brackets and
// other syntax count as terms of their own and go too.
std::string KeepKeys(const std::string& formula, const std::set<std::string>& keys) {
    std::string kept;
    std::size_t start = 0;
    while (start <= formula.size()) {
        std::size_t plus = formula.find('+', start);
        if (plus == std::string::npos) plus = formula.size();
        const std::string term = formula.substr(start, plus - start);
        if (keys.count(term.substr(0, term.find('_')))) kept += (kept.empty() ? "" : "+") + term;
        start = plus + 1;
    }
    return kept;
}

const std::vector<std::string>& OrEmpty(const std::vector<std::string>* list) {
    static const std::vector<std::string> empty;
    return list ? *list : empty;
}

// Every old key needs its new key; a shorter second list is the caller's error.
void RequireAligned(const std::vector<std::string>& first, const std::vector<std::string>& second) {
    if (second.size() < first.size())
        throw CInvalidArgException("the new key list has " + std::to_string(second.size()) +
                                   " entries for " + std::to_string(first.size()) + " old keys");
}

}  // namespace

// The rows of the amounts at the rates before the change whose `_spez` row
// holds the same sums at the new rates: the input tax rows and the turnover
// rows of the three rate classes.
void FillSuperNames(std::vector<std::string>& names) {
    names.clear();
    for (const char* name : {"II_7_a", "II_7_b", "II_7_c", "II_7_d", "II_7_e", "II_9", "Z302", "Z312", "Z342"})
        names.emplace_back(name);
}

void MwstFormulaUpdater::RenameTaxid(const std::vector<std::string>* first,
                                     const std::vector<std::string>* second) {
    const std::vector<std::string>& oldIds = OrEmpty(first);
    const std::vector<std::string>& newIds = OrEmpty(second);
    RequireAligned(oldIds, newIds);
    MappingSheetFrame frame(m_mwstform);
    ForEachRow(m_mwstform, [&](long row, const std::string&) {
        for (std::size_t k = 0; k < oldIds.size(); ++k)
            RewriteRow(m_mwstform, row, [&](const std::string& f) { return RenameFormel(f, oldIds[k], newIds[k]); });
    });
    frame.Restore();
}

// A form adds a super row and its `_spez` row into the same figure (400 sums
// the input tax at the rates until 2023 and at the new ones), so a key may
// stand in one of them only: the super row keeps the keys at the rates before
// the change and gives up their new keys, the `_spez` row gets exactly those
// new keys. That holds whichever keys the command inserted this time, also
// for a new key that existed before and for a sheet an earlier pass left
// with new keys in both rows. A super row without a `_spez` row on the sheet
// (or a pass without a pair list) has nowhere to hand its new keys on, so it
// is extended like every other row. The caller's own key lists name what it
// announces; the sheet takes every pair of the mandate.
void MwstFormulaUpdater::ExtendTaxid(const std::vector<std::string>* first,
                                     const std::vector<std::string>* second) {
    RequireAligned(OrEmpty(first), OrEmpty(second));

    std::vector<std::string> appPairs, globalOld, globalNew;
    if (m_applicationPairs) m_applicationPairs(appPairs);
    keypair::SplitAll(appPairs, globalOld, globalNew);
    std::vector<std::string> pairOld, pairNew;
    if (m_pAllNames) keypair::SplitAll(*m_pAllNames, pairOld, pairNew);
    // The pair list names the keys the insertion converts; the application's
    // pairs also name keys the rules leave alone, whose new ids never exist,
    // and leave out keys whose automatic account is missing: every other row
    // takes both, so that no new key is missing where its old key stands.
    const std::set<std::string> newKeys(pairNew.begin(), pairNew.end());
    for (std::size_t k = 0; k < pairOld.size(); ++k)
        if (std::find(globalNew.begin(), globalNew.end(), pairNew[k]) == globalNew.end()) {
            globalOld.push_back(pairOld[k]);
            globalNew.push_back(pairNew[k]);
        }

    std::vector<std::string> superNames;
    FillSuperNames(superNames);
    std::vector<Formulas> base(superNames.size());
    std::vector<bool> split(superNames.size(), false);

    MappingSheetFrame frame(m_mwstform);
    if (m_pAllNames)
        ForEachRow(m_mwstform, [&](long, const std::string& label) {
            if (const int spez = SpezIndex(superNames, label); spez >= 0) split[static_cast<std::size_t>(spez)] = true;
        });
    ForEachRow(m_mwstform, [&](long row, const std::string& label) {
        const int super = SuperIndex(superNames, label);
        if (super >= 0) {
            const auto index = static_cast<std::size_t>(super);
            base[index] = {m_mwstform.GetFormulaRC(row, kFormulaCols[0]), m_mwstform.GetFormulaRC(row, kFormulaCols[1])};
            if (split[index]) {
                for (const std::string& id : newKeys)
                    RewriteRow(m_mwstform, row, [&](const std::string& f) { return DeleteTaxidFormel(f, id); });
                return;
            }
        }
        for (std::size_t k = 0; k < globalOld.size(); ++k)
            RewriteRow(m_mwstform, row,
                       [&](const std::string& f) { return ExtendFormel(f, globalOld[k], globalNew[k]); });
    });

    if (m_pAllNames) {
        // Each _spez row gets its super row's formulas as they were, old keys
        // renamed to new ones (renames pile up in list order); a key that is
        // not converted stays in the super row only.
        for (Formulas& formulas : base)
            for (std::string& f : formulas) {
                for (std::size_t k = 0; k < pairOld.size(); ++k) f = RenameFormel(f, pairOld[k], pairNew[k]);
                f = KeepKeys(f, newKeys);
            }
        ForEachRow(m_mwstform, [&](long row, const std::string& label) {
            const int spez = SpezIndex(superNames, label);
            if (spez < 0) return;
            for (std::size_t c = 0; c < kFormulaCols.size(); ++c) {
                const std::string& wanted = base[static_cast<std::size_t>(spez)][c];
                // A row that changes is a change to save, whether or not a key matched.
                if (!Holds(m_mwstform, row, kFormulaCols[c], wanted)) *m_pChangeFlag = 1;
                WriteCell(m_mwstform, row, kFormulaCols[c], wanted);
            }
        });
    }
    frame.Restore();
}

// Undoing an extend pass: the keys handed in do not matter, the pass removes
// the new keys of the application pair list and the keys the command says it
// deleted (second list) that no longer exist, from every row, `_spez` rows included; a new key the removal kept (still booked) stays
// where the form counts it, and a row left without keys becomes 0. After keys
// were removed while the 2024 form is active it removes just the keys handed
// in: deriving new keys from the keys still in use would take exactly the new
// keys out of the formulas that the 2024 form needs.
void MwstFormulaUpdater::DeleteTaxid(const std::vector<std::string>* keys) {
    std::vector<std::string> gone;
    if (m_removeGivenKeys) {
        gone = OrEmpty(keys);
    } else {
        std::vector<std::string> appPairs, globalOld;
        if (m_applicationPairs) m_applicationPairs(appPairs);
        keypair::SplitAll(appPairs, globalOld, gone);
        for (const std::string& id : OrEmpty(m_pSecondArray))
            if (std::find(gone.begin(), gone.end(), id) == gone.end()) gone.push_back(id);
        std::set<std::string> existing;
        if (m_existingKeys) m_existingKeys(existing);
        std::erase_if(gone, [&](const std::string& id) { return existing.count(id) > 0; });
    }
    MappingSheetFrame frame(m_mwstform);
    ForEachRow(m_mwstform, [&](long row, const std::string&) {
        for (const std::string& id : gone)
            RewriteRow(m_mwstform, row, [&](const std::string& f) { return DeleteTaxidFormel(f, id); });
    });
    frame.Restore();
}
