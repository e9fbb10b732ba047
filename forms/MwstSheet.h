#pragma once
#include <string>

class CVCF1;
class Mandate;
struct CommandContext;

// Where the open mandate's VAT form workbook lives, how it is loaded into and
// saved from a spreadsheet control, and where the template sets beside the
// program are. File name, file type and control travel together by reference:
// a workbook is written back under the name and in the type it was read with.
//
// Failures of the control itself (a file it cannot read or write) arrive as
// CException; these functions do not catch them, their callers decide.

// "MWSTFORM.VTS" for the effective method, "MWSTPAU.VTS" for flat rate.
std::string MwstMethodFileName(bool bPaus);
// True when `mandate` is open and uses the flat-rate workbook (mandate setting 27).
bool MwstMandateUsesFlatRate(const Mandate* mandate);

// The folder the functions below find the mandate's own workbook in: the
// mandate directory while `mandate` is open, else empty (null: no mandate).
std::string MwstSheetFolder(const Mandate* mandate);
// For a command: the folder it works on the mandate's files in (FilesFolder,
// core/CommandContext.h; a dry run's scratch folder), empty while the
// context's mandate is not open.
std::string MwstSheetFolder(const CommandContext& ctx);

// The mandate's own workbook of the method in `folder` (one of the above):
// folder + "/" + name, under the spelling the folder has (MwstMandateFilePath,
// any letter case); empty for an empty folder.
std::string MwstOwnSheetName(const std::string& folder, bool bPaus);
// The same in the mandate directory of `mandate`.
std::string MwstMandateOwnSheetName(const Mandate* mandate, bool bPaus);

// The mandate's own workbook in `folder`, else the templates directory's
// copy, each only with read and write access; empty when neither qualifies.
std::string MwstSheetName(const std::string& folder, bool bPaus);
// The same with the mandate directory of `mandate`.
std::string MwstMandateSheetName(const Mandate* mandate, bool bPaus);
// Loads the workbook MwstSheetName picks in `folder` for the method: 1.
// When none qualifies: 0, `_filename` empty and the control untouched; no
// workbook outside that folder and the templates directory is ever read.
// `_filename` receives what was read (also when the read throws).
int MwstLoadSheet(const std::string& folder, bool bPaus, std::string& _filename, short& _filetype,
                  CVCF1& _mwstform);
// The same with the mandate directory of `mandate` and the mandate's method.
int MwstLoadMandateSheet(const Mandate* mandate, std::string& _filename, short& _filetype, CVCF1& _mwstform);
// Loads `_filename` when it is readable: 1, else 0 with the control untouched.
int MwstLoadNamedMandateSheet(std::string& _filename, short& _filetype, CVCF1& _mwstform);
// Writes the workbook (editing view state, sheet 1 active) to `_filename`;
// nothing for an empty name. The file is replaced atomically by the control.
void MwstSaveMandateSheet(std::string& _filename, short& _filetype, CVCF1& _mwstform);

// `name` made absolute against the directory of the running program.
std::string MwstNewSheetName(const std::string& name);
// The same rule for a given program path (the directory part up to and with
// its last "/", then `name`; `name` alone when the path has no directory).
std::string MwstNewSheetName(const std::string& programPath, const std::string& name);

// The form version rule for a "VERSION" definition: leading blanks, an optional
// sign, decimal digits up to the first other character; 0 without digits, for
// a negative number and for one beyond 32 bits.
unsigned MwstVersionNumber(const std::string& definition);

// View properties of sheets 1 to 4: locked after a read, editing before a write.
void SetProps(CVCF1& _mwstform, bool _enable);
void ProtectSheets(CVCF1& _mwstform);
void UnprotectSheets(CVCF1& _mwstform);
