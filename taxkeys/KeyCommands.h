#pragma once
#include <string>

class Konto;

// Free functions of the account and old-key commands (CTheApp::UpdateAccounts,
// OnRemoveTax, OnReverseExtendTax).

// Puts `taxid` into every account of the mandate whose default tax key is
// exactly `oldid`, each under its own single-record lock, logging every
// account changed and every update that failed. `konto` is bound to the
// mandate's account file (update mode). Returns 1, or 0 after the log line
// of a failed update or read.
int UpdateKonten(Konto& konto, const std::string& oldid, const std::string& taxid);

// 1 when no booking of the open mandate carries `strTaxId` (exactly), 0 when one does.
int CanDeleteTaxId(const std::string& strTaxId);
