#include "rules/TaxArray.h"

#include "formula/KeyPair.h"
#include "pendra/BFile.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "rules/KeyPlan.h"

namespace {
constexpr int kMsgCannotOpen = 5000;
constexpr short kAccountTypeOne = 1;
}  // namespace

void GetTaxArray(Mandate& open, const ConvertTable& table, PendraUi& ui, std::vector<std::string>& ar, int all,
                 const RateChange& change) {
    Mandate* mandate = &open;
    BFile taxFile(mandate);
    if (int status = taxFile.Open(mandate->GetTaxName(), BFile::kModeReadOnly, true); status != pendra::kOk) {
        ShowError(ui, kMsgCannotOpen, mandate->GetLastName(), status);
        return;
    }
    // Without the account file no automatic account can be read, so no key qualifies.
    BFile kontoFile(mandate);
    if (kontoFile.Open(mandate->GetKontoName(), BFile::kModeReadOnly, true) != pendra::kOk) return;

    Tax tax(mandate);
    tax.UseFile(&taxFile);
    Konto konto(mandate);
    konto.UseFile(&kontoFile);
    KeyPlan plan(table, change);
    plan.Read(tax);
    for (const PlannedKey& old : plan.OldKeys()) {
        // A key that is not converted has no pair: its id must not enter a formula.
        if (!old.newIdFits || !old.Converts()) continue;
        KeyPlan::Load(old, tax);
        if (konto.ReadKonto(tax.GetKonto()) != pendra::kOk) continue;
        if (all == 0 && konto.GetType() != kAccountTypeOne) continue;
        ar.push_back(keypair::Make(old.oldId, old.newId));
    }
}
