#include "commands/CommandRun.h"

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/RunSafety.h"
#include "core/Strings.h"
#include "forms/FilesOfOurs.h"
#include "forms/MappingSheet.h"
#include "forms/MwstSheet.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/StorageEngine.h"
#include "res/Resource.h"
#include "commands/KeyTexts.h"
#include "commands/TaxKeyFiles.h"

CommandRun::CommandRun(CommandContext& ctx) : ctx_(ctx) {}

CommandRun::~CommandRun() = default;

bool CommandRun::Begin(bool adaptsForm) {
    if (Stopped()) return false;
    // New ids the user prescribed must never give way to the built-in rule.
    if (const std::optional<std::string> table = filesofours::UnreadableTableLine(ctx_.table))
        return Fail(*table);
    if (!filesofours::Replaceable(ctx_)) return false;
    // A workbook the pass could not adapt is found before any record changes.
    if (adaptsForm) {
        const std::string form = MwstOwnSheetName(MwstSheetFolder(ctx_), MwstMandateUsesFlatRate(&ctx_.mandate));
        if (const std::optional<std::string> problem = mapping::CheckWorkbook(ctx_, form))
            return Fail(Format(LoadString(IDS_LOG_FORM_REASON), *problem) + LoadString(IDS_LOG_FORM_WAY_OUT));
    }
    // The backup comes first: a pending pass changes a workbook, and a backup
    // cannot be taken inside the transaction.
    if (!BeforeChange(ctx_) || Stopped()) return false;
    formpass::FinishPending(ctx_);
    int status = pendra::kOk;
    StorageEngine* engine = ctx_.mandate.Engine();
    if (IsDryRun(ctx_)) {
        // One transaction for the whole dry run, never committed.
        std::unique_ptr<StorageBatch>& dry = ctx_.safety->dryBatch;
        if (!dry) dry = engine ? engine->BeginBatch(status) : nullptr;
        if (!dry) return Fail(Format(LoadString(IDS_LOG_TRANSACTION_FAILED), status));
        return true;
    }
    batch_ = engine ? engine->BeginBatch(status) : nullptr;
    if (!batch_) return Fail(Format(LoadString(IDS_LOG_TRANSACTION_FAILED), status));
    return true;
}

bool CommandRun::Fail(const std::string& reason) {
    batch_.reset();
    if (IsDryRun(ctx_)) ctx_.safety->dryBatch.reset();
    if (!reason.empty()) ctx_.log.Line(reason);
    // A status alone does not tell that the database server went away.
    if (const StorageEngine* engine = ctx_.mandate.Engine(); engine && engine->ConnectionLost())
        ctx_.log.Line(LoadString(IDS_LOG_CONNECTION_LOST));
    ctx_.log.Failure(Format(LoadString(IDS_LOG_NOT_COMPLETED), ctx_.mandate.GetPath()));
    return false;
}

bool CommandRun::Stopped() {
    if (!StopRequested(ctx_)) return false;
    Fail(Format(LoadString(IDS_LOG_STOPPED), ctx_.mandate.GetPath()));
    return true;
}

bool CommandRun::ReadFailed(const std::string& file, int status) {
    return Fail(Format(LoadString(IDS_LOG_READ_FAILED), file, status));
}

bool CommandRun::OpenFiles(TaxKeyFiles& files) {
    return files.Open(ctx_.seam) || Fail(std::string());
}

bool CommandRun::ReadPlan(TaxKeyFiles& files, KeyPlan& plan) {
    if (const int status = files.ReadPlan(plan); status != pendra::kOk)
        return ReadFailed(ctx_.mandate.GetTaxName(), status);
    return true;
}

bool CommandRun::Finish(const std::optional<FormPass>& pass) {
    // The last moment a stop can take everything back.
    if (Stopped()) return false;
    if (pass) {
        std::string reason;
        if (!formpass::Save(FilesFolder(ctx_), *pass, reason)) return Fail(reason);
    }
    if (IsDryRun(ctx_)) {
        // The records stay in the dry run's transaction (rolled back at its
        // end), where the pass reads them; the workbooks lie in its scratch folder.
        if (pass) formpass::RunJournalled(ctx_, *pass);
        return true;
    }
    const int status = batch_ ? batch_->Commit() : pendra::kBadArgument;
    batch_.reset();
    if (status != pendra::kOk) {
        // The journal goes with the records it was written for. Only when the
        // server went away mid-commit may it have gone through after all:
        // then the journal stays, and the records tell the next command.
        const StorageEngine* engine = ctx_.mandate.Engine();
        if (pass && !(engine && engine->ConnectionLost())) formpass::Remove(FilesFolder(ctx_));
        return Fail(Format(LoadString(IDS_LOG_TRANSACTION_FAILED), status));
    }
    if (pass) formpass::RunJournalled(ctx_, *pass);
    return true;
}
