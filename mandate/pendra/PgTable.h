#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "mandate/pendra/PgSupport.h"
#include "mandate/pendra/StorageEngine.h"

class PgEngine;

// One open record file of an SQL mandate (a table of its database).
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
    int Insert(const unsigned char* record) override;
    int Update(const std::string& key, const unsigned char* record) override;
    int Delete(const std::string& key) override;
    int LockRecord(const std::string& key, bool wait) override;
    void UnlockRecord(const std::string& key) override;

    // kOk when the table is there with our columns.
    int CheckSchema();
    void Detach() { engine_ = nullptr; }

private:
    std::string Sql(std::string pattern) const;
    pendra::pg::Param KeyParam(const std::string& key) const;
    // One row of `sql` into `record` and `key`; kNotFound when there is none.
    int ReadOne(const std::string& sql, const std::vector<pendra::pg::Param>& params,
                unsigned char* record, std::string& key, int notFound);
    int WriteLocked(const std::string& key, const std::string& sql,
                    const std::vector<pendra::pg::Param>& params);
    std::uint64_t LockId(const std::string& key) const;

    PgEngine* engine_;
    const TableLayout& layout_;
};
