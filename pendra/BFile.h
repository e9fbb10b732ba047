#pragma once
#include <memory>
#include <string>

class Mandate;
class StorageTable;

// One open record file (a table of the mandate database). Several BFile objects
// may be open on the same file at once, each with its own position.
class BFile {
public:
    static constexpr int kModeUpdate = 0;
    static constexpr int kModeReadOnly = 254;

    explicit BFile(Mandate* mandate);
    ~BFile();
    BFile(const BFile&) = delete;
    BFile& operator=(const BFile&) = delete;

    // `name` as MandateFiles gives it. Mode 0 update, 254 read-only (writes then
    // answer kAccessDenied). Records the name as the mandate's last name.
    int Open(const std::string& name, int mode, bool cache = true);
    int Close();
    bool IsOpen() const;
    int Mode() const { return mode_; }

    StorageTable* Table() const { return table_.get(); }
    Mandate* GetMandate() const { return mandate_; }

private:
    Mandate* mandate_;
    std::unique_ptr<StorageTable> table_;
    int mode_ = kModeUpdate;
};
