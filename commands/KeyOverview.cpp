#include "commands/KeyOverview.h"

#include "base/Format.h"
#include "base/Windows1252.h"
#include "core/Strings.h"
#include "core/UiSeam.h"
#include "forms/FilesOfOurs.h"
#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "res/Resource.h"
#include "rules/ConvertTable.h"
#include "rules/KeyPlan.h"
#include "commands/KeyTexts.h"

namespace {

constexpr std::size_t kIdChars = 6;
constexpr int kLeftHeadings[] = {30551, 30552, 30553, 30554};
constexpr int kRightHeadings[] = {30555, 30556, 30557};

// The first `count` characters of UTF-8 text.
std::string FirstChars(const std::string& text, std::size_t count) {
    return std::string(win1252::FirstCharacters(text, count));
}

// The right row of an old key that is not converted: the new id with the
// rate of the key in the way (the new rate when it differs in letter case)
// and why; without a readable table no new id is known.
std::string NotConvertedRow(const PlannedKey& old) {
    const std::string why =
        "   " + Format(LoadString(IDS_OVERVIEW_NOT_CONVERTED), NotConvertedReason(old));
    if (old.newKey == NewKey::kTableUnreadable) return "\t\t" + why;
    const float rate = old.newKey == NewKey::kOtherRate ? old.inTheWay.rate : old.newRate;
    const std::string percent = FloatToAscii(static_cast<double>(rate) * 100.0, "%g");
    return FirstChars(old.newId, kIdChars) + "\t" + percent + "%\t" + why;
}

// The table is told in a box: the overview then shows no new key.
void TellUnreadableTable(const ConvertTable& table, UiSeam& seam) {
    const std::optional<std::string> line = filesofours::UnreadableTableLine(table);
    if (!line) return;
    seam.MessageBox({line->substr(0, line->find_last_not_of("\r\n") + 1), LoadString(IDS_TITLE),
                     MB_OK | MB_ICONEXCLAMATION});
}

}  // namespace

std::string KeyOverviewRow(const std::string& id, float rate, bool netto, const std::string& konto,
                           KeyOverview::RowType type) {
    const std::string key = FirstChars(id, kIdChars);
    const double percent = static_cast<double>(rate) * 100.0;
    if (type == KeyOverview::kOldKey)
        return key + "\t" + FloatToAscii(percent, "%g") + "%\t" + EntryText(netto) + "\t" + konto;
    return key + "\t" + FloatToAscii(percent, "%g") + "%\t   " +
           LoadString(type == KeyOverview::kNewKeyPresent ? IDS_JA : IDS_NEIN);
}

int ReadKeyOverview(Mandate& mandate, const ConvertTable& table, UiSeam& seam, KeyOverview& overview, bool& opened) {
    BFile taxFile(&mandate);
    const int mode = mandate.IsReadOnly() ? BFile::kModeReadOnly : BFile::kModeUpdate;
    opened = false;
    if (const int status = taxFile.Open(mandate.GetTaxName(), mode); status != pendra::kOk) return status;
    opened = true;
    overview.title = LoadString(IDS_DLG_KEYS_CAPTION) + " " + LoadString(IDS_FUER_MANDANT) + " " + mandate.GetPath();
    for (int id : kLeftHeadings) overview.leftHeadings.push_back(LoadString(id));
    for (int id : kRightHeadings) overview.rightHeadings.push_back(LoadString(id));
    Tax tax(&mandate);
    tax.UseFile(&taxFile);
    KeyPlan plan(table);
    const int status = plan.Read(tax);
    if (status == pendra::kOk) TellUnreadableTable(table, seam);
    for (const PlannedKey& old : plan.OldKeys()) {
        if (old.leftAlone) continue;
        KeyPlan::Load(old, tax);
        overview.leftRows.push_back(
            KeyOverviewRow(old.oldId, tax.GetPercent(), tax.UseNetto() != 0, tax.GetKonto(), KeyOverview::kOldKey));
        if (!old.Converts()) {
            overview.rightRows.push_back(NotConvertedRow(old));
            continue;
        }
        // A new id listed once counts as present for every further old key deriving it.
        const bool present = !plan.Take(old.newId);
        overview.rightRows.push_back(KeyOverviewRow(old.newId, old.newRate, false, {},
                                                    present ? KeyOverview::kNewKeyPresent : KeyOverview::kNewKeyAbsent));
    }
    return status;
}
