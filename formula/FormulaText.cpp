#include "formula/FormulaText.h"

#include <set>
#include <string_view>

namespace formel {
namespace {

enum class Edit { Rename, Extend, Delete };

struct Term {
    std::string_view key;
    std::string_view suffix;  // from the first "_" on, or empty
};

Term SplitTerm(std::string_view term) {
    std::size_t underscore = term.find('_');
    if (underscore == std::string_view::npos) return {term, {}};
    return {term.substr(0, underscore), term.substr(underscore)};
}

void AppendTerm(std::string& out, std::string_view key, std::string_view suffix) {
    out.append(key);
    out.append(suffix);
    out.push_back('+');
}

// The terms of `formula` (closed by a "+") that stay as they are: every term
// for extend, the terms of other keys for rename. A term the operation would
// produce is left out when the formula has it already, so that no key is ever
// summed twice and running a conversion again changes nothing.
std::set<std::string, std::less<>> KeptTerms(std::string_view formula, Edit edit, const std::string& key) {
    std::set<std::string, std::less<>> kept;
    for (std::size_t plus = formula.find('+'); plus != std::string_view::npos; plus = formula.find('+')) {
        const std::string_view text = formula.substr(0, plus);
        if (edit == Edit::Extend || SplitTerm(text).key != key) kept.emplace(text);
        formula.remove_prefix(plus + 1);
    }
    return kept;
}

void AppendNewTerm(std::string& out, std::set<std::string, std::less<>>& present, std::string_view key,
                   std::string_view suffix) {
    std::string term(key);
    term.append(suffix);
    if (!present.insert(term).second) return;
    AppendTerm(out, key, suffix);
}

// The one scan all three operations share. The appended "+" closes the last
// term, so every term is the text before a "+"; the scan never reads its own
// output, so a new key is not treated again in the same call.
std::string Rewrite(std::string formula, Edit edit, const std::string& key, const std::string& newKey,
                    short& changeFlag) {
    formula.push_back('+');
    std::string result;
    std::string_view rest(formula);
    auto present = KeptTerms(rest, edit, key);
    for (std::size_t plus = rest.find('+'); plus != std::string_view::npos; plus = rest.find('+')) {
        Term term = SplitTerm(rest.substr(0, plus));
        rest.remove_prefix(plus + 1);
        if (term.key != key) {
            AppendTerm(result, term.key, term.suffix);
            continue;
        }
        changeFlag = 1;
        switch (edit) {
        case Edit::Rename:
            AppendNewTerm(result, present, newKey, term.suffix);
            break;
        case Edit::Extend:
            AppendTerm(result, term.key, term.suffix);
            AppendNewTerm(result, present, newKey, term.suffix);
            break;
        case Edit::Delete:
            break;
        }
    }
    if (!result.empty() && result.back() == '+') result.pop_back();
    return result;
}

}  // namespace

std::string Rename(std::string formula, const std::string& oldKey, const std::string& newKey,
                   short& changeFlag) {
    return Rewrite(std::move(formula), Edit::Rename, oldKey, newKey, changeFlag);
}

std::string Extend(std::string formula, const std::string& oldKey, const std::string& newKey,
                   short& changeFlag) {
    return Rewrite(std::move(formula), Edit::Extend, oldKey, newKey, changeFlag);
}

std::string Delete(std::string formula, const std::string& key, short& changeFlag) {
    return Rewrite(std::move(formula), Edit::Delete, key, std::string(), changeFlag);
}

}  // namespace formel
