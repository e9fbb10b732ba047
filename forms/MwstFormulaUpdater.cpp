#include "forms/MwstFormulaUpdater.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/CTheApp.h"
#include "app/CTheView.h"
#include "app/framework/CException.h"
#include "app/framework/Format.h"
#include "app/framework/Strings.h"
#include "forms/FormulaText.h"
#include "forms/KeyCase.h"
#include "forms/MwstSheet.h"
#include "mandate/pendra/BFile.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/Tax.h"
#include "res/Resource.h"

namespace {

CTheApp* RunningApp() { return dynamic_cast<CTheApp*>(AfxGetApp()); }

short& ApplicationChangeFlag() {
    static short toolFlag = 0;
    CTheApp* app = RunningApp();
    return app ? app->m_changeFlag : toolFlag;
}

// The ids of the open mandate's tax keys; as far as they can be read.
void ReadKeyIds(std::set<std::string>& ids) {
    Mandate* mandate = Mandate::GetGlobalMandate();
    if (!mandate || !mandate->IsMandantOpen()) return;
    BFile file(mandate);
    if (file.Open(mandate->GetTaxName(), BFile::kModeReadOnly) != pendra::kOk) return;
    Tax key(mandate);
    key.UseFile(&file);
    for (int status = key.ReadFirst(); status == pendra::kOk; status = key.ReadNext()) ids.insert(key.GetId());
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
bool Writable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

void LogToApplication(const std::string& line, bool failure) {
    if (CTheApp* app = RunningApp(); app && app->GetLogView()) {
        if (failure) ++app->m_failures;
        app->GetLogView()->AppendLine(line);
    }
}

// The callers carry on whatever happens; the log tells the user that this
// mandate's form was left as it was: a workbook that could not be read or
// written is a failure. Without a usable workbook the log says so where the
// command announced formula changes (it handed keys of its own to the pass);
// keys without formulas on a mandate without a form leave no line.
bool RunPass(MwstFormulaUpdater& dlg) {
    try {
        dlg.DoModal();
    } catch (const CException& e) {
        LogToApplication(Format(LoadString(IDS_FORMULAS_NOT_UPDATED), dlg.m_filename, e.what()), true);
        return false;
    }
    if (!dlg.m_loaded && dlg.m_pFirstArray && !dlg.m_pFirstArray->empty())
        LogToApplication(Format(LoadString(IDS_LOG_NO_FORM_WORKBOOK),
                                MwstMandateOwnSheetName(MwstMandateUsesFlatRate())),
                         false);
    return true;
}

}  // namespace

MwstFormulaUpdater::MwstFormulaUpdater() : m_pChangeFlag(&ApplicationChangeFlag()) {
    if (CTheApp* app = RunningApp()) {
        m_applicationPairs = [app](std::vector<std::string>& ar) { app->GetTaxArray(ar, 1); };
        m_existingKeys = [](std::set<std::string>& ids) { ReadKeyIds(ids); };
    }
}

int MwstFormulaUpdater::DoModal() {
    OnInitDialog();
    return IDOK;
}

bool MwstFormulaUpdater::OnInitDialog() {
    m_version = 0;
    m_loaded = false;
    m_loadFailure.clear();
    if (!LoadMandateSheet()) return true;
    m_loaded = true;
    MwstMatchKeyCase(*this);
    switch (m_mode) {
    case kModeVersion:
        *m_pChangeFlag = 0;
        m_version = GetVersion();
        return true;  // a version query never writes
    case kModeExtend:
        ExtendTaxid(m_pFirstArray, m_pSecondArray);
        break;
    case kModeRename:
        RenameTaxid(m_pFirstArray, m_pSecondArray);
        break;
    case kModeDelete:
        DeleteTaxid(m_pFirstArray);
        break;
    default:
        break;
    }
    if (ChangeFlagSet()) SaveMandateSheet();
    return true;
}

// Version mode: a workbook that exists but cannot be read (corrupt, foreign)
// counts as not loaded, version 0, and m_loadFailure says why. The passes let
// the control's exception through, so that their caller reports the file and
// the reason instead of a pass that silently did nothing.
int MwstFormulaUpdater::LoadMandateSheet() {
    if (m_mode != kModeVersion) return MwstLoadMandateSheet(m_filename, m_filetype, m_mwstform);
    try {
        return MwstLoadNamedMandateSheet(m_filename, m_filetype, m_mwstform);
    } catch (const CException& e) {
        m_loadFailure = e.what();
        return 0;
    }
}

void MwstFormulaUpdater::SaveMandateSheet() {
    const std::string own = MwstMandateOwnSheetName(MwstMandateUsesFlatRate());
    m_filename = PassSaveTarget();
    // The pass worked on the templates directory's copy because the mandate's
    // own workbook may not be written: its result has nowhere to go.
    if (m_filename.empty() && !own.empty()) {
        m_filename = own;
        throw CFileException(Format(LoadString(IDS_REASON_CANNOT_WRITE), own, std::string(std::strerror(EACCES))));
    }
    MwstSaveMandateSheet(m_filename, m_filetype, m_mwstform);
}

std::string MwstFormulaUpdater::PassSaveTarget() const {
    const std::string own = MwstMandateOwnSheetName(MwstMandateUsesFlatRate());
    if (m_filename == own) return own;
    // A mandate workbook that may not be written is not replaced behind its back.
    if (own.empty() || (Exists(own) && !Writable(own))) return std::string();
    return own;
}

unsigned MwstFormulaUpdater::GetVersion() {
    std::string definition;
    try {
        definition = m_mwstform.GetDefinedName("VERSION");
    } catch (const CException&) {
        definition.clear();
    }
    return MwstVersionNumber(definition);
}

std::string MwstFormulaUpdater::RenameFormel(std::string formel, const std::string& oldKey,
                                             const std::string& newKey) {
    return formel::Rename(std::move(formel), oldKey, newKey, *m_pChangeFlag);
}

std::string MwstFormulaUpdater::ExtendFormel(std::string formel, const std::string& oldKey,
                                             const std::string& newKey) {
    return formel::Extend(std::move(formel), oldKey, newKey, *m_pChangeFlag);
}

std::string MwstFormulaUpdater::DeleteTaxidFormel(std::string formel, const std::string& key) {
    return formel::Delete(std::move(formel), key, *m_pChangeFlag);
}

std::string RenameFormel(std::string formel, const std::string& oldKey, const std::string& newKey) {
    return formel::Rename(std::move(formel), oldKey, newKey, ApplicationChangeFlag());
}

unsigned MwstGetVersion(const std::string& filename) { return MwstGetVersion(filename, nullptr); }

unsigned MwstGetVersion(const std::string& filename, std::string* failure) {
    MwstFormulaUpdater dlg;
    dlg.m_filename = filename;
    dlg.m_mode = MwstFormulaUpdater::kModeVersion;
    dlg.DoModal();
    if (failure) *failure = dlg.m_loadFailure;
    return dlg.m_version;
}

bool MwstExtendTaxid(const std::vector<std::string>& _oldidArray, const std::vector<std::string>& _newidArray,
                     const std::vector<std::string>* pAllNames) {
    MwstFormulaUpdater dlg;
    dlg.m_mode = MwstFormulaUpdater::kModeExtend;
    dlg.m_pFirstArray = &_oldidArray;
    dlg.m_pSecondArray = &_newidArray;
    dlg.m_pAllNames = pAllNames;
    return RunPass(dlg);
}

bool MwstDeleteTaxid(const std::vector<std::string>& _idArray) {
    MwstFormulaUpdater dlg;
    dlg.m_mode = MwstFormulaUpdater::kModeDelete;
    dlg.m_pFirstArray = &_idArray;
    return RunPass(dlg);
}

bool MwstDeleteOldTaxid(const std::vector<std::string>& _idArray) {
    MwstFormulaUpdater dlg;
    dlg.m_mode = MwstFormulaUpdater::kModeDelete;
    dlg.m_pFirstArray = &_idArray;
    dlg.m_removeGivenKeys = true;
    return RunPass(dlg);
}
