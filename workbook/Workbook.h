#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "workbook/Sheet.h"

// What a workbook keeps of the package it was read from: every part as it
// was, so that styles, themes, document properties, drawings and whatever else
// the model does not hold are written back unchanged.
struct PackageOrigin {
    std::map<std::string, std::string> parts;  // zip entry name -> content
    std::string workbookPart;                  // e.g. "xl/workbook.xml"
};

// The in-memory workbook behind CVCF1: its sheets in order (numbered from 1),
// the active sheet and the workbook-level defined names. Every mutation keeps it
// storable: sheet names unique and valid, at least one sheet, texts valid UTF-8.
class Workbook {
public:
    static constexpr long kDefaultSheetCount = 4;
    static constexpr long kMaxSheetCount = 1024;

    // A new workbook: sheets "Sheet1".."Sheet4", the first active.
    Workbook();
    // A workbook of exactly these sheets; CInvalidArgException for none, too many,
    // or invalid or repeated names.
    explicit Workbook(std::vector<Sheet> sheets);

    long SheetCount() const { return static_cast<long>(sheets_.size()); }
    // Grows with "SheetN" sheets or drops sheets at the end.
    void SetSheetCount(long count);
    // 1-based; CInvalidArgException out of range.
    Sheet& SheetAt(long index);
    const Sheet& SheetAt(long index) const;
    void RenameSheet(long index, std::string name);
    // Names every sheet at once, so names may move between sheets.
    void RenameSheets(const std::vector<std::string>& names);

    long ActiveSheet() const { return active_; }
    void SetActiveSheet(long index);

    const std::map<std::string, std::string>& DefinedNames() const { return names_; }
    const std::string* FindDefinedName(const std::string& name) const;
    void SetDefinedName(const std::string& name, std::string definition);

    // nullptr for a workbook that was not read from a file.
    const PackageOrigin* Origin() const { return origin_.get(); }
    void SetOrigin(std::shared_ptr<const PackageOrigin> origin) { origin_ = std::move(origin); }

    // The modelled content; the origin is not compared.
    bool operator==(const Workbook& other) const {
        return sheets_ == other.sheets_ && active_ == other.active_ && names_ == other.names_;
    }

private:
    void RequireIndex(long index) const;
    void RequireUniqueName(const std::string& name, long exceptIndex) const;
    std::string FreshSheetName() const;

    std::vector<Sheet> sheets_;
    long active_ = 1;
    std::map<std::string, std::string> names_;
    std::shared_ptr<const PackageOrigin> origin_;
};
