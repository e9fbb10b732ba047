#pragma once
#include <map>
#include <memory>
#include <string>

#include "pendra/StorageEngine.h"

// A record file of a mandate still in format 2 (LegacyIds.h), read as format 3
// presents it: records and keys come out with their tax ids in Windows-1252,
// and the ids asked for are looked up in their former form. Only for mandates
// that could not be converted when opened (read-only, or in use by another
// process): writes answer kAccessDenied.
//
// Walks follow the order of the former keys. Ids that have no Windows-1252
// form come out byte for byte.
class LegacyIdTable final : public StorageTable {
public:
    explicit LegacyIdTable(std::unique_ptr<StorageTable> inner);

    const TableLayout& Layout() const override { return inner_->Layout(); }
    bool IsAttached() const override { return inner_->IsAttached(); }
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

private:
    // The record and key of a former-format read as they are given out.
    void Present(unsigned char* record, const std::string& former, std::string& key);
    // The former key of a key given out (the one read, or the likely form).
    std::string FormerKey(const std::string& key) const;
    // The first record by tax id over every former form of `taxId`.
    template <typename Read>
    int ReadByTaxId(const std::string& taxId, unsigned char* record, std::string& key, Read read);

    std::unique_ptr<StorageTable> inner_;
    std::map<std::string, std::string> formerKeys_;  // key given out -> key in the table
};
