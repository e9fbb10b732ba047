#pragma once
#include <string>

#include "pendra/MandateLockFile.h"
#include "pendra/SqliteSupport.h"
#include "pendra/StorageEngine.h"

class SqliteEngine;

// One open record file of a file mandate (a table of the database). Keeps the
// walk statement stepping between ReadAfter calls that continue from the key
// it returned last; any other read or a change re-seeks by key.
class SqliteTable final : public StorageTable {
public:
    SqliteTable(SqliteEngine& engine, const TableLayout& layout);
    ~SqliteTable() override;

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
    int CountWithTaxId(const std::string& taxId, std::size_t& count) override;
    int Insert(const unsigned char* record) override;
    int Update(const std::string& key, const unsigned char* record) override;
    int Delete(const std::string& key) override;
    int LockRecord(const std::string& key, bool wait) override;
    void UnlockRecord(const std::string& key) override;

    // kOk when every statement compiled against the schema.
    int PrepareStatus() const { return prepareStatus_; }

    // Called by the engine.
    bool HasCursor() const { return walk_ != nullptr; }
    void ResetCursor();
    void Detach();

private:
    using Statement = pendra::sqlite::Statement;
    void BindKey(Statement& statement, int index, const std::string& key) const;
    int Fetch(Statement& statement, unsigned char* record, std::string& key) const;
    int StepWalk(unsigned char* record, std::string& key);
    int StepOnce(Statement& statement, unsigned char* record, std::string& key);
    int WriteLocked(const std::string& key, Statement& statement);

    SqliteEngine* engine_;
    const TableLayout& layout_;
    Statement first_, after_, equal_, firstByTax_, afterByTax_, existsTax_, countTax_;
    Statement insert_, update_, delete_;
    Statement* walk_ = nullptr;  // first_ or after_ while a walk is stepping
    std::string walkKey_;        // key walk_ returned last
    RecordLockSet locks_;
    int prepareStatus_ = 0;
};
