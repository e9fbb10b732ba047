#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "pendra/MandateFiles.h"

class StorageEngine;
class IDbAccess;
class IMandateConfiguration;
class SqlMandateConfiguration;
class PendraUi;

// One mandate of the accounting data. Whoever uses one is handed it: the
// window's and mwst-batch's sessions, the commands; temporary ones test a
// directory. All results are status codes of PendraStatus.h unless noted.
//
// Opening takes a shared lock on the mandate, so that a process holding it
// exclusively (MIniSetHelper::OpenExclusive) makes OpenMandateFiles answer 88.
class Mandate : public MandateFiles {
public:
    explicit Mandate(int flags = 0);
    ~Mandate() override;
    Mandate(const Mandate&) = delete;
    Mandate& operator=(const Mandate&) = delete;

    // Opens the mandate in directory `path` (mode and cache as the product passes
    // them: 1, true). 0, 12 (no mandate), 30 (not our database), 60010 (format too
    // old), 88 (held exclusively by another process).
    int OpenMandateFiles(const std::string& path, int mode = 1, bool cache = true);
    // Opens the mandate to read it as it is: no file created or changed in its
    // folder, no format converted, no write possible; a mandate held
    // exclusively still answers 88. On 60010 (format too old) the mandate
    // stays open for its name, data version and format, without records.
    int OpenMandateFilesReadOnly(const std::string& path);
    int CloseMandateFiles();
    void CloseCachedFiles();

    int IsMandantOpen() const;
    int IsReadOnly() const;
    int IsSQLMandate() const;

    std::string GetName() const;
    // Data version of the mandate (2300 for the current product); non-zero when read.
    int GetVersion(long& version, int flags = 1) const;
    // The version of the library's storage format the data is in; 0 while closed.
    int GetDataFormat() const;
    // Mandate setting `key` of `section`, or `def` when not set.
    long GetIniLong(int section, int key, long def) const;
    // Stores mandate setting `key` of `section` (one transaction).
    int SetIniLong(int section, int key, long value);

    // 1 when the user gave the right password (or the mandate has none); asks
    // through `ui`, at most three tries; anything else means not given.
    int AskPassword(PendraUi& ui);
    // The stored hash of the mandate's password; empty when it has none or is closed.
    std::string PasswordHash() const;

    // SQL mandates: exclusive lock in the database (type 0). File mandates: false.
    // The database access and configuration of an SQL mandate stay available
    // after an open refused with 88; nullptr for file mandates.
    bool TryGetExclusiveLock(int lockType);
    IDbAccess* GetDbAccess();
    IMandateConfiguration* GetMandateConfiguration();

    // The library's mandate chooser, shown through `ui`: proposes `buffer`,
    // writes the chosen directory into it. Non-zero when a mandate was chosen.
    static int SelectMandate(char* buffer, int bufferSize, int flags, PendraUi& ui,
                             void* reserved, bool mustExist);
    // True when `path` is a directory holding a valid mandate database.
    static bool PathContainsMandate(const std::string& path);

    // The storage behind the open mandate (for BFile); nullptr while closed.
    StorageEngine* Engine() const { return engine_.get(); }

    // How many record and setting writes were asked of this object, whether
    // they succeeded or were rolled back later: unchanged over a stretch of
    // work means that work changed no record.
    std::uint64_t WritesAsked() const { return writesAsked_; }
    void NoteWriteAsked() { ++writesAsked_; }

private:
    int Open(const std::string& path, bool readOnly);
    // Which mandate this is, however its path was written (the password
    // checks of this process are remembered by it).
    std::string Identity() const;

    std::unique_ptr<StorageEngine> engine_;
    // Kept after an open refused with 88, so the caller can name the other users.
    std::unique_ptr<SqlMandateConfiguration> sqlConfiguration_;
    std::uint64_t writesAsked_ = 0;
};
