#pragma once
#include <string>

#include "workbook/CVCF1.h"

class ConvertTable;
class Mandate;
struct RateChange;
class UiSeam;

// Replaces one form workbook of a mandate by a template: loads the
// template (source) and the mandate's workbook (target) side by side, carries
// the target's key formulas of the mapping sheet into the template unless the
// template's version takes its own (2001, 2024), exchanging old and new tax
// keys on request, and writes the result into the mandate directory under the
// target's file name. The Windows original was a hidden dialog; here nothing
// is ever shown, DoModal simply runs OnInitDialog.
//
// The caller sets the mandate (open; its directory receives the result and
// its key pairs are exchanged), the two file names and m_invert, runs it and reads m_result
// (non-zero is success) and, after a failure, m_failure. A command sets
// m_filesFolder as well: the result goes there instead.
class MwstDummy2 {
public:
    static constexpr int IDOK = 1;

    MwstDummy2() = default;
    MwstDummy2(const MwstDummy2&) = delete;
    MwstDummy2& operator=(const MwstDummy2&) = delete;

    int DoModal();
    // The whole run; the result is in m_result.
    bool OnInitDialog();

    int LoadSheet1();
    int LoadSheet2();
    void SaveSheet2();
    unsigned GetVer1();
    unsigned GetVer2();
    // The transfer proper: target formulas of the mapping sheet into the source.
    void CopyFormulas(int invert);

    Mandate* m_mandate = nullptr;
    const ConvertTable* m_table = nullptr;  // the mandate's conversion table; null: none
    const RateChange* m_change = nullptr;   // the rate change converted for; null: the default
    UiSeam* m_seam = nullptr;  // where the data library's error boxes go; null: standard error
    CVCF1 m_source;
    CVCF1 m_target;
    std::string m_sourceName;
    std::string m_targetName;
    std::string m_outputName;
    // Where a command works on the mandate's files (FilesFolder,
    // core/CommandContext.h); empty: the mandate directory.
    std::string m_filesFolder;
    short m_sourceType = 0;
    short m_targetType = 0;
    int m_result = 0;
    int m_invert = 0;
    // Why the run failed (for the log), empty after success.
    std::string m_failure;

private:
    void Transfer();
    void CopyTemplateFile();
};

// The output rule: `folder` (the mandate directory, or where a command works
// on its files) followed by the target's file name, under the spelling the
// folder already has (MwstMandateFilePath).
std::string MwstTransferOutputName(const std::string& folder, const std::string& targetName);
