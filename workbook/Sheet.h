#pragma once
#include <map>
#include <memory>
#include <string>

#include "workbook/Cell.h"
#include "workbook/ViewProperties.h"

// What a sheet keeps of the worksheet part it was read from, or of the layout
// it was built with: the part itself, whose column widths, row heights, merged
// cells, print settings and whatever else the model does not hold are written
// back as they were, and the cells as they were read, so that a cell nobody
// changed goes back into the file exactly as it came.
struct SheetOrigin {
    std::string part;   // zip entry it was read from; empty for a built layout
    std::string relId;  // the workbook's relationship to that part
    std::string xml;    // the worksheet part (or the layout's skeleton)
    std::map<CellPos, Cell> cells;  // as read
};

// One worksheet: its name, its non-empty cells, the format of each cell, its
// view properties and the selection shown on it. The name is checked by the
// Workbook, which knows the other sheets' names.
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

    // A cell's format: an index into the workbook's cell formats (0 is the
    // default). Kept apart from the content: an empty cell may carry a format,
    // and a cell whose content changes keeps its format.
    int Format(CellPos pos) const;
    // CInvalidArgException for a negative index; 0 removes the entry.
    void SetFormat(CellPos pos, int format);
    const std::map<CellPos, int>& Formats() const { return formats_; }

    // nullptr for a sheet that was neither read from a file nor given a layout.
    const SheetOrigin* Origin() const { return origin_.get(); }
    void SetOrigin(std::shared_ptr<const SheetOrigin> origin) { origin_ = std::move(origin); }

    ViewProperties& View() { return view_; }
    const ViewProperties& View() const { return view_; }

    // Protected against inserting and deleting rows and columns (sorting too),
    // without a password; cells may still be edited and formatted. Written as
    // the sheet's protection, read back from it.
    bool StructureProtected() const { return structureProtected_; }
    void SetStructureProtected(bool on) { structureProtected_ = on; }

    const std::string& Selection() const { return selection_; }
    // CInvalidArgException unless it is a selection text such as "A1" or "B2:C3".
    void SetSelection(std::string selection);

    // The modelled content: name, cells, formats, view and selection; what the
    // origin keeps beside them is not compared.
    bool operator==(const Sheet& other) const;

private:
    friend class Workbook;
    std::string name_;
    std::map<CellPos, Cell> cells_;
    std::map<CellPos, int> formats_;
    ViewProperties view_;
    std::string selection_ = "A1";
    bool structureProtected_ = false;
    std::shared_ptr<const SheetOrigin> origin_;
};
