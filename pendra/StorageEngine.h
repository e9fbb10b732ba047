#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pendra/PendraStatus.h"
#include "pendra/TableLayout.h"

// The storage behind a mandate. Mandate, BFile and BRecord talk only to these
// two interfaces, so a second engine (PostgreSQL for SQL mandates) plugs in
// without touching callers. The file engine is SqliteEngine.
//
// All results are PendraStatus codes. Records are passed as buffers of
// layout.recordSize bytes; keys as described in TableLayout.h.

struct MandateMeta {
    int formatVersion = 0;
    std::string name;
    long dataVersion = 0;
    std::string passwordHash;  // empty: no password
    bool readOnlyFlag = false;
};

struct MandateSetting {
    int section;
    int key;
    long value;
};

// One open record file. Owned by its BFile; outlives neither its engine's
// Close (it is then detached and answers kFileNotOpen) nor anything else.
class StorageTable {
public:
    virtual ~StorageTable() = default;
    virtual const TableLayout& Layout() const = 0;
    virtual bool IsAttached() const = 0;

    // Walk in key order. ReadAfter gives the smallest key greater than `after`
    // as the table is at the time of the call.
    virtual int ReadFirst(unsigned char* record, std::string& key) = 0;
    virtual int ReadAfter(const std::string& after, unsigned char* record, std::string& key) = 0;
    virtual int ReadEqual(const std::string& key, unsigned char* record) = 0;

    // Walk over the records whose tax id is `taxId`, in key order.
    virtual int ReadFirstByTaxId(const std::string& taxId, unsigned char* record,
                                 std::string& key) = 0;
    virtual int ReadAfterByTaxId(const std::string& taxId, const std::string& after,
                                 unsigned char* record, std::string& key) = 0;
    // kOk when at least one record carries `taxId`, kKeyNotFound when none.
    virtual int ExistsWithTaxId(const std::string& taxId) = 0;
    // ExistsWithTaxId for each of `taxIds` (found[i] kOk or kKeyNotFound); an
    // engine may answer them all with one request. On a failure `found` is empty.
    virtual int ExistsWithTaxIds(const std::vector<std::string>& taxIds, std::vector<int>& found) {
        found.clear();
        for (const std::string& taxId : taxIds) {
            const int status = ExistsWithTaxId(taxId);
            if (status != pendra::kOk && status != pendra::kKeyNotFound) {
                found.clear();
                return status;
            }
            found.push_back(status);
        }
        return pendra::kOk;
    }

    // How many records carry `taxId`: the length of the walk over them, told
    // before it goes. This walk, for engines that cannot count in one request.
    virtual int CountWithTaxId(const std::string& taxId, std::size_t& count) {
        count = 0;
        std::vector<unsigned char> record(Layout().recordSize);
        std::string key, after;
        int status = ReadFirstByTaxId(taxId, record.data(), key);
        for (; status == pendra::kOk; status = ReadAfterByTaxId(taxId, after, record.data(), key)) {
            ++count;
            after = key;
        }
        return pendra::WalkEnded(status) ? pendra::kOk : status;
    }

    // Each write is one transaction (or one savepoint inside a batch).
    // Update and Delete answer kRecordLocked while another handle holds the
    // record lock, kKeyNotFound when the record is gone.
    virtual int Insert(const unsigned char* record) = 0;
    virtual int Update(const std::string& key, const unsigned char* record) = 0;
    virtual int Delete(const std::string& key) = 0;

    // Single-record lock held by this handle; `wait` blocks until it is free,
    // otherwise kRecordLocked.
    virtual int LockRecord(const std::string& key, bool wait) = 0;
    virtual void UnlockRecord(const std::string& key) = 0;

    // LockRecord(key, true) and then ReadEqual: the record as it is once the
    // lock is ours. The lock is held only when the answer is kOk.
    virtual int LockAndRead(const std::string& key, unsigned char* record) {
        int status = LockRecord(key, true);
        if (status != pendra::kOk) return status;
        status = ReadEqual(key, record);
        if (status != pendra::kOk) UnlockRecord(key);
        return status;
    }
    // Update or Delete of a record this handle holds the lock of, which a
    // success releases; on a failure the lock stays held. Engines that talk to
    // a server do both in one request.
    virtual int UpdateAndUnlock(const std::string& key, const unsigned char* record) {
        const int status = Update(key, record);
        if (status == pendra::kOk) UnlockRecord(key);
        return status;
    }
    virtual int DeleteAndUnlock(const std::string& key) {
        const int status = Delete(key);
        if (status == pendra::kOk) UnlockRecord(key);
        return status;
    }
    // UpdateAndUnlock of a record met in the walk by tax id `taxId`, which the
    // caller continues with the next record of that walk read under its wait
    // lock. An engine that talks to a server may send that lock and read with
    // the write and keep the answer for the LockAndRead of that record;
    // DropReadAhead gives back whatever the caller did not take.
    virtual int UpdateAndUnlockReadingAhead(const std::string& key, const unsigned char* record,
                                            const std::string& /*taxId*/) {
        return UpdateAndUnlock(key, record);
    }
    virtual void DropReadAhead() {}
};

// Groups writes into one transaction; rolls back unless committed.
class StorageBatch {
public:
    virtual ~StorageBatch() = default;
    virtual int Commit() = 0;
};

class StorageEngine {
public:
    enum class Kind { kFile, kSql };

    virtual ~StorageEngine() = default;
    virtual Kind GetKind() const = 0;
    virtual const MandateMeta& Meta() const = 0;
    // Meta flag set, or the storage not writable for this process.
    virtual bool IsReadOnly() const = 0;

    // nullptr with `status` when the table cannot be used (schema not ours).
    virtual std::unique_ptr<StorageTable> OpenTable(const TableLayout& layout, int& status) = 0;

    virtual long GetSetting(int section, int key, long def) = 0;
    virtual int SetSetting(int section, int key, long value) = 0;
    virtual int ReadSettings(std::vector<MandateSetting>& settings) = 0;

    // Exclusive use of the mandate: kOk, or kMandateHeldExclusively when
    // anyone else has it open. Release returns to shared use.
    virtual int AcquireExclusive() = 0;
    virtual void ReleaseExclusive() = 0;

    // Drops read positions and snapshots (cursors re-seek on their next read).
    virtual void ReleaseCaches() = 0;

    // nullptr with `status` set when no transaction could be begun.
    virtual std::unique_ptr<StorageBatch> BeginBatch(int& status) = 0;

    // Checks that the tables and their indexes are whole (a file mandate's
    // pages, read once); kOk, or kNotADatabase with `detail` saying what is
    // damaged. A database server keeps its own tables whole.
    virtual int CheckIntegrity(std::string& /*detail*/) { return 0; }

    // True when the connection to a database server broke off (the server
    // stopped, the network failed): the reason a write failed, for the log.
    virtual bool ConnectionLost() const { return false; }

    // How many transactions this engine committed (batches and single
    // writes): unchanged over a stretch of work means that work changed no
    // record, whatever it wrote and rolled back.
    std::uint64_t Commits() const { return commits_; }

protected:
    void NoteCommit() { ++commits_; }

private:
    std::uint64_t commits_ = 0;
};

// Opens the storage of the mandate in `dir`; nullptr with `status` otherwise.
std::unique_ptr<StorageEngine> OpenStorageEngine(const std::string& dir, int& status);
