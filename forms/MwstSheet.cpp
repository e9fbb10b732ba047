#include "forms/MwstSheet.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>

#include "base/RegularFile.h"
#include "core/BrisolSettings.h"
#include "core/CommandContext.h"
#include "forms/MappingSheet.h"
#include "templates/TemplateSet.h"
#include "workbook/CVCF1.h"
#include "pendra/Mandate.h"

namespace {

constexpr const char* kEffectiveName = "MWSTFORM.VTS";
constexpr const char* kFlatRateName = "MWSTPAU.VTS";
constexpr long kFormSheets = 4;

using regularfile::Links;

bool Usable(const std::string& path) {
    return regularfile::IsRegular(path, Links::kFollow) && ::access(path.c_str(), R_OK | W_OK) == 0;
}
bool Readable(const std::string& path) {
    return regularfile::IsRegular(path, Links::kFollow) && ::access(path.c_str(), R_OK) == 0;
}

// An empty directory names no place: no workbook in the file system root counts.
std::string InDirectory(const std::string& dir, const std::string& name) {
    return dir.empty() ? std::string() : dir + "/" + name;
}

// The mandate's file under the spelling it has there (any letter case).
std::string InMandateDirectory(const std::string& dir, const std::string& name) {
    return dir.empty() ? std::string() : MwstMandateFilePath(dir, name);
}

std::string TemplatesDirectory() { return ReadBrisolPath("Vorlagen", "verzeichnis"); }

void ReadSheet(std::string& _filename, short& _filetype, CVCF1& _mwstform) {
    _mwstform.Read(_filename, _filetype);
    ProtectSheets(_mwstform);
}

// Sheets 1 to 4 in turn, as far as the workbook has them; sheet 1 active at the end.
void SetPropsOnFormSheets(CVCF1& _mwstform, bool _enable) {
    const long sheets = std::min(kFormSheets, _mwstform.GetNumSheets());
    for (long sheet = 1; sheet <= sheets; ++sheet) {
        _mwstform.SetSheet(sheet);
        SetProps(_mwstform, _enable);
    }
    _mwstform.SetSheet(1);
}

std::string ProgramPath() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

}  // namespace

std::string MwstMethodFileName(bool bPaus) { return bPaus ? kFlatRateName : kEffectiveName; }

std::string MwstSheetFolder(const Mandate* mandate) {
    return mandate && mandate->IsMandantOpen() ? mandate->GetPath() : std::string();
}

std::string MwstSheetFolder(const CommandContext& ctx) {
    return ctx.mandate.IsMandantOpen() ? FilesFolder(ctx) : std::string();
}

std::string MwstOwnSheetName(const std::string& folder, bool bPaus) {
    return InMandateDirectory(folder, MwstMethodFileName(bPaus));
}

std::string MwstMandateOwnSheetName(const Mandate* mandate, bool bPaus) {
    return MwstOwnSheetName(MwstSheetFolder(mandate), bPaus);
}

bool MwstMandateUsesFlatRate(const Mandate* mandate) {
    return mandate && mandate->IsMandantOpen() && mandate->GetIniLong(0, 27, 0) != 0;
}

std::string MwstSheetName(const std::string& folder, bool bPaus) {
    const std::string name = MwstMethodFileName(bPaus);
    for (const std::string& candidate :
         {InMandateDirectory(folder, name), InDirectory(TemplatesDirectory(), name)}) {
        if (!candidate.empty() && Usable(candidate)) return candidate;
    }
    return std::string();
}

std::string MwstMandateSheetName(const Mandate* mandate, bool bPaus) {
    return MwstSheetName(MwstSheetFolder(mandate), bPaus);
}

// No bare-name fallback: a file of that name in the working directory belongs
// to nobody, and a pass would save it as the mandate's workbook.
int MwstLoadSheet(const std::string& folder, bool bPaus, std::string& _filename, short& _filetype,
                  CVCF1& _mwstform) {
    _filename.clear();
    _filetype = 0;
    _filename = MwstSheetName(folder, bPaus);
    if (_filename.empty()) return 0;
    ReadSheet(_filename, _filetype, _mwstform);
    return 1;
}

int MwstLoadMandateSheet(const Mandate* mandate, std::string& _filename, short& _filetype, CVCF1& _mwstform) {
    return MwstLoadSheet(MwstSheetFolder(mandate), MwstMandateUsesFlatRate(mandate), _filename, _filetype,
                         _mwstform);
}

int MwstLoadNamedMandateSheet(std::string& _filename, short& _filetype, CVCF1& _mwstform) {
    _filetype = 0;
    if (!Readable(_filename)) return 0;
    ReadSheet(_filename, _filetype, _mwstform);
    return 1;
}

namespace {

// The mapping sheet's key names are cell addresses to a spreadsheet program:
// a row or column inserted or deleted there would rename them.
void ProtectMappingStructure(CVCF1& form) {
    const long sheet = mapping::SheetOf(form);
    if (sheet == 0) return;
    const long active = form.GetSheet();
    form.SetSheet(sheet);
    form.SetProtectStructure(true);
    form.SetSheet(active);
}

}  // namespace

void MwstSaveMandateSheet(std::string& _filename, short& _filetype, CVCF1& _mwstform) {
    if (_filename.empty()) return;
    UnprotectSheets(_mwstform);
    ProtectMappingStructure(_mwstform);
    _mwstform.Write(_filename, _filetype);
}

std::string MwstNewSheetName(const std::string& name) { return MwstNewSheetName(ProgramPath(), name); }

std::string MwstNewSheetName(const std::string& programPath, const std::string& name) {
    const std::size_t slash = programPath.rfind('/');
    if (slash == std::string::npos || slash == 0) return name;
    return programPath.substr(0, slash + 1) + name;
}

// ASCII blanks and digits only: the rule must not follow the process's locale.
unsigned MwstVersionNumber(const std::string& definition) {
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t at = 0;
    while (at < definition.size() && blank(definition[at])) ++at;
    bool negative = false;
    if (at < definition.size() && (definition[at] == '+' || definition[at] == '-')) negative = definition[at++] == '-';
    std::uint64_t value = 0;
    for (; at < definition.size() && digit(definition[at]); ++at) {
        value = value * 10 + static_cast<unsigned>(definition[at] - '0');
        if (value > UINT32_MAX) return 0;
    }
    return negative ? 0 : static_cast<unsigned>(value);
}

void SetProps(CVCF1& _mwstform, bool _enable) {
    const bool E = _enable;
    _mwstform.SetShowGridLines(E);
    _mwstform.SetShowRowHeading(E);
    _mwstform.SetShowColHeading(E);
    _mwstform.SetShowSelections(1);
    _mwstform.SetAllowResize(E);
    _mwstform.SetAllowSelections(true);
    _mwstform.SetAllowInCellEditing(E);
    _mwstform.SetAllowFillRange(E);
    _mwstform.SetAllowMoveRange(E);
    _mwstform.SetAllowArrows(true);
    _mwstform.SetAllowTabs(E);
    _mwstform.SetRowMode(false);
    _mwstform.SetAllowDelete(E);
    _mwstform.SetAllowEditHeaders(E);
    _mwstform.SetShowFormulas(E);
    _mwstform.SetShowZeroValues(false);
    _mwstform.SetShowTabs(E ? 1 : 0);
    _mwstform.SetShowEditBar(E);
    _mwstform.SetAllowDesigner(E);
    _mwstform.SetAllowAutoFill(E);
    _mwstform.SetPrintNoColor(!E);
}

void ProtectSheets(CVCF1& _mwstform) { SetPropsOnFormSheets(_mwstform, false); }
void UnprotectSheets(CVCF1& _mwstform) { SetPropsOnFormSheets(_mwstform, true); }
