#include "pendra/BRecord.h"

#include <cstring>

#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/StorageEngine.h"
#include "pendra/TaxIdText.h"

BRecord::BRecord(std::size_t size) : buffer_(size, 0) {}

BRecord::~BRecord() { ReleaseLock(); }

void BRecord::UseFile(BFile* file) {
    ReleaseLock();
    file_ = file;
    currentKey_.clear();
    hasCurrent_ = false;
}

StorageTable* BRecord::UsableTable(int& status) const {
    if (!file_ || !file_->IsOpen()) {
        status = pendra::kFileNotOpen;
        return nullptr;
    }
    StorageTable* table = file_->Table();
    if (table->Layout().recordSize != buffer_.size()) {
        status = pendra::kBadArgument;  // a record object of another file
        return nullptr;
    }
    status = pendra::kOk;
    return table;
}

int BRecord::CheckWritable(StorageTable*& table) const {
    int status;
    table = UsableTable(status);
    if (!table) return status;
    if (file_->Mode() == BFile::kModeReadOnly) return pendra::kAccessDenied;
    if (Mandate* mandate = file_->GetMandate()) mandate->NoteWriteAsked();
    return pendra::kOk;
}

void BRecord::ReleaseLock() {
    if (!holdsLock_) return;
    holdsLock_ = false;
    if (file_ && file_->IsOpen()) file_->Table()->UnlockRecord(lockedKey_);
    lockedKey_.clear();
}

// Runs one read; with the wait-lock flag set, waits for the record's lock and
// reads the record again once it is ours (it may have changed meanwhile).
template <typename Fetch>
int BRecord::ReadWith(Fetch fetch, bool positionLostOnMiss) {
    int status;
    StorageTable* table = UsableTable(status);
    if (!table) return status;
    const bool lock = lockFlag_ == kWaitLock;
    lockFlag_ = 0;
    for (;;) {
        std::string key;
        status = fetch(*table, buffer_.data(), key);
        if (status != pendra::kOk) {
            if (positionLostOnMiss && status == pendra::kKeyNotFound) hasCurrent_ = false;
            return status;
        }
        if (lock && !(holdsLock_ && lockedKey_ == key)) {
            ReleaseLock();
            status = table->LockAndRead(key, buffer_.data());
            // Deleted while we waited: read on from the same position.
            if (status == pendra::kKeyNotFound) continue;
            if (status != pendra::kOk) return status;
            holdsLock_ = true;
            lockedKey_ = key;
        }
        currentKey_ = std::move(key);
        hasCurrent_ = true;
        return pendra::kOk;
    }
}

int BRecord::ReadFirst() {
    int status = ReadWith(
        [](StorageTable& t, unsigned char* r, std::string& k) { return t.ReadFirst(r, k); },
        false);
    if (status == pendra::kEndOfFile) hasCurrent_ = false;
    return status;
}

int BRecord::ReadNext() {
    if (!hasCurrent_) return pendra::kNoCurrentRecord;
    return ReadWith(
        [this](StorageTable& t, unsigned char* r, std::string& k) {
            return t.ReadAfter(currentKey_, r, k);
        },
        false);
}

int BRecord::ReadByKey(const std::string& key) {
    return ReadWith(
        [&key](StorageTable& t, unsigned char* r, std::string& k) {
            int status = t.ReadEqual(key, r);
            if (status == pendra::kOk) k = key;
            return status;
        },
        true);
}

int BRecord::ReadFirstWithTaxId(const std::string& taxId) {
    return ReadWith(
        [&taxId](StorageTable& t, unsigned char* r, std::string& k) {
            return t.ReadFirstByTaxId(taxId, r, k);
        },
        true);
}

int BRecord::ReadNextWithTaxId(const std::string& taxId) {
    if (!hasCurrent_) return pendra::kNoCurrentRecord;
    int status = ReadWith(
        [this, &taxId](StorageTable& t, unsigned char* r, std::string& k) {
            return t.ReadAfterByTaxId(taxId, currentKey_, r, k);
        },
        false);
    // The end of this walk is no missing record: keep the position.
    return status == pendra::kKeyNotFound ? pendra::kEndOfFile : status;
}

int BRecord::FindTaxId(const std::string& taxId) {
    int status;
    StorageTable* table = UsableTable(status);
    if (!table) return status;
    return table->ExistsWithTaxId(taxId);
}

int BRecord::CountTaxId(const std::string& taxId, std::size_t& count) {
    count = 0;
    int status;
    StorageTable* table = UsableTable(status);
    if (!table) return status;
    return table->CountWithTaxId(taxId, count);
}

int BRecord::FindTaxIds(const std::vector<std::string>& taxIds, std::vector<int>& found) {
    int status;
    StorageTable* table = UsableTable(status);
    if (!table) {
        found.clear();
        return status;
    }
    if (taxIds.empty()) {
        found.clear();
        return pendra::kOk;
    }
    return table->ExistsWithTaxIds(taxIds, found);
}

int BRecord::Insert() {
    StorageTable* table;
    int status = CheckWritable(table);
    if (status != pendra::kOk) return status;
    status = table->Insert(buffer_.data());
    if (status == pendra::kOk) {
        currentKey_ = table->Layout().KeyOf(buffer_.data());
        hasCurrent_ = true;
    }
    return status;
}

int BRecord::Update() {
    StorageTable* table;
    const int status = CheckWritable(table);
    return status == pendra::kOk ? UpdateCurrent(table, nullptr) : status;
}

int BRecord::UpdateCurrent(StorageTable* table, const std::string* readAheadTaxId) {
    if (!hasCurrent_) return pendra::kNoCurrentRecord;
    if (table->Layout().KeyOf(buffer_.data()) != currentKey_) return pendra::kBadArgument;
    // The lock of this very record goes with the write; another one after it.
    if (holdsLock_ && lockedKey_ == currentKey_) {
        const int status =
            readAheadTaxId
                ? table->UpdateAndUnlockReadingAhead(currentKey_, buffer_.data(), *readAheadTaxId)
                : table->UpdateAndUnlock(currentKey_, buffer_.data());
        if (status == pendra::kOk) ForgetLock();
        return status;
    }
    const int status = table->Update(currentKey_, buffer_.data());
    if (status == pendra::kOk) ReleaseLock();
    return status;
}

int BRecord::UpdateAndReadNextWithTaxId(const std::string& taxId, int& next) {
    StorageTable* table;
    int status = CheckWritable(table);
    if (status != pendra::kOk) return status;
    status = UpdateCurrent(table, &taxId);
    if (status == pendra::kOk) {
        lockFlag_ = kWaitLock;
        next = ReadNextWithTaxId(taxId);
    }
    // Whatever the storage read ahead and the walk did not take is released here.
    table->DropReadAhead();
    return status;
}

int BRecord::Delete() {
    StorageTable* table;
    int status = CheckWritable(table);
    if (status != pendra::kOk) return status;
    if (!hasCurrent_) return pendra::kNoCurrentRecord;
    if (holdsLock_ && lockedKey_ == currentKey_) {
        status = table->DeleteAndUnlock(currentKey_);
        if (status == pendra::kOk) ForgetLock();
        return status;
    }
    status = table->Delete(currentKey_);
    if (status == pendra::kOk) ReleaseLock();
    return status;
}

void BRecord::ForgetLock() {
    holdsLock_ = false;
    lockedKey_.clear();
}

void BRecord::SetLockFlag(int flag) { lockFlag_ = flag; }

int BRecord::UnlockSingle() {
    ReleaseLock();
    return pendra::kOk;
}

std::string BRecord::Field(std::size_t offset, std::size_t width) const {
    return FixedField(buffer_.data(), offset, width);
}

int BRecord::SetField(std::size_t offset, std::size_t width, const std::string& text) {
    if (text.size() > width) return pendra::kKeyTooLong;
    if (text.find('\0') != std::string::npos) return pendra::kBadArgument;
    std::memset(buffer_.data() + offset, 0, width);
    std::memcpy(buffer_.data() + offset, text.data(), text.size());
    return pendra::kOk;
}

std::string BRecord::IdField(std::size_t offset, std::size_t width) const {
    return pendra::DecodeTaxId(Field(offset, width));
}

int BRecord::SetIdField(std::size_t offset, std::size_t width, const std::string& id) {
    std::string stored;
    const int status = pendra::EncodeTaxId(id, width, stored);
    return status == pendra::kOk ? SetField(offset, width, stored) : status;
}
