#include "workbook/CellRef.h"

#include <vector>

#include "workbook/CVCF1.h"

namespace cellref {
namespace {

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSeparator(char c) { return c == ' ' || c == ','; }

std::optional<long> ParseRow(std::string_view digits) {
    if (digits.empty() || digits.size() > 7 || digits.front() == '0') return std::nullopt;
    long row = 0;
    for (char c : digits) {
        if (!IsDigit(c)) return std::nullopt;
        row = row * 10 + (c - '0');
    }
    if (row > CVCF1::kMaxRow) return std::nullopt;
    return row;
}

std::vector<std::string_view> SplitRanges(std::string_view selection) {
    std::vector<std::string_view> ranges;
    size_t i = 0;
    while (i < selection.size()) {
        while (i < selection.size() && IsSeparator(selection[i])) ++i;
        size_t start = i;
        while (i < selection.size() && !IsSeparator(selection[i])) ++i;
        if (i > start) ranges.push_back(selection.substr(start, i - start));
    }
    return ranges;
}

std::string WithoutDollars(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '$') out += c;
    return out;
}

bool IsRange(std::string_view range) {
    size_t colon = range.find(':');
    if (colon == std::string_view::npos) return Parse(range).has_value();
    return Parse(range.substr(0, colon)) && Parse(range.substr(colon + 1));
}

}  // namespace

std::optional<long> ParseColumn(std::string_view letters) {
    if (letters.empty() || letters.size() > 3) return std::nullopt;
    long col = 0;
    for (char c : letters) {
        if (IsLower(c)) c = static_cast<char>(c - 'a' + 'A');
        if (!IsUpper(c)) return std::nullopt;
        col = col * 26 + (c - 'A' + 1);
    }
    if (col > CVCF1::kMaxCol) return std::nullopt;
    return col;
}

std::string ColumnName(long col) {
    std::string name;
    while (col > 0) {
        long digit = (col - 1) % 26;
        name.insert(name.begin(), static_cast<char>('A' + digit));
        col = (col - 1) / 26;
    }
    return name;
}

std::optional<CellPos> Parse(std::string_view ref) {
    size_t i = 0;
    if (i < ref.size() && ref[i] == '$') ++i;
    size_t letters = i;
    while (i < ref.size() && (IsUpper(ref[i]) || IsLower(ref[i]))) ++i;
    std::string_view colText = ref.substr(letters, i - letters);
    if (i < ref.size() && ref[i] == '$') ++i;
    auto col = ParseColumn(colText);
    auto row = ParseRow(ref.substr(i));
    if (!col || !row) return std::nullopt;
    return CellPos{*row, *col};
}

std::string Format(CellPos pos) { return ColumnName(pos.col) + std::to_string(pos.row); }

bool IsSelection(std::string_view selection) {
    auto ranges = SplitRanges(selection);
    if (ranges.empty()) return false;
    for (auto range : ranges)
        if (!IsRange(range)) return false;
    return true;
}

std::string ToSqref(std::string_view selection) {
    std::string sqref;
    for (auto range : SplitRanges(selection)) {
        if (!sqref.empty()) sqref += ' ';
        sqref += WithoutDollars(range);
    }
    return sqref;
}

CellPos FirstCell(std::string_view selection) {
    auto ranges = SplitRanges(selection);
    if (ranges.empty()) return CellPos{1, 1};
    std::string_view first = ranges.front().substr(0, ranges.front().find(':'));
    return Parse(first).value_or(CellPos{1, 1});
}

}  // namespace cellref
