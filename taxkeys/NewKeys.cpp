// "Neue Steuerschlüssel einfügen" and "Neue Steuerschlüssel entfernen": a new
// key at the 2024 rate beside every old key, and its removal; the frame
// commands run them on the open mandate or as a batch over the list.
#include <algorithm>
#include <cstring>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/framework/Format.h"
#include "app/framework/Strings.h"
#include "forms/KeyPair.h"
#include "forms/MwstFormulaUpdater.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraStatus.h"
#include "res/Resource.h"
#include "taxkeys/ConversionRules.h"
#include "taxkeys/KeyCommands.h"
#include "taxkeys/TaxKeyFiles.h"

namespace {

constexpr unsigned kLastFormBeforeInsert = 2018;
constexpr unsigned kLastFormBeforeRemove = 2024;

// Runs a key command whose log says "begin", then "end" or "refused": as a
// batch over the selected list rows, else on the open mandate.
void RunKeyCommand(CMainFrame& frame, int beginId, int endId, int refusedId, int (CTheApp::*operation)()) {
    CTheApp& app = TheApp();
    auto runOn = [&](const std::string& dir) {
        LogLine(Format(LoadString(beginId), dir));
        app.m_changeFlag = 0;
        if ((app.*operation)())
            LogLine(Format(LoadString(endId), dir));
        else
            LogLine(LoadString(refusedId));
    };
    if (frame.RunBatch(runOn)) return;
    app.m_changeFlag = 0;
    app.SwitchView(0);
    runOn(Mandate::GetGlobalMandate()->GetPath());
}

// The old key in `key` turned into its new key: new rate of the class, the new
// gross factor when the old one is that class's, the new id. Everything else
// (entry flag, automatic account, text) stays the old key's.
int MakeNewKey(Tax& key, float newRate, const std::string& newId) {
    const std::string quoteText = RateText(key.GetQuote());
    for (stsatz cls : {STSATZ_25, STSATZ_37, STSATZ_77})
        if (quoteText == OldQuoteText(cls)) key.SetQuote(NewQuote(cls));
    std::memcpy(key.GetBuffer() + Tax::kRateOffset, &newRate, sizeof newRate);
    return key.SetId(newId);
}

}  // namespace

void CMainFrame::OnNewKeys() {
    RunKeyCommand(*this, IDS_BEGIN_INSERT, IDS_END_INSERT, IDS_INSERT_REFUSED, &CTheApp::OnExtendTax);
}

void CMainFrame::OnNewKeysReverse() {
    RunKeyCommand(*this, IDS_BEGIN_REMOVE_NEW, IDS_END_REMOVE_NEW, IDS_REMOVE_REFUSED,
                  &CTheApp::OnReverseExtendTax);
}

int CTheApp::OnExtendTax() {
    if (m_pMandate->IsReadOnly()) return 0;
    if (ActiveFormVersion() > kLastFormBeforeInsert) return 0;
    TaxKeyFiles files(m_pMandate);
    if (!files.Open()) return 0;

    std::vector<std::string> inserted, formulaOld, formulaNew, pairs;
    Tax& key = files.Walk();
    Tax& writer = files.Writer();
    for (int status = key.ReadFirst(); status == pendra::kOk; status = key.ReadNext()) {
        const std::string oldId = key.GetId();
        if (MWSTSchluesselIgnorieren(oldId) == 1) continue;
        stsatz satz;
        float newRate;
        if (!SetSatz(RateText(key.GetPercent()), satz, newRate)) continue;
        const std::string newId = ConvertId(oldId, satz);
        if (std::find(inserted.begin(), inserted.end(), newId) != inserted.end()) continue;
        pairs.push_back(keypair::Make(oldId, newId));
        if (UniqueId(newId.c_str()) == 0) continue;
        inserted.push_back(newId);

        int written = MakeNewKey(key, newRate, newId);
        if (written == pendra::kOk) {
            std::memcpy(writer.GetBuffer(), key.GetBuffer(), static_cast<std::size_t>(key.Size()));
            written = writer.Insert();
        }
        if (written != pendra::kOk) {
            // The user must see that this key is missing, not believe the mandate converted.
            LogFailure(Format(LoadString(IDS_LOG_INSERT_FAILED), newId, written));
            continue;
        }
        m_changeFlag = 1;
        LogLine(Format(LoadString(IDS_LOG_KEY_INSERTED), newId));
        if (files.HasFormulaAccount(key)) {
            formulaOld.push_back(oldId);
            formulaNew.push_back(newId);
            LogLine(Format(LoadString(IDS_LOG_FORMULAS_EXTENDED), newId));
        }
    }
    if (!formulaOld.empty() || !pairs.empty()) MwstExtendTaxid(formulaOld, formulaNew, &pairs);
    return 1;
}

int CTheApp::OnReverseExtendTax() {
    if (m_pMandate->IsReadOnly()) return 0;
    if (ActiveFormVersion() > kLastFormBeforeRemove) return 0;
    TaxKeyFiles files(m_pMandate);
    if (!files.Open()) return 0;

    std::vector<std::string> deleted;
    Tax& key = files.Walk();
    Tax& writer = files.Writer();
    for (int status = key.ReadFirst(); status == pendra::kOk; status = key.ReadNext()) {
        stsatz satz;
        float newRate;
        if (!SetSatz(RateText(key.GetPercent()), satz, newRate)) continue;
        const std::string newId = ConvertId(key.GetId(), satz);
        if (writer.Read(newId) != pendra::kOk) continue;
        if (CanDeleteTaxId(newId) == 0) continue;
        if (const int removed = writer.Delete(); removed != pendra::kOk) {
            LogFailure(Format(LoadString(IDS_LOG_DELETE_FAILED), newId, removed));
            continue;
        }
        m_changeFlag = 1;
        LogLine(Format(LoadString(IDS_LOG_KEY_REMOVED), newId));
        if (files.HasFormulaAccount(key)) {
            deleted.push_back(newId);
            LogLine(Format(LoadString(IDS_LOG_REMOVED_FROM_FORMULAS), newId));
        }
    }
    if (!deleted.empty()) MwstDeleteTaxid(deleted);
    return 1;
}
