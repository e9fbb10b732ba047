#pragma once
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "workbook/CVCF1.h"

struct CommandContext;
class ConvertTable;
class Mandate;
struct RateChange;

// Loads a VAT form workbook into a spreadsheet control, runs one job on it
// (read the form version, or a formula pass over the mapping sheet: extend,
// rename, delete) and saves it while the application's change flag is set.
// The Windows original hosted the control in a hidden dialog; here nothing is
// ever shown, DoModal simply runs OnInitDialog.
//
// The caller owns the key lists; the updater only points at them for one run.
// Control failures while loading for a pass, during a pass or a save pass on
// as CException (nothing is saved then); in version mode a workbook that
// cannot be read counts as not loaded and m_loadFailure says why.
class MwstFormulaUpdater {
public:
    enum Mode : int { kModeVersion = 0, kModeExtend = 1, kModeRename = 2, kModeDelete = 3 };
    static constexpr int IDOK = 1;

    // A tool's updater: a change flag of its own, no mandate behind it.
    MwstFormulaUpdater();
    // A command's updater: the context's change flag, and the pair list and
    // key ids from the context's mandate.
    explicit MwstFormulaUpdater(CommandContext& ctx);
    MwstFormulaUpdater(const MwstFormulaUpdater&) = delete;
    MwstFormulaUpdater& operator=(const MwstFormulaUpdater&) = delete;

    int DoModal();

    // The whole run: load, the mode's job, save while the change flag is set.
    bool OnInitDialog();
    int LoadMandateSheet();
    void SaveMandateSheet();
    unsigned GetVersion();

    // The passes over the mapping sheet (sheet 4).
    void ExtendTaxid(const std::vector<std::string>* first, const std::vector<std::string>* second);
    void RenameTaxid(const std::vector<std::string>* first, const std::vector<std::string>* second);
    void DeleteTaxid(const std::vector<std::string>* keys);

    // The formula text operations; they set the change flag on a match.
    std::string RenameFormel(std::string formel, const std::string& oldKey, const std::string& newKey);
    std::string ExtendFormel(std::string formel, const std::string& oldKey, const std::string& newKey);
    std::string DeleteTaxidFormel(std::string formel, const std::string& key);

    CVCF1 m_mwstform;
    std::string m_filename;
    short m_filetype = 0;
    int m_mode = kModeVersion;
    const std::vector<std::string>* m_pFirstArray = nullptr;
    const std::vector<std::string>* m_pSecondArray = nullptr;
    const std::vector<std::string>* m_pAllNames = nullptr;
    unsigned m_version = 0;
    // Whether the last run loaded a workbook; a pass without one ran nowhere.
    bool m_loaded = false;
    // Whether the last run saved the workbook (a pass saves while the change flag is set).
    bool m_saved = false;
    // Version mode: the control's reason when the file exists but cannot be read.
    std::string m_loadFailure;
    // Delete mode for the removal of old keys: the pass removes exactly the
    // keys handed in and leaves the new keys and the special rows alone.
    bool m_removeGivenKeys = false;

    // Where the extend and delete passes get the mandate's pair list from:
    // GetTaxArray(mandate, ar, 1) for a command's updater.
    std::function<void(std::vector<std::string>&)> m_applicationPairs;
    // The ids of the keys the mandate has: the delete pass leaves the terms
    // of keys that still exist. Unset: none counts as existing.
    std::function<void(std::set<std::string>&)> m_existingKeys;
    // The command's change flag, or the updater's own.
    short* m_pChangeFlag;
    // The command's mandate and its conversion table; null for a tool's updater.
    Mandate* m_mandate = nullptr;
    const ConvertTable* m_table = nullptr;
    const RateChange* m_change = nullptr;  // the rate change converted for; null: the default
    // Where the command works on the mandate's files (FilesFolder,
    // core/CommandContext.h): the mandate's own workbook is read and written
    // there. Empty: the mandate's folder.
    std::string m_filesFolder;

private:
    short m_ownChangeFlag = 0;
    bool ChangeFlagSet() const { return *m_pChangeFlag != 0; }
    // The folder the mandate's own workbook is in (m_filesFolder or the
    // mandate's folder); empty while the mandate is not open (or there is none).
    std::string SheetFolder() const;
    // The mandate's own workbook of its method there.
    std::string OwnSheetName() const;
    // Where a pass result goes: the loaded file when it is the mandate's own
    // workbook, otherwise the mandate's own workbook of its method (a template
    // is shared by every mandate and stays as it is); empty for nowhere.
    std::string PassSaveTarget() const;
};

// The super-row labels of the mapping sheet, in this order.
void FillSuperNames(std::vector<std::string>& names);

// The rename for code that holds no updater.
std::string RenameFormel(std::string formel, const std::string& oldKey, const std::string& newKey);

// The form version of a workbook file (0 when it cannot be read). Never writes.
unsigned MwstGetVersion(const std::string& filename);
// The same; `failure` receives why a file that exists could not be read
// (empty when it was read or is missing).
unsigned MwstGetVersion(const std::string& filename, std::string* failure);

// A form file of a mandate's folder as a form command finds it.
struct FormFileVersion {
    std::string name;       // "MWSTFORM.VTS", "MWSTPAU.VTS", "_MWSTFRM.VTS" or "_MWSTPAU.VTS"
    unsigned version = 0;   // 0 when it cannot be read
    bool readable = false;
};
// The form files `folder` has (in any letter case), each with its version.
std::vector<FormFileVersion> FormFileVersions(const std::string& folder);

// The form-formula entry points of the tax key commands. They run the extend
// and the delete pass over the context mandate's form workbook. True when the pass
// ran, or had no usable workbook to work on (which the log tells when the
// command handed keys of its own, i.e. announced formula changes); false when
// the workbook could not be read or written or the pass stopped on an error:
// the log then names the workbook and the reason, the failure is counted and
// the workbook is left unsaved. `saved`, when given, tells whether the pass
// saved the workbook.
bool MwstExtendTaxid(CommandContext& ctx, const std::vector<std::string>& _oldidArray, const std::vector<std::string>& _newidArray,
                     const std::vector<std::string>* pAllNames, bool* saved = nullptr);
// `removed`: the keys the command deleted, which leave the formulas too, also
// where the mandate's pair list does not name them (an old key whose
// automatic account is missing).
bool MwstDeleteTaxid(CommandContext& ctx, const std::vector<std::string>& _idArray,
                     const std::vector<std::string>& removed = {}, bool* saved = nullptr);
// After old keys were deleted from the mandate: removes those keys from the
// formulas, keeping the new keys (which the 2024 form sums) where they are.
bool MwstDeleteOldTaxid(CommandContext& ctx, const std::vector<std::string>& _idArray,
                        bool* saved = nullptr);
