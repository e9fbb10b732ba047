#pragma once
#include <map>
#include <string>

#include "forms/vcf/Cell.h"
#include "forms/vcf/ViewProperties.h"

// One worksheet: its name, its non-empty cells, its view properties and the
// selection shown on it. The name is checked by the Workbook, which knows the
// other sheets' names.
class Sheet {
public:
    explicit Sheet(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }

    // nullptr for an empty cell.
    const Cell* Find(CellPos pos) const;
    // Stores the cell; an empty cell removes it. CInvalidArgException for content
    // a file cannot hold (invalid UTF-8, an empty formula, a NaN). Positions are
    // checked by the callers, which know their limits.
    void Put(CellPos pos, Cell cell);
    void Clear(CellPos pos) { cells_.erase(pos); }
    const std::map<CellPos, Cell>& Cells() const { return cells_; }
    long LastRow() const;
    long LastCol() const;

    ViewProperties& View() { return view_; }
    const ViewProperties& View() const { return view_; }

    const std::string& Selection() const { return selection_; }
    // CInvalidArgException unless it is a selection text such as "A1" or "B2:C3".
    void SetSelection(std::string selection);

    bool operator==(const Sheet&) const = default;

private:
    friend class Workbook;
    std::string name_;
    std::map<CellPos, Cell> cells_;
    ViewProperties view_;
    std::string selection_ = "A1";
};
