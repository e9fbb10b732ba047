#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pendra/PgSupport.h"
#include "pendra/StorageEngine.h"

class PgEngine;

// One open record file of an SQL mandate (a table of its database).
//
// Walks (ReadFirst/ReadAfter, and by tax id) read the rows of a key range in
// one query (keyset pagination: "key > last ORDER BY key LIMIT n", n growing
// from a small first batch) and serve them from that batch. The batch is kept
// exactly as the table is for its range: every write of the engine's handles
// is applied to it (RecordChanged), and so is every keyed read, so a record
// changed or deleted by the walk's own transaction, ahead of the position or
// behind it, is met or not met as on the file engine. A record updated to
// another tax id leaves a walk by tax id.
class PgTable final : public StorageTable {
public:
    PgTable(PgEngine& engine, const TableLayout& layout);
    ~PgTable() override;

    const TableLayout& Layout() const override { return layout_; }
    bool IsAttached() const override { return engine_ != nullptr; }
    int ReadFirst(unsigned char* record, std::string& key) override;
    int ReadAfter(const std::string& after, unsigned char* record, std::string& key) override;
    int ReadEqual(const std::string& key, unsigned char* record) override;
    int ReadFirstByTaxId(const std::string& taxId, unsigned char* record,
                         std::string& key) override;
    int ReadAfterByTaxId(const std::string& taxId, const std::string& after,
                         unsigned char* record, std::string& key) override;
    int ExistsWithTaxId(const std::string& taxId) override;
    int ExistsWithTaxIds(const std::vector<std::string>& taxIds, std::vector<int>& found) override;
    int CountWithTaxId(const std::string& taxId, std::size_t& count) override;
    int Insert(const unsigned char* record) override;
    int Update(const std::string& key, const unsigned char* record) override;
    int Delete(const std::string& key) override;
    int LockRecord(const std::string& key, bool wait) override;
    void UnlockRecord(const std::string& key) override;
    // The lock and the read again in one pipeline; inside a batch the unlock in the write's statement.
    int LockAndRead(const std::string& key, unsigned char* record) override;
    int UpdateAndUnlock(const std::string& key, const unsigned char* record) override;
    int DeleteAndUnlock(const std::string& key) override;
    // Inside a batch, with the next record of the walk in the batch read: its
    // wait lock and read again go with the write, in the same round trip.
    int UpdateAndUnlockReadingAhead(const std::string& key, const unsigned char* record,
                                    const std::string& taxId) override;
    void DropReadAhead() override;

    // kOk when the table is there with our columns.
    int CheckSchema();
    void Detach() { engine_ = nullptr; }

    // Called by the engine: the record `key` is now `record` (nullptr: gone).
    void ApplyChange(const std::string& key, const unsigned char* record);
    void DropWalk() { walk_ = Walk(KeyOrder{layout_.integerKey}); }

    // Rows of the first batch of a walk, and the most of any later one.
    static constexpr int kFirstBatch = 64;
    static constexpr int kMaxBatch = 1024;

private:
    // Keys in table order: text keys bytewise, integer keys as int32.
    struct KeyOrder {
        bool integer = false;
        bool operator()(const std::string& a, const std::string& b) const {
            return integer ? DecodeIntKey(a) < DecodeIntKey(b) : a < b;
        }
    };
    // The rows of one key range as read, with the engine's changes since.
    // The range is (from, to]: from the start when fromStart, to the end when toEnd.
    struct Walk {
        explicit Walk(KeyOrder order) : rows(order) {}
        enum class Kind { kNone, kAll, kTaxId } kind = Kind::kNone;
        std::string taxId;
        bool fromStart = true;
        std::string from;
        bool toEnd = false;
        std::string to;
        int limit = kFirstBatch;  // rows of the next batch
        std::map<std::string, std::string, KeyOrder> rows;
    };

    std::string Sql(std::string pattern) const;
    pendra::pg::Query Named(const char* kind, const std::string& pattern,
                            std::vector<pendra::pg::Param> params) const;
    pendra::pg::Param KeyParam(const std::string& key) const;
    bool Less(const std::string& a, const std::string& b) const { return walk_.rows.key_comp()(a, b); }
    // True when `key` lies in the walk's range.
    bool Covers(const std::string& key) const;
    // Reads the batch after `from` (from the start when null) into walk_ and
    // gives its first row; `notFound` when the range is empty.
    int Fetch(Walk::Kind kind, const std::string& taxId, const std::string* from,
              unsigned char* record, std::string& key, int notFound);
    // The key of the row after `after` when the batch holds it (Next asks no server then).
    bool NextInBatch(const std::string& after, std::string& key) const;
    // The row after `after` from the batch, or from the next one.
    int Next(const std::string& after, unsigned char* record, std::string& key, int notFound);
    pendra::pg::Query EqualQuery(const std::string& key) const;
    // ReadEqual's answer from the result of EqualQuery.
    int TakeEqual(const std::string& key, const PGresult* result, unsigned char* record);
    pendra::pg::Query UpdateQuery(const std::string& key, const unsigned char* record,
                                  bool unlock) const;
    pendra::pg::Query DeleteQuery(const std::string& key, bool unlock) const;
    // A write of a record whose lock this handle holds, the lock released by
    // the statement when it changed the record.
    bool UnlocksWithWrite(const std::string& key) const;
    // `then` (with `thenResults`): statements sent behind the write, see PgEngine::Write.
    int WriteUnlocking(const std::string& key, const pendra::pg::Query& query,
                       const unsigned char* record, const std::vector<pendra::pg::Query>& then = {},
                       std::vector<pendra::pg::Result>* thenResults = nullptr);
    int WriteLocked(const std::string& key, const pendra::pg::Query& query,
                    const unsigned char* record, const std::vector<pendra::pg::Query>& then = {},
                    std::vector<pendra::pg::Result>* thenResults = nullptr);
    // LockAndRead's answer from the read ahead.
    int TakeReadAhead(unsigned char* record);
    std::uint64_t LockId(const std::string& key) const;

    // The wait lock and read again of the record `key`, sent with the write
    // before it; the lock is registered with the engine once granted.
    struct ReadAhead {
        bool pending = false;
        std::string key;
        std::uint64_t lockId = 0;
        pendra::pg::Result lock, equal;
    };

    PgEngine* engine_;
    const TableLayout& layout_;
    Walk walk_;
    ReadAhead readAhead_;
};
