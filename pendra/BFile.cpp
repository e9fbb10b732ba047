#include "pendra/BFile.h"

#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/StorageEngine.h"

BFile::BFile(Mandate* mandate) : mandate_(mandate) {}

BFile::~BFile() = default;

int BFile::Open(const std::string& name, int mode, bool) {
    Close();
    if (!mandate_) return pendra::kFileNotOpen;
    mandate_->SetLastName(name);
    StorageEngine* engine = mandate_->Engine();
    if (!engine) return pendra::kFileNotOpen;
    if (mode != kModeUpdate && mode != kModeReadOnly) return pendra::kBadArgument;

    const std::string prefix = mandate_->GetPath() + "/" + MandateFiles::kDatabaseFileName + "#";
    if (!name.starts_with(prefix)) return pendra::kFileNotFound;
    const TableLayout* layout = FindTableLayout(std::string_view(name).substr(prefix.size()));
    if (!layout) return pendra::kFileNotFound;

    int status = pendra::kOk;
    table_ = engine->OpenTable(*layout, status);
    if (!table_) return status;
    mode_ = mode;
    return pendra::kOk;
}

int BFile::Close() {
    table_.reset();
    mode_ = kModeUpdate;
    return pendra::kOk;
}

bool BFile::IsOpen() const { return table_ && table_->IsAttached(); }
