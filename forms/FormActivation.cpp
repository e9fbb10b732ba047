// "MWST-Formular 2024 aktivieren" and "MWST-Formular 2018 aktivieren".
#include "forms/FormActivation.h"

#include "base/Format.h"
#include "core/CommandContext.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "forms/FormPassJournal.h"
#include "forms/FormUpdate.h"
#include "mandate/pendra/BFile.h"
#include "mandate/pendra/Konto.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/Tax.h"
#include "res/Resource.h"

namespace {

// Both directions replace a form workbook whenever the versions differ.
constexpr int kInvert = 1;

// The status that ends a walk over every record of the file `name`: kEndOfFile
// (or kKeyNotFound for an empty file) when all could be read.
template <class Record>
int WalkAll(Mandate& mandate, const std::string& name) {
    BFile file(&mandate);
    if (const int status = file.Open(name, BFile::kModeReadOnly); status != pendra::kOk) return status;
    Record record(&mandate);
    record.UseFile(&file);
    int status = record.ReadFirst();
    while (status == pendra::kOk) status = record.ReadNext();
    return status;
}

// The transfer reads the key and account files: a mandate whose files cannot
// be read keeps its workbooks, and the log says why.
bool RecordsReadable(Mandate& mandate, LogSink& log) {
    const std::pair<std::string, int> walks[] = {{mandate.GetTaxName(), WalkAll<Tax>(mandate, mandate.GetTaxName())},
                                                 {mandate.GetKontoName(), WalkAll<Konto>(mandate, mandate.GetKontoName())}};
    for (const auto& [name, status] : walks) {
        if (pendra::WalkEnded(status)) continue;
        log.Failure(Format(LoadString(IDS_LOG_READ_FAILED), name, status));
        log.Line(Format(LoadString(IDS_LOG_NOT_COMPLETED), mandate.GetPath()));
        return false;
    }
    return true;
}

}  // namespace

int ActivateForm(CommandContext& ctx, int year) {
    if (!RecordsReadable(ctx.mandate, ctx.log)) return 0;
    // Everything after this may replace files of the mandate.
    if (!BeforeChange(ctx)) return 0;
    // A formula pass still pending belongs to the workbook it was meant for.
    formpass::FinishPending(ctx);
    return UpdateForms(ctx, year, kInvert) ? 1 : 0;
}
