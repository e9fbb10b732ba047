#include "forms/MwstDummy2.h"

#include <cstring>
#include <optional>
#include <vector>

#include "base/CException.h"
#include "base/Format.h"
#include "core/PendraUiBridge.h"
#include "core/Strings.h"
#include "templates/FileCopy.h"
#include "forms/FilesOfOurs.h"
#include "forms/KeyCase.h"
#include "formula/KeyPair.h"
#include "forms/MappingSheet.h"
#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "templates/TemplateSet.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"
#include "rules/ConvertTable.h"
#include "rules/TaxArray.h"

namespace {

constexpr long kLabelCol = 1;
constexpr long kFormulaCols[] = {2, 3};
// Templates of these versions bring formulas of their own and take none over.
constexpr unsigned kOwnFormulaVersions[] = {2001, 2024};

// Active sheet and selection of a control, put back on Restore.
class SheetState {
public:
    explicit SheetState(CVCF1& form) : form_(form), sheet_(form.GetSheet()), selection_(form.GetSelection()) {}
    void Restore() {
        form_.SetSheet(sheet_);
        form_.SetSelection(selection_);
    }

private:
    CVCF1& form_;
    long sheet_;
    std::string selection_;
};

unsigned VersionOf(const CVCF1& form) {
    std::string definition;
    try {
        definition = form.GetDefinedName("VERSION");
    } catch (const CException&) {
        definition.clear();
    }
    return MwstVersionNumber(definition);
}

bool TakesOwnFormulas(unsigned version) {
    for (unsigned own : kOwnFormulaVersions)
        if (version == own) return true;
    return false;
}

std::string MandateDirectory(const Mandate* mandate) {
    return mandate && mandate->IsMandantOpen() ? mandate->GetPath() : std::string();
}

// The old and new ids of the pairs whose keys are exchanged, with a temporary
// name per pair so that one rename never undoes another.
struct KeyExchange {
    std::vector<std::string> oldIds, newIds, tempNames;

    static KeyExchange ForMandate(Mandate* mandate, const ConvertTable* table, const RateChange& change,
                                  UiSeam* seam) {
        KeyExchange exchange;
        std::vector<std::string> pairs;
        if (mandate) {
            std::optional<PendraUiBridge> bridge;
            if (seam) bridge.emplace(*seam);
            GetTaxArray(*mandate, ConvertTable::OrNone(table), bridge ? *bridge : PendraUi::Silent(), pairs, 0, change);
        }
        keypair::SplitAll(pairs, exchange.oldIds, exchange.newIds);
        for (std::size_t i = 0; i < exchange.oldIds.size(); ++i)
            exchange.tempNames.push_back(Format("TEMP%d", static_cast<int>(i)));
        return exchange;
    }

    std::string Apply(std::string formel) const {
        for (std::size_t i = 0; i < oldIds.size(); ++i) formel = RenameFormel(formel, oldIds[i], tempNames[i]);
        for (std::size_t i = 0; i < oldIds.size(); ++i) formel = RenameFormel(formel, newIds[i], oldIds[i]);
        for (std::size_t i = 0; i < oldIds.size(); ++i) formel = RenameFormel(formel, tempNames[i], newIds[i]);
        return formel;
    }
};

}  // namespace

std::string MwstTransferOutputName(const std::string& folder, const std::string& targetName) {
    const std::size_t slash = targetName.rfind('/');
    const std::string name = slash != std::string::npos && slash > 0 ? targetName.substr(slash + 1) : targetName;
    return MwstMandateFilePath(folder, name);
}

int MwstDummy2::DoModal() {
    OnInitDialog();
    return IDOK;
}

bool MwstDummy2::OnInitDialog() {
    m_result = 0;
    m_failure.clear();
    const std::string mandateDir = MandateDirectory(m_mandate);
    // Without an open mandate there is no directory the result could go to.
    if (mandateDir.empty()) {
        m_failure = LoadString(IDS_NO_MANDATE);
        return true;
    }
    const std::string folder = m_filesFolder.empty() ? mandateDir : m_filesFolder;
    m_outputName = MwstTransferOutputName(folder, m_targetName);
    // A target in that folder is the file found there in whatever letter
    // case: its formulas are read from where the result goes.
    if (const std::size_t slash = m_targetName.rfind('/');
        slash == folder.size() && m_targetName.compare(0, slash, folder) == 0)
        m_targetName = m_outputName;
    try {
        Transfer();
    } catch (const CException& e) {
        m_result = 0;
        m_failure = Format(LoadString(IDS_REASON_WORKBOOK_FAILED), e.what());
    }
    return true;
}

void MwstDummy2::Transfer() {
    if (!LoadSheet1()) {
        m_failure = Format(LoadString(IDS_REASON_TEMPLATE_UNREADABLE), m_sourceName);
        return;
    }
    if (!LoadSheet2()) {
        CopyTemplateFile();
        return;
    }
    MwstMatchKeyCase(m_mandate, m_table, OrDefault(m_change), m_target);
    m_result = 1;
    const unsigned sourceVersion = GetVer1();
    if (sourceVersion == GetVer2()) return;
    if (!TakesOwnFormulas(sourceVersion)) CopyFormulas(m_invert);
    SaveSheet2();
}

// No readable workbook in the mandate: the template goes in as it is.
void MwstDummy2::CopyTemplateFile() {
    const FileCopyResult copied = MwstCopyFile(m_sourceName, m_outputName);
    m_result = copied ? 1 : 0;
    if (!copied) m_failure = filesofours::CopyFailure(copied, m_sourceName, m_outputName);
}

int MwstDummy2::LoadSheet1() { return MwstLoadNamedMandateSheet(m_sourceName, m_sourceType, m_source); }

int MwstDummy2::LoadSheet2() { return MwstLoadNamedMandateSheet(m_targetName, m_targetType, m_target); }

// The template's workbook, written in the target's file type.
void MwstDummy2::SaveSheet2() { MwstSaveMandateSheet(m_outputName, m_targetType, m_source); }

unsigned MwstDummy2::GetVer1() { return VersionOf(m_source); }

unsigned MwstDummy2::GetVer2() { return VersionOf(m_target); }

void MwstDummy2::CopyFormulas(int invert) {
    SheetState sourceState(m_source);
    SheetState targetState(m_target);
    mapping::Select(m_source);
    mapping::Select(m_target);
    const KeyExchange exchange = invert ? KeyExchange::ForMandate(m_mandate, m_table, OrDefault(m_change), m_seam) : KeyExchange();
    for (long row = 1; row <= CVCF1::kMaxRow && !m_target.GetTextRC(row, kLabelCol).empty(); ++row) {
        for (long col : kFormulaCols) {
            std::string formel = m_target.GetFormulaRC(row, col);
            if (invert) formel = exchange.Apply(std::move(formel));
            if (formel.empty())
                m_source.SetNumberRC(row, col, 0.0);
            else
                m_source.SetFormulaRC(row, col, formel);
        }
    }
    sourceState.Restore();
    targetState.Restore();
}
