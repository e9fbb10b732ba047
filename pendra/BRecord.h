#pragma once
#include <cstddef>
#include <string>
#include <vector>

class BFile;
class StorageTable;

// A record buffer bound to a file with UseFile. Reads fill the buffer; Insert,
// Update and Delete act on the buffer and on the record last read through this
// object. Every write is one transaction.
//
// Walks: ReadFirst gives the record with the smallest key, ReadNext the record
// with the smallest key greater than the key of the record last read through
// this object, as the file is at the time of the call. So a record inserted
// behind the position by another handle during a walk is met, one inserted
// before it is not, and a deleted record is simply not met.
//
// Locks: after SetLockFlag(100) the next read waits for and takes a single-record
// lock, which keeps every other handle and process from changing that record. A
// successful Update or Delete, or UnlockSingle, releases it; taking another one
// releases the one held. Update and Delete answer kRecordLocked at once while
// another handle holds the record's lock.
//
// Update never changes the key: a buffer whose key differs from the record
// last read is refused with kBadArgument (re-keying is Delete plus Insert, so
// no walk is moved behind the caller's back). Insert makes the new record the
// current one. A failed keyed read leaves no current record; a walk reaching
// the end keeps its position.
class BRecord {
public:
    static constexpr int kWaitLock = 100;

    explicit BRecord(std::size_t size);
    virtual ~BRecord();
    BRecord(const BRecord&) = delete;
    BRecord& operator=(const BRecord&) = delete;

    void UseFile(BFile* file);
    BFile* File() const { return file_; }

    int ReadFirst();
    int ReadNext();
    int Insert();
    int Update();
    int Delete();

    // Update, and when it succeeds the walk by tax id `taxId` read on under the
    // wait lock: SetLockFlag(kWaitLock) and ReadNextWithTaxId, whose answer is
    // `next` (left alone when the update failed). The same steps, in one round
    // trip where the storage can.
    int UpdateAndReadNextWithTaxId(const std::string& taxId, int& next);

    void SetLockFlag(int flag);
    int UnlockSingle();

    unsigned char* GetBuffer() { return buffer_.data(); }
    const unsigned char* GetBuffer() const { return buffer_.data(); }
    int Size() const { return static_cast<int>(buffer_.size()); }

protected:
    // Reads the record with exactly this key into the buffer.
    int ReadByKey(const std::string& key);
    // Walk over the records whose tax id (secondary index) is `taxId`, in key
    // order; the position is the key of the record last read, as for ReadNext.
    int ReadFirstWithTaxId(const std::string& taxId);
    int ReadNextWithTaxId(const std::string& taxId);
    // kOk when a record carries `taxId`, kKeyNotFound when none; the buffer is left alone.
    int FindTaxId(const std::string& taxId);
    // FindTaxId for each of the stored ids `taxIds`, in one request where the engine can.
    int FindTaxIds(const std::vector<std::string>& taxIds, std::vector<int>& found);
    // How many records carry the stored id `taxId`; the buffer is left alone.
    int CountTaxId(const std::string& taxId, std::size_t& count);
    // Text of a fixed field: bytes up to the first NUL, at most `width`.
    std::string Field(std::size_t offset, std::size_t width) const;
    // Writes `text` into a fixed field, NUL-padded; kKeyTooLong when it does not fit.
    int SetField(std::size_t offset, std::size_t width, const std::string& text);
    // A tax id field (TaxIdText.h): stored in Windows-1252, handed over as UTF-8.
    std::string IdField(std::size_t offset, std::size_t width) const;
    int SetIdField(std::size_t offset, std::size_t width, const std::string& id);

private:
    template <typename Fetch>
    int ReadWith(Fetch fetch, bool positionLostOnMiss);
    // The table behind the file, or nullptr with `status` set.
    StorageTable* UsableTable(int& status) const;
    int CheckWritable(StorageTable*& table) const;
    // Update through `table`; `readAheadTaxId` tells it the walk read on next.
    int UpdateCurrent(StorageTable* table, const std::string* readAheadTaxId);
    void ReleaseLock();
    // The lock was released by the storage itself (with a write).
    void ForgetLock();

    BFile* file_ = nullptr;
    std::vector<unsigned char> buffer_;
    std::string currentKey_;   // key of the record last read; empty: none
    bool hasCurrent_ = false;
    int lockFlag_ = 0;
    bool holdsLock_ = false;
    std::string lockedKey_;
};
