#include "forms/KeyCase.h"

#include <string_view>

#include "formula/KeyPair.h"
#include "forms/MappingSheet.h"
#include "forms/MwstFormulaUpdater.h"
#include "workbook/CVCF1.h"
#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "rules/ConversionRules.h"
#include "rules/ConvertTable.h"

namespace {

constexpr long kLabelCol = 1;
constexpr long kFormulaCols[] = {2, 3};
constexpr int kFormulaCell = 3;

}  // namespace

void KeySpelling::Add(const std::string& id) {
    if (!id.empty()) byFolded_.emplace(IdCaseKey(id), id);
}

void KeySpelling::AddPairs(const std::vector<std::string>& pairs) {
    for (const std::string& pair : pairs) {
        std::string oldId, newId;
        if (!keypair::Split(pair, oldId, newId)) continue;
        Add(oldId);
        Add(newId);
    }
}

const std::string* KeySpelling::Find(const std::string& key) const {
    auto it = byFolded_.find(IdCaseKey(key));
    return it == byFolded_.end() ? nullptr : &it->second;
}

namespace {

bool HasAsciiLower(std::string_view text) {
    for (char c : text)
        if (c >= 'a' && c <= 'z') return true;
    return false;
}

bool HasAsciiUpper(std::string_view text) {
    for (char c : text)
        if (c >= 'A' && c <= 'Z') return true;
    return false;
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

// Terms are split as the formula text engine splits them: at each "+", the
// key part up to the first "_".
std::string MatchKeyCase(const std::string& formula, const KeySpelling& ids) {
    std::string out;
    out.reserve(formula.size());
    std::size_t start = 0;
    while (true) {
        const std::size_t plus = formula.find('+', start);
        const std::string_view term =
            std::string_view(formula).substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        const std::size_t underscore = term.find('_');
        const std::string_view key = term.substr(0, underscore);
        const std::string_view suffix = underscore == std::string_view::npos ? std::string_view() : term.substr(underscore);
        const std::string* spelling = key.empty() ? nullptr : ids.Find(std::string(key));
        if (spelling && *spelling != key) {
            out += *spelling;
            // A program that wrote an upper-case id in lower case did so with
            // the whole name: "usn81_st" was "USN81_ST". Names compare without
            // regard to case in every spreadsheet, so this changes no meaning.
            const bool lowered = !HasAsciiUpper(term) && HasAsciiUpper(*spelling) && !HasAsciiLower(*spelling);
            out += lowered ? AsciiUpper(suffix) : std::string(suffix);
        } else {
            out.append(term);
        }
        if (plus == std::string::npos) break;
        out += '+';
        start = plus + 1;
    }
    return out;
}

bool MatchMappingSheetKeyCase(CVCF1& form, const KeySpelling& ids) {
    if (ids.Empty() || mapping::SheetOf(form) == 0) return false;
    const long sheet = form.GetSheet();
    const std::string selection = form.GetSelection();
    form.SetSheet(mapping::SheetOf(form));
    bool changed = false;
    for (long row = 1; row <= CVCF1::kMaxRow && !form.GetTextRC(row, kLabelCol).empty(); ++row) {
        for (long col : kFormulaCols) {
            if (form.GetTypeRC(row, col) != kFormulaCell) continue;
            const std::string formula = form.GetFormulaRC(row, col);
            const std::string matched = MatchKeyCase(formula, ids);
            if (matched == formula) continue;
            form.SetFormulaRC(row, col, matched);
            changed = true;
        }
    }
    form.SetSheet(sheet);
    form.SetSelection(selection);
    return changed;
}

KeySpelling MandateKeySpelling(Mandate* mandate, const ConvertTable* table, const RateChange& change) {
    KeySpelling ids;
    if (!mandate || !mandate->IsMandantOpen()) return ids;
    BFile file(mandate);
    if (file.Open(mandate->GetTaxName(), BFile::kModeReadOnly) != pendra::kOk) return ids;
    Tax key(mandate);
    key.UseFile(&file);
    std::vector<std::string> derived;
    for (int status = key.ReadFirst(); status == pendra::kOk; status = key.ReadNext()) {
        ids.Add(key.GetId());
        stsatz satz;
        float newRate = 0;
        if (SetSatz(RateText(key.GetPercent()), satz, newRate, change))
            derived.push_back(ConvertId(key.GetId(), satz, ConvertTable::OrNone(table), change));
    }
    // A new id spelled like a key the mandate has is that key.
    for (const std::string& id : derived) ids.Add(id);
    return ids;
}

void MwstMatchKeyCase(MwstFormulaUpdater& dlg) {
    if (dlg.m_mode == MwstFormulaUpdater::kModeVersion) return;
    KeySpelling ids = MandateKeySpelling(dlg.m_mandate, dlg.m_table, OrDefault(dlg.m_change));
    for (const auto* list : {dlg.m_pFirstArray, dlg.m_pSecondArray})
        if (list)
            for (const std::string& id : *list) ids.Add(id);
    if (dlg.m_pAllNames) ids.AddPairs(*dlg.m_pAllNames);
    if (MatchMappingSheetKeyCase(dlg.m_mwstform, ids)) *dlg.m_pChangeFlag = 1;
}

void MwstMatchKeyCase(Mandate* mandate, const ConvertTable* table, const RateChange& change, CVCF1& form) {
    MatchMappingSheetKeyCase(form, MandateKeySpelling(mandate, table, change));
}
