#include "workbook/CVCF1.h"

#include "base/CException.h"
#include "workbook/FileIo.h"
#include "workbook/NumberText.h"
#include "workbook/OoxmlReader.h"
#include "workbook/OoxmlWriter.h"
#include "workbook/Workbook.h"

namespace {

CellPos Checked(long row, long col) {
    if (row < 1 || row > CVCF1::kMaxRow)
        throw CInvalidArgException("row " + std::to_string(row) + " is out of range 1.." +
                                   std::to_string(CVCF1::kMaxRow));
    if (col < 1 || col > CVCF1::kMaxCol)
        throw CInvalidArgException("column " + std::to_string(col) + " is out of range 1.." +
                                   std::to_string(CVCF1::kMaxCol));
    return CellPos{row, col};
}

}  // namespace

CVCF1::CVCF1() : workbook_(std::make_unique<Workbook>()) {}
CVCF1::~CVCF1() = default;

void CVCF1::Read(const std::string& path, short& fileType) {
    // The current workbook stays untouched unless the whole file reads.
    Workbook loaded = ooxml::ReadPackage(fileio::ReadWholeFile(path), path);
    *workbook_ = std::move(loaded);
    fileType = kFileTypeOoxml;
}

void CVCF1::Write(const std::string& path, short fileType) {
    if (fileType != kFileTypeOoxml)
        throw CInvalidArgException("cannot write " + path + ": unknown file type " + std::to_string(fileType));
    std::string bytes = ooxml::WritePackage(*workbook_);
    try {
        fileio::ReplaceFile(path, bytes);
    } catch (const CFileException& e) {
        throw CFileException(std::string("cannot write workbook: ") + e.what());
    }
}

long CVCF1::GetSheet() const { return workbook_->ActiveSheet(); }
void CVCF1::SetSheet(long sheet) { workbook_->SetActiveSheet(sheet); }
long CVCF1::GetNumSheets() const { return workbook_->SheetCount(); }
void CVCF1::SetNumSheets(long count) { workbook_->SetSheetCount(count); }
std::string CVCF1::GetSheetName(long sheet) const { return workbook_->SheetAt(sheet).Name(); }
void CVCF1::SetSheetName(long sheet, const std::string& name) { workbook_->RenameSheet(sheet, name); }

std::string CVCF1::GetSelection() const { return Active().Selection(); }
void CVCF1::SetSelection(const std::string& selection) { Active().SetSelection(selection); }

std::string CVCF1::GetTextRC(long row, long col) const {
    const Cell* cell = Active().Find(Checked(row, col));
    if (!cell) return "";
    switch (cell->kind) {
    case Cell::Kind::Text:
        return cell->text;
    case Cell::Kind::Number:
        return numbertext::Display(cell->number);
    case Cell::Kind::Formula:
        if (cell->cached == Cell::Cached::Text) return cell->cachedText;
        if (cell->cached == Cell::Cached::Number) return numbertext::Display(cell->number);
        return "";
    case Cell::Kind::Empty:
        break;
    }
    return "";
}

void CVCF1::SetTextRC(long row, long col, const std::string& text) {
    CellPos pos = Checked(row, col);
    Active().Put(pos, text.empty() ? Cell() : Cell::MakeText(text));
}

std::string CVCF1::GetFormulaRC(long row, long col) const {
    const Cell* cell = Active().Find(Checked(row, col));
    return cell && cell->kind == Cell::Kind::Formula ? cell->text : "";
}

void CVCF1::SetFormulaRC(long row, long col, const std::string& formula) {
    CellPos pos = Checked(row, col);
    Active().Put(pos, formula.empty() ? Cell() : Cell::MakeFormula(formula));
}

void CVCF1::SetNumberRC(long row, long col, double value) { Active().Put(Checked(row, col), Cell::MakeNumber(value)); }

void CVCF1::ClearRC(long row, long col) { Active().Clear(Checked(row, col)); }

int CVCF1::GetTypeRC(long row, long col) const {
    const Cell* cell = Active().Find(Checked(row, col));
    return cell ? static_cast<int>(cell->kind) : 0;
}

double CVCF1::GetNumberRC(long row, long col) const {
    const Cell* cell = Active().Find(Checked(row, col));
    if (!cell) return 0;
    bool numeric = cell->kind == Cell::Kind::Number ||
                   (cell->kind == Cell::Kind::Formula && cell->cached == Cell::Cached::Number);
    return numeric ? cell->number : 0;
}

long CVCF1::GetLastRow() const { return Active().LastRow(); }
long CVCF1::GetLastCol() const { return Active().LastCol(); }

std::string CVCF1::GetDefinedName(const std::string& name) const {
    const std::string* definition = workbook_->FindDefinedName(name);
    if (!definition) throw CInvalidArgException("no defined name \"" + name + "\"");
    return *definition;
}

void CVCF1::SetDefinedName(const std::string& name, const std::string& definition) {
    workbook_->SetDefinedName(name, definition);
}

bool CVCF1::HasDefinedName(const std::string& name) const { return workbook_->FindDefinedName(name) != nullptr; }

void CVCF1::SetView(ViewProp prop, int value) { Active().View().Set(prop, value); }

void CVCF1::SetAllowDesigner(bool v) { SetView(ViewProp::AllowDesigner, v); }
void CVCF1::SetShowGridLines(bool v) { SetView(ViewProp::ShowGridLines, v); }
void CVCF1::SetShowRowHeading(bool v) { SetView(ViewProp::ShowRowHeading, v); }
void CVCF1::SetShowSelections(short v) { SetView(ViewProp::ShowSelections, v); }
void CVCF1::SetAllowResize(bool v) { SetView(ViewProp::AllowResize, v); }
void CVCF1::SetAllowSelections(bool v) { SetView(ViewProp::AllowSelections, v); }
void CVCF1::SetAllowInCellEditing(bool v) { SetView(ViewProp::AllowInCellEditing, v); }
void CVCF1::SetAllowFillRange(bool v) { SetView(ViewProp::AllowFillRange, v); }
void CVCF1::SetAllowMoveRange(bool v) { SetView(ViewProp::AllowMoveRange, v); }
void CVCF1::SetPrintNoColor(bool v) { SetView(ViewProp::PrintNoColor, v); }
void CVCF1::SetShowColHeading(bool v) { SetView(ViewProp::ShowColHeading, v); }
void CVCF1::SetAllowArrows(bool v) { SetView(ViewProp::AllowArrows, v); }
void CVCF1::SetAllowTabs(bool v) { SetView(ViewProp::AllowTabs, v); }
void CVCF1::SetRowMode(bool v) { SetView(ViewProp::RowMode, v); }
void CVCF1::SetAllowDelete(bool v) { SetView(ViewProp::AllowDelete, v); }
void CVCF1::SetAllowEditHeaders(bool v) { SetView(ViewProp::AllowEditHeaders, v); }
void CVCF1::SetShowFormulas(bool v) { SetView(ViewProp::ShowFormulas, v); }
void CVCF1::SetShowZeroValues(bool v) { SetView(ViewProp::ShowZeroValues, v); }
void CVCF1::SetShowTabs(short v) { SetView(ViewProp::ShowTabs, v); }
void CVCF1::SetShowEditBar(bool v) { SetView(ViewProp::ShowEditBar, v); }
void CVCF1::SetAllowAutoFill(bool v) { SetView(ViewProp::AllowAutoFill, v); }

int CVCF1::GetViewProperty(const std::string& name) const {
    auto prop = ViewProperties::FromName(name);
    if (!prop) throw CInvalidArgException("unknown view property \"" + name + "\"");
    return Active().View().Get(*prop);
}

Workbook& CVCF1::GetWorkbook() { return *workbook_; }
const Workbook& CVCF1::GetWorkbook() const { return *workbook_; }

Sheet& CVCF1::Active() { return workbook_->SheetAt(workbook_->ActiveSheet()); }
const Sheet& CVCF1::Active() const { return workbook_->SheetAt(workbook_->ActiveSheet()); }

void CVCF1::SetProtectStructure(bool v) { Active().SetStructureProtected(v); }

bool CVCF1::GetProtectStructure() const { return Active().StructureProtected(); }
