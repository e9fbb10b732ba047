// The extend, rename and delete passes over the mapping sheet ("Zuordnung") of a
// form workbook: column 1 labels the row, columns 2 and 3 hold its key-sum
// formulas; the scan ends at the first row with an empty label.
#include <array>

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

void FillSuperNames(std::vector<std::string>& names) {
    names.clear();
    for (const char* name : {"II_7_a", "II_7_b", "II_7_c", "II_7_d", "II_7_e", "II_9"}) names.emplace_back(name);
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

void MwstFormulaUpdater::ExtendTaxid(const std::vector<std::string>* first,
                                     const std::vector<std::string>* second) {
    const std::vector<std::string>& oldIds = OrEmpty(first);
    const std::vector<std::string>& newIds = OrEmpty(second);
    RequireAligned(oldIds, newIds);

    std::vector<std::string> appPairs, globalOld, globalNew;
    if (m_applicationPairs) m_applicationPairs(appPairs);
    keypair::SplitAll(appPairs, globalOld, globalNew);

    std::vector<std::string> superNames;
    FillSuperNames(superNames);
    std::vector<Formulas> base(superNames.size());

    MappingSheetFrame frame(m_mwstform);
    // First scan: super rows get the caller's keys, every other row the
    // application's pairs. A super row's formulas before the pass are its base.
    ForEachRow(m_mwstform, [&](long row, const std::string& label) {
        const int super = SuperIndex(superNames, label);
        const bool isSuper = super >= 0;
        if (isSuper)
            base[static_cast<std::size_t>(super)] = {m_mwstform.GetFormulaRC(row, kFormulaCols[0]),
                                                     m_mwstform.GetFormulaRC(row, kFormulaCols[1])};
        const std::vector<std::string>& from = isSuper ? oldIds : globalOld;
        const std::vector<std::string>& to = isSuper ? newIds : globalNew;
        for (std::size_t k = 0; k < from.size(); ++k)
            RewriteRow(m_mwstform, row, [&](const std::string& f) { return ExtendFormel(f, from[k], to[k]); });
    });

    if (m_pAllNames) {
        // Each _spez row gets its super row's formulas as they were, old keys
        // renamed to new ones; renames pile up in list order.
        std::vector<std::string> pairOld, pairNew;
        keypair::SplitAll(*m_pAllNames, pairOld, pairNew);
        for (Formulas& formulas : base)
            for (std::size_t k = 0; k < pairOld.size(); ++k)
                for (std::string& f : formulas) f = RenameFormel(f, pairOld[k], pairNew[k]);
        ForEachRow(m_mwstform, [&](long row, const std::string& label) {
            const int spez = SpezIndex(superNames, label);
            if (spez < 0) return;
            for (std::size_t c = 0; c < kFormulaCols.size(); ++c)
                WriteCell(m_mwstform, row, kFormulaCols[c], base[static_cast<std::size_t>(spez)][c]);
        });
    }
    frame.Restore();
}

// Undoing an extend pass: the keys handed in do not matter, the pass removes
// the new keys of the application pair list that no longer exist and empties
// the special rows. After keys were removed while the 2024 form is active it
// removes just the keys handed in: deriving new keys from the keys still in
// use would take exactly the new keys out of the formulas that the 2024 form
// needs, and its special rows are the form's own.
void MwstFormulaUpdater::DeleteTaxid(const std::vector<std::string>* keys) {
    if (m_removeGivenKeys) {
        MappingSheetFrame frame(m_mwstform);
        ForEachRow(m_mwstform, [&](long row, const std::string&) {
            for (const std::string& key : OrEmpty(keys))
                RewriteRow(m_mwstform, row, [&](const std::string& f) { return DeleteTaxidFormel(f, key); });
        });
        frame.Restore();
        return;
    }
    std::vector<std::string> appPairs, globalOld, globalNew;
    if (m_applicationPairs) m_applicationPairs(appPairs);
    keypair::SplitAll(appPairs, globalOld, globalNew);
    std::set<std::string> existing;
    if (m_existingKeys) m_existingKeys(existing);
    std::erase_if(globalNew, [&](const std::string& id) { return existing.count(id) > 0; });

    std::vector<std::string> superNames;
    FillSuperNames(superNames);

    MappingSheetFrame frame(m_mwstform);
    ForEachRow(m_mwstform, [&](long row, const std::string& label) {
        if (SpezIndex(superNames, label) >= 0) {
            for (long col : kFormulaCols) m_mwstform.SetNumberRC(row, col, 0.0);
            return;
        }
        for (const std::string& newId : globalNew)
            RewriteRow(m_mwstform, row, [&](const std::string& f) { return DeleteTaxidFormel(f, newId); });
    });
    frame.Restore();
}
