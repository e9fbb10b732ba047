#include "taxkeys/TaxKeyFiles.h"

#include "app/CTheApp.h"
#include "app/CTheView.h"
#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraMessages.h"
#include "mandate/pendra/PendraStatus.h"

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
      walk_(mandate),
      writer_(mandate),
      konto_(mandate) {}

bool TaxKeyFiles::Open() {
    for (auto [file, mode] : {std::pair{&readFile_, BFile::kModeReadOnly}, std::pair{&writeFile_, BFile::kModeUpdate}}) {
        if (const int status = file->Open(mandate_->GetTaxName(), mode, true); status != pendra::kOk) {
            ShowError(ZylGetResourceHandle(), kMsgCannotOpen, mandate_->GetLastName(), status);
            return false;
        }
    }
    walk_.UseFile(&readFile_);
    writer_.UseFile(&writeFile_);
    // Without the account file no automatic account can be read: no key then
    // counts as a formula key, as with an account that cannot be read.
    kontoFile_.Open(mandate_->GetKontoName(), BFile::kModeReadOnly, true);
    konto_.UseFile(&kontoFile_);
    return true;
}

bool TaxKeyFiles::HasFormulaAccount(const Tax& key) {
    return konto_.ReadKonto(key.GetKonto()) == pendra::kOk && konto_.GetType() == kFormulaAccountType;
}

unsigned ActiveFormVersion() {
    const Mandate* mandate = Mandate::GetGlobalMandate();
    const bool flatRate = mandate->GetIniLong(kFlatRateSection, kFlatRateKey, 0) != 0;
    return MwstGetVersion(MwstMandateSheetName(flatRate));
}

void LogLine(const std::string& line) { TheApp().GetLogView()->AppendLine(line); }

void LogFailure(const std::string& line) {
    ++TheApp().m_failures;
    LogLine(line);
}
