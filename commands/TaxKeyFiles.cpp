#include "commands/TaxKeyFiles.h"

#include "base/Format.h"
#include "core/CommandContext.h"
#include "core/LogSink.h"
#include "core/PendraUiBridge.h"
#include "core/Strings.h"
#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "pendra/Mandate.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "res/Resource.h"
#include "commands/CommandRun.h"
#include "rules/ConversionRules.h"

namespace {
constexpr int kMsgCannotOpen = 5000;
constexpr short kFormulaAccountType = 0;
constexpr int kFlatRateSection = 0, kFlatRateKey = 27;
}  // namespace

TaxKeyFiles::TaxKeyFiles(Mandate* mandate)
    : mandate_(mandate),
      readFile_(mandate),
      writeFile_(mandate),
      kontoFile_(mandate),
      buchFile_(mandate),
      walk_(mandate),
      writer_(mandate),
      konto_(mandate),
      buch_(mandate) {}

bool TaxKeyFiles::Open(UiSeam& seam) {
    // The account and booking files are opened as well: a command must not
    // take a file it cannot read for one without accounts or bookings.
    const std::pair<BFile*, std::pair<std::string, int>> files[] = {
        {&readFile_, {mandate_->GetTaxName(), BFile::kModeReadOnly}},
        {&writeFile_, {mandate_->GetTaxName(), BFile::kModeUpdate}},
        {&kontoFile_, {mandate_->GetKontoName(), BFile::kModeReadOnly}},
        {&buchFile_, {mandate_->GetBuchName(), BFile::kModeReadOnly}},
    };
    for (const auto& [file, how] : files) {
        if (const int status = file->Open(how.first, how.second, true); status != pendra::kOk) {
            ShowLibraryError(seam, kMsgCannotOpen, mandate_->GetLastName(), status);
            return false;
        }
    }
    walk_.UseFile(&readFile_);
    writer_.UseFile(&writeFile_);
    konto_.UseFile(&kontoFile_);
    buch_.UseFile(&buchFile_);
    return true;
}

int TaxKeyFiles::ReadFormulaAccount(const Tax& key, bool& formula) {
    formula = false;
    const int status = konto_.ReadKonto(key.GetKonto());
    if (status == pendra::kKeyNotFound || status == pendra::kKeyTooLong) return pendra::kOk;
    if (status != pendra::kOk) return status;
    formula = konto_.GetType() == kFormulaAccountType;
    return pendra::kOk;
}

int TaxKeyFiles::ReadAccountOn(const std::string& id, std::string& number) {
    number.clear();
    const int status = konto_.ReadFirstByTaxId(id);
    if (status == pendra::kOk) number = konto_.GetNumber();
    return pendra::WalkEnded(status) || status == pendra::kKeyTooLong ? pendra::kOk : status;
}

int TaxKeyFiles::ReadBookingUses(const std::vector<std::string>& ids, std::vector<BookingUse>& uses) {
    uses.clear();
    std::vector<int> found;
    if (const int status = buch_.ExistsWithTaxIds(ids, found); status != pendra::kOk) return status;
    for (const int status : found) {
        // No booking can carry an id longer than its field.
        if (status == pendra::kKeyNotFound || status == pendra::kKeyTooLong)
            uses.push_back({pendra::kOk, false});
        else
            uses.push_back({status, status == pendra::kOk});
    }
    return pendra::kOk;
}

Tax& TaxKeyFiles::Current(const PlannedKey& planned) {
    KeyPlan::Load(planned, walk_);
    return walk_;
}

std::string ActiveFormFile(const Mandate& mandate) {
    const bool flatRate = mandate.GetIniLong(kFlatRateSection, kFlatRateKey, 0) != 0;
    return MwstMandateSheetName(&mandate, flatRate);
}

unsigned ActiveFormVersion(CommandContext& ctx) {
    // Where the command works on the mandate's files: in a dry run, the
    // workbook an earlier command of the run activated in its scratch folder.
    const bool flatRate = ctx.mandate.GetIniLong(kFlatRateSection, kFlatRateKey, 0) != 0;
    const std::string workbook = MwstSheetName(MwstSheetFolder(ctx), flatRate);
    std::string failure;
    const unsigned version = MwstGetVersion(workbook, &failure);
    // Version 0 then decides as for a mandate without a form; the log says why.
    if (!failure.empty()) ctx.log.Failure(Format(LoadString(IDS_LOG_FORM_UNREADABLE), workbook, failure));
    return version;
}
