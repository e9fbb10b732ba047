#include "forms/MwstFormulaUpdater.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/CException.h"
#include "base/Format.h"
#include "core/CommandContext.h"
#include "core/LogSink.h"
#include "core/PendraUiBridge.h"
#include "core/Strings.h"
#include "formula/FormulaText.h"
#include "forms/KeyCase.h"
#include "forms/MwstSheet.h"
#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "res/Resource.h"
#include "rules/TaxArray.h"
#include "templates/TemplateSet.h"

namespace {

// The ids of the mandate's tax keys; as far as they can be read.
void ReadKeyIds(Mandate& mandate, std::set<std::string>& ids) {
    if (!mandate.IsMandantOpen()) return;
    BFile file(&mandate);
    if (file.Open(mandate.GetTaxName(), BFile::kModeReadOnly) != pendra::kOk) return;
    Tax key(&mandate);
    key.UseFile(&file);
    for (int status = key.ReadFirst(); status == pendra::kOk; status = key.ReadNext()) ids.insert(key.GetId());
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
bool Writable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

// The callers carry on whatever happens; the log tells the user that this
// mandate's form was left as it was: a workbook that could not be read or
// written is a failure. Without a usable workbook the log says so where the
// command has formula changes to tell (it handed keys of its own to the
// pass); keys without formulas on a mandate without a form leave no line.
// `saved` tells the caller whether there is anything to tell.
bool RunPass(CommandContext& ctx, MwstFormulaUpdater& dlg, bool* saved) {
    if (saved) *saved = false;
    try {
        dlg.DoModal();
    } catch (const CException& e) {
        ctx.log.Failure(Format(LoadString(IDS_FORMULAS_NOT_UPDATED), dlg.m_filename, e.what()));
        return false;
    }
    if (!dlg.m_loaded && dlg.m_pFirstArray && !dlg.m_pFirstArray->empty())
        ctx.log.Line(Format(LoadString(IDS_LOG_NO_FORM_WORKBOOK),
                            MwstOwnSheetName(MwstSheetFolder(ctx), MwstMandateUsesFlatRate(&ctx.mandate))));
    if (saved) *saved = dlg.m_saved;
    return true;
}

}  // namespace

MwstFormulaUpdater::MwstFormulaUpdater() : m_pChangeFlag(&m_ownChangeFlag) {}

MwstFormulaUpdater::MwstFormulaUpdater(CommandContext& ctx)
    : m_pChangeFlag(&ctx.changeFlag),
      m_mandate(&ctx.mandate),
      m_table(&ctx.table),
      m_change(ctx.change),
      m_filesFolder(FilesFolder(ctx)) {
    Mandate* mandate = &ctx.mandate;
    const ConvertTable* table = &ctx.table;
    const RateChange* change = ctx.change;
    UiSeam* seam = &ctx.seam;
    m_applicationPairs = [mandate, table, change, seam](std::vector<std::string>& ar) {
        PendraUiBridge ui(*seam);
        GetTaxArray(*mandate, *table, ui, ar, 1, OrDefault(change));
    };
    m_existingKeys = [mandate](std::set<std::string>& ids) { ReadKeyIds(*mandate, ids); };
}

int MwstFormulaUpdater::DoModal() {
    OnInitDialog();
    return IDOK;
}

bool MwstFormulaUpdater::OnInitDialog() {
    m_version = 0;
    m_loaded = false;
    m_saved = false;
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
    if (ChangeFlagSet()) {
        SaveMandateSheet();
        m_saved = !m_filename.empty();  // a tool's updater without a mandate has nowhere to save
    }
    return true;
}

// Version mode: a workbook that exists but cannot be read (corrupt, foreign)
// counts as not loaded, version 0, and m_loadFailure says why. The passes let
// the control's exception through, so that their caller reports the file and
// the reason instead of a pass that silently did nothing.
int MwstFormulaUpdater::LoadMandateSheet() {
    if (m_mode != kModeVersion)
        return MwstLoadSheet(SheetFolder(), MwstMandateUsesFlatRate(m_mandate), m_filename, m_filetype,
                             m_mwstform);
    try {
        return MwstLoadNamedMandateSheet(m_filename, m_filetype, m_mwstform);
    } catch (const CException& e) {
        m_loadFailure = e.what();
        return 0;
    }
}

std::string MwstFormulaUpdater::SheetFolder() const {
    if (!m_mandate || !m_mandate->IsMandantOpen()) return std::string();
    return m_filesFolder.empty() ? m_mandate->GetPath() : m_filesFolder;
}

std::string MwstFormulaUpdater::OwnSheetName() const {
    return MwstOwnSheetName(SheetFolder(), MwstMandateUsesFlatRate(m_mandate));
}

void MwstFormulaUpdater::SaveMandateSheet() {
    const std::string own = OwnSheetName();
    m_filename = PassSaveTarget();
    // The pass worked on the templates directory's copy because the mandate's
    // own workbook may not be written: its result has nowhere to go.
    if (m_filename.empty() && !own.empty()) {
        m_filename = own;
        throw CFileException(Format(LoadString(IDS_REASON_CANNOT_WRITE), own, SystemText(EACCES)));
    }
    MwstSaveMandateSheet(m_filename, m_filetype, m_mwstform);
}

std::string MwstFormulaUpdater::PassSaveTarget() const {
    const std::string own = OwnSheetName();
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
    short changed = 0;
    return formel::Rename(std::move(formel), oldKey, newKey, changed);
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

std::vector<FormFileVersion> FormFileVersions(const std::string& folder) {
    std::vector<FormFileVersion> found;
    for (const char* name : {"MWSTFORM.VTS", "MWSTPAU.VTS", "_MWSTFRM.VTS", "_MWSTPAU.VTS"}) {
        const std::string path = MwstMandateFilePath(folder, name);
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) continue;
        std::string failure;
        const unsigned version = MwstGetVersion(path, &failure);
        found.push_back({name, failure.empty() ? version : 0, failure.empty()});
    }
    return found;
}

bool MwstExtendTaxid(CommandContext& ctx, const std::vector<std::string>& _oldidArray, const std::vector<std::string>& _newidArray,
                     const std::vector<std::string>* pAllNames, bool* saved) {
    MwstFormulaUpdater dlg(ctx);
    dlg.m_mode = MwstFormulaUpdater::kModeExtend;
    dlg.m_pFirstArray = &_oldidArray;
    dlg.m_pSecondArray = &_newidArray;
    dlg.m_pAllNames = pAllNames;
    return RunPass(ctx, dlg, saved);
}

bool MwstDeleteTaxid(CommandContext& ctx, const std::vector<std::string>& _idArray,
                     const std::vector<std::string>& removed, bool* saved) {
    MwstFormulaUpdater dlg(ctx);
    dlg.m_mode = MwstFormulaUpdater::kModeDelete;
    dlg.m_pFirstArray = &_idArray;
    dlg.m_pSecondArray = &removed;
    return RunPass(ctx, dlg, saved);
}

bool MwstDeleteOldTaxid(CommandContext& ctx, const std::vector<std::string>& _idArray,
                        bool* saved) {
    MwstFormulaUpdater dlg(ctx);
    dlg.m_mode = MwstFormulaUpdater::kModeDelete;
    dlg.m_pFirstArray = &_idArray;
    dlg.m_removeGivenKeys = true;
    return RunPass(ctx, dlg, saved);
}
