#include "taxkeys/CommandRun.h"

#include "app/framework/Format.h"
#include "app/framework/Strings.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/StorageEngine.h"
#include "res/Resource.h"
#include "taxkeys/TaxKeyFiles.h"

CommandRun::CommandRun(Mandate& mandate) : mandate_(mandate) {}

CommandRun::~CommandRun() = default;

bool CommandRun::Begin() {
    formpass::FinishPending(mandate_);
    int status = pendra::kOk;
    batch_ = mandate_.Engine() ? mandate_.Engine()->BeginBatch(status) : nullptr;
    if (!batch_) return Fail(Format(LoadString(IDS_LOG_TRANSACTION_FAILED), status));
    return true;
}

bool CommandRun::Fail(const std::string& reason) {
    batch_.reset();
    if (!reason.empty()) LogLine(reason);
    LogFailure(Format(LoadString(IDS_LOG_NOT_COMPLETED), mandate_.GetPath()));
    return false;
}

bool CommandRun::ReadFailed(const std::string& file, int status) {
    return Fail(Format(LoadString(IDS_LOG_READ_FAILED), file, status));
}

bool CommandRun::ReadPlan(TaxKeyFiles& files, KeyPlan& plan) {
    if (const int status = files.ReadPlan(plan); status != pendra::kOk)
        return ReadFailed(mandate_.GetTaxName(), status);
    return true;
}

bool CommandRun::Finish(const std::optional<FormPass>& pass) {
    const std::string dir = mandate_.GetPath();
    if (pass) {
        std::string reason;
        if (!formpass::Save(dir, *pass, reason)) return Fail(reason);
    }
    const int status = batch_ ? batch_->Commit() : pendra::kBadArgument;
    batch_.reset();
    // A journal stays after a failed commit: whether the commit went through
    // after all is for the records to tell the next command.
    if (status != pendra::kOk) return Fail(Format(LoadString(IDS_LOG_TRANSACTION_FAILED), status));
    if (pass) formpass::RunJournalled(dir, *pass);
    return true;
}
