#pragma once
#include <memory>
#include <string>

class Sheet;
class Workbook;
enum class ViewProp;

// The spreadsheet control: one workbook in memory, read from and written to
// ".VTS" files stored as Office Open XML spreadsheet packages (LibreOffice opens
// them). Rows, columns and sheets count from 1; cell and property operations act
// on the active sheet. Every failure throws a CException (CFileException for
// files, CInvalidArgException for bad rows, columns and sheets).
//
// File types reported by Read and taken by Write:
//   kFileTypeOoxml (1)  an Office Open XML package, the only type written.
// Formula text is kept exactly as set (no leading "="), defined names as defined.
class CVCF1 {
public:
    static constexpr short kFileTypeOoxml = 1;
    static constexpr long kMaxRow = 1048576;
    static constexpr long kMaxCol = 16384;

    CVCF1();
    ~CVCF1();
    CVCF1(const CVCF1&) = delete;
    CVCF1& operator=(const CVCF1&) = delete;

    void Read(const std::string& path, short& fileType);
    void Write(const std::string& path, short fileType);

    long GetSheet() const;
    void SetSheet(long sheet);
    long GetNumSheets() const;
    void SetNumSheets(long count);  // a new workbook starts with four sheets
    std::string GetSheetName(long sheet) const;
    void SetSheetName(long sheet, const std::string& name);

    // The active sheet's selection, e.g. "A1" or "B2:C3" (ranges separated by
    // blanks or commas); a new sheet has "A1".
    std::string GetSelection() const;
    void SetSelection(const std::string& selection);

    // Displayed text: a text cell's text, a number as "%.15g", a formula's cached
    // result (empty when none is stored). Empty for an empty cell.
    std::string GetTextRC(long row, long col) const;
    // Stores the text as text, never interpreted; "" empties the cell.
    void SetTextRC(long row, long col, const std::string& text);
    // Formula text as entered, without "="; empty for a cell without formula.
    std::string GetFormulaRC(long row, long col) const;
    // Stores the formula text byte for byte, not parsed; "" empties the cell.
    void SetFormulaRC(long row, long col, const std::string& formula);
    void SetNumberRC(long row, long col, double value);
    void ClearRC(long row, long col);
    // The cell's kind: 0 empty, 1 text, 2 number, 3 formula.
    int GetTypeRC(long row, long col) const;
    // A number cell's value or a formula's numeric result; 0 otherwise.
    double GetNumberRC(long row, long col) const;
    long GetLastRow() const;  // 0 for an empty sheet
    long GetLastCol() const;

    // Workbook-level defined names. Get of a missing name throws CInvalidArgException.
    std::string GetDefinedName(const std::string& name) const;
    void SetDefinedName(const std::string& name, const std::string& definition);
    bool HasDefinedName(const std::string& name) const;

    // View properties of the active sheet, stored in the file.
    void SetAllowDesigner(bool v);
    void SetShowGridLines(bool v);
    void SetShowRowHeading(bool v);
    void SetShowSelections(short v);
    void SetAllowResize(bool v);
    void SetAllowSelections(bool v);
    void SetAllowInCellEditing(bool v);
    void SetAllowFillRange(bool v);
    void SetAllowMoveRange(bool v);
    void SetPrintNoColor(bool v);
    void SetShowColHeading(bool v);
    void SetAllowArrows(bool v);
    void SetAllowTabs(bool v);
    void SetRowMode(bool v);
    void SetAllowDelete(bool v);
    void SetAllowEditHeaders(bool v);
    void SetShowFormulas(bool v);
    void SetShowZeroValues(bool v);
    void SetShowTabs(short v);
    void SetShowEditBar(bool v);
    // The active sheet's structure protection (Sheet::StructureProtected).
    void SetProtectStructure(bool v);
    bool GetProtectStructure() const;
    void SetAllowAutoFill(bool v);

    // Read access to the view properties of the active sheet, by property name
    // as above ("ShowGridLines"); CInvalidArgException for an unknown name.
    int GetViewProperty(const std::string& name) const;

    Workbook& GetWorkbook();
    const Workbook& GetWorkbook() const;

private:
    Sheet& Active();
    const Sheet& Active() const;
    void SetView(ViewProp prop, int value);

    std::unique_ptr<Workbook> workbook_;
};
