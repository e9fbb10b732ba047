#include "pendra/MIniSetHelper.h"

#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/StorageEngine.h"

namespace {
bool globalInstanceOpen = false;
}

MIniSetHelper::MIniSetHelper(Mandate* mandate, bool global) : mandate_(mandate), global_(global) {}

MIniSetHelper::~MIniSetHelper() { Close(); }

int MIniSetHelper::OpenExclusive() {
    if (open_) return pendra::kOk;
    StorageEngine* engine = mandate_ ? mandate_->Engine() : nullptr;
    if (!engine) return pendra::kFileNotOpen;
    int status = engine->AcquireExclusive();
    if (status != pendra::kOk) return status;
    open_ = true;
    if (global_) globalInstanceOpen = true;
    return pendra::kOk;
}

void MIniSetHelper::Close() {
    if (!open_) return;
    open_ = false;
    if (global_) globalInstanceOpen = false;
    // A mandate closed meanwhile gave its lock back with its lock file.
    if (StorageEngine* engine = mandate_->Engine()) engine->ReleaseExclusive();
}

bool MIniSetHelper::IsGlobalBtrieveFileInstanceOpen() { return globalInstanceOpen; }
