#include "workbook/Sheet.h"

#include <algorithm>
#include <cmath>

#include "base/CException.h"
#include "workbook/CellRef.h"
#include "workbook/TextRules.h"

const Cell* Sheet::Find(CellPos pos) const {
    auto it = cells_.find(pos);
    return it == cells_.end() ? nullptr : &it->second;
}

namespace {

void RequireStorable(const Cell& cell) {
    switch (cell.kind) {
    case Cell::Kind::Text:
        textrules::RequireCellText(cell.text, "cell text");
        break;
    case Cell::Kind::Number:
        if (!std::isfinite(cell.number)) throw CInvalidArgException("cell number is not finite");
        break;
    case Cell::Kind::Formula:
        if (cell.text.empty()) throw CInvalidArgException("formula is empty");
        textrules::RequireXmlSafeText(cell.text, "formula");
        if (cell.cached == Cell::Cached::Text) textrules::RequireCellText(cell.cachedText, "formula result");
        if (cell.cached == Cell::Cached::Number && !std::isfinite(cell.number))
            throw CInvalidArgException("formula result is not finite");
        break;
    case Cell::Kind::Empty:
        break;
    }
}

}  // namespace

void Sheet::Put(CellPos pos, Cell cell) {
    RequireStorable(cell);
    if (cell.kind == Cell::Kind::Empty)
        cells_.erase(pos);
    else
        cells_[pos] = std::move(cell);
}

long Sheet::LastRow() const { return cells_.empty() ? 0 : cells_.rbegin()->first.row; }

long Sheet::LastCol() const {
    long last = 0;
    for (const auto& [pos, cell] : cells_) last = std::max(last, pos.col);
    return last;
}

int Sheet::Format(CellPos pos) const {
    auto it = formats_.find(pos);
    return it == formats_.end() ? 0 : it->second;
}

void Sheet::SetFormat(CellPos pos, int format) {
    if (format < 0) throw CInvalidArgException("cell format " + std::to_string(format) + " is negative");
    if (format == 0)
        formats_.erase(pos);
    else
        formats_[pos] = format;
}

bool Sheet::operator==(const Sheet& other) const {
    return name_ == other.name_ && cells_ == other.cells_ && formats_ == other.formats_ && view_ == other.view_ &&
           selection_ == other.selection_;
}

void Sheet::SetSelection(std::string selection) {
    if (!cellref::IsSelection(selection))
        throw CInvalidArgException("selection \"" + selection +
                                   "\" is not a cell or range such as A1 or B2:C3");
    selection_ = std::move(selection);
}
