#include "pendra/Mandate.h"

#include <sodium.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "pendra/PasswordHash.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "pendra/PendraUi.h"
#include "pendra/PgEngine.h"
#include "pendra/SqlMandateConfiguration.h"
#include "pendra/SqliteEngine.h"
#include "pendra/SqliteSchema.h"
#include "pendra/SqliteSupport.h"
#include "pendra/StorageEngine.h"
#include "pendra/VerifiedPasswords.h"

namespace {

constexpr int kPasswordTries = 3;

// Wipes a password answer once it has been checked.
void Wipe(std::string& text) {
    sodium_memzero(text.data(), text.size());
    text.clear();
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::unique_ptr<StorageEngine> OpenStorageEngine(const std::string& dir, int& status) {
    if (!SqlMandateConfiguration::ExistsIn(dir)) return SqliteEngine::Open(dir, status);
    std::optional<SqlMandateConfiguration> configuration = SqlMandateConfiguration::Read(dir);
    if (!configuration) {
        status = pendra::kNotADatabase;
        return nullptr;
    }
    return PgEngine::Open(*configuration, status);
}

Mandate::Mandate(int) {}

Mandate::~Mandate() {
    CloseMandateFiles();
}

int Mandate::OpenMandateFiles(const std::string& path, int, bool) { return Open(path, false); }

int Mandate::OpenMandateFilesReadOnly(const std::string& path) { return Open(path, true); }

int Mandate::Open(const std::string& path, bool readOnly) {
    CloseMandateFiles();
    std::string dir = WithoutTrailingSlash(path);
    SetLastName(dir + "/" + kDatabaseFileName);
    int status = pendra::kOk;
    if (SqlMandateConfiguration::ExistsIn(dir)) {
        std::optional<SqlMandateConfiguration> configuration = SqlMandateConfiguration::Read(dir);
        if (!configuration) return pendra::kNotADatabase;
        sqlConfiguration_ = std::make_unique<SqlMandateConfiguration>(*configuration);
        engine_ = PgEngine::Open(*sqlConfiguration_, status, readOnly);
    } else {
        engine_ = SqliteEngine::Open(dir, status, readOnly);
    }
    if (!engine_) return status;
    path_ = dir;
    // Only a read-only open keeps a mandate whose format is too old, for its meta.
    return status == pendra::kFormatTooOld ? status : pendra::kOk;
}

int Mandate::CloseMandateFiles() {
    engine_.reset();
    sqlConfiguration_.reset();
    path_.clear();
    return pendra::kOk;
}

void Mandate::CloseCachedFiles() {
    if (engine_) engine_->ReleaseCaches();
}

int Mandate::IsMandantOpen() const { return engine_ ? 1 : 0; }

int Mandate::IsReadOnly() const { return engine_ && engine_->IsReadOnly() ? 1 : 0; }

int Mandate::IsSQLMandate() const {
    return engine_ && engine_->GetKind() == StorageEngine::Kind::kSql ? 1 : 0;
}

std::string Mandate::GetName() const { return engine_ ? engine_->Meta().name : std::string(); }

int Mandate::GetDataFormat() const { return engine_ ? engine_->Meta().formatVersion : 0; }

int Mandate::GetVersion(long& version, int) const {
    if (!engine_) return 0;
    version = engine_->Meta().dataVersion;
    return 1;
}

long Mandate::GetIniLong(int section, int key, long def) const {
    return engine_ ? engine_->GetSetting(section, key, def) : def;
}

int Mandate::SetIniLong(int section, int key, long value) {
    NoteWriteAsked();
    return engine_ ? engine_->SetSetting(section, key, value) : pendra::kFileNotOpen;
}

int Mandate::AskPassword(PendraUi& ui) {
    if (!engine_) return 0;
    const std::string& hash = engine_->Meta().passwordHash;
    if (hash.empty()) return 1;
    const std::string caption = PendraMessageText(kMsgPasswordCaption);
    // Two copies of one client share the name: the folder tells them apart.
    const std::string name = GetName() + " (" + path_ + ")";
    const std::string identity = Identity();
    for (int attempt = 0; attempt < kPasswordTries; ++attempt) {
        int prompt = attempt == 0 ? kMsgPasswordPrompt : kMsgPasswordRetry;
        std::optional<std::string> answer = ui.AskPassword(PendraMessageText(prompt, name, 0), caption);
        if (!answer) return 0;
        // Asked as every time; the Argon2 check only once per process and mandate.
        const bool right = pendra::IsVerifiedPassword(identity, hash, *answer) ||
                           pendra::VerifyPassword(hash, *answer);
        if (right) pendra::RememberVerifiedPassword(identity, hash, *answer);
        Wipe(*answer);
        if (right) return 1;
    }
    ui.ShowMessage(PendraMessageText(kMsgPasswordRefused, name, 0), caption);
    return 0;
}

std::string Mandate::PasswordHash() const { return engine_ ? engine_->Meta().passwordHash : std::string(); }

std::string Mandate::Identity() const {
    if (sqlConfiguration_) {
        return "sql\n" + sqlConfiguration_->GetConnectionString() + "\n" +
               sqlConfiguration_->GetDatabaseId();
    }
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path_.c_str(), nullptr), &std::free);
    return "file\n" + (real ? std::string(real.get()) : path_);
}

bool Mandate::TryGetExclusiveLock(int) {
    return IsSQLMandate() && engine_->AcquireExclusive() == pendra::kOk;
}

IDbAccess* Mandate::GetDbAccess() { return sqlConfiguration_.get(); }

IMandateConfiguration* Mandate::GetMandateConfiguration() { return sqlConfiguration_.get(); }

int Mandate::SelectMandate(char* buffer, int bufferSize, int, PendraUi& ui, void*, bool mustExist) {
    if (!buffer || bufferSize <= 0) return 0;
    std::string proposal(buffer, strnlen(buffer, static_cast<std::size_t>(bufferSize)));
    std::optional<std::string> chosen = ui.SelectMandateDirectory(proposal);
    if (!chosen || chosen->size() + 1 > static_cast<std::size_t>(bufferSize)) return 0;
    std::memcpy(buffer, chosen->c_str(), chosen->size() + 1);
    return !mustExist || PathContainsMandate(*chosen) ? 1 : 0;
}

bool Mandate::PathContainsMandate(const std::string& path) {
    // An SQL mandate is told by its configuration; searching never connects.
    if (SqlMandateConfiguration::ExistsIn(WithoutTrailingSlash(path))) {
        return SqlMandateConfiguration::Read(WithoutTrailingSlash(path)).has_value();
    }
    std::string dbPath = pendra::schema::DatabasePath(WithoutTrailingSlash(path));
    if (pendra::schema::CheckHeader(dbPath) != pendra::kOk) return false;
    // Our database, where SQLite cannot open it: opening it says why.
    if (!pendra::schema::DatabasePathFits(WithoutTrailingSlash(path))) return true;
    if (pendra::schema::JournalLeadsOutside(WithoutTrailingSlash(path))) return true;
    pendra::sqlite::Connection connection;
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
    // Looking leaves no trace: without a -wal file to read the file is read
    // alone, else SQLite would make the -wal and -shm files of a WAL database.
    const bool fileAlone = !pendra::sqlite::Exists(dbPath + "-wal");
    const int opened = fileAlone ? connection.Open(pendra::sqlite::ImmutableUri(dbPath), flags | SQLITE_OPEN_URI)
                                 : connection.Open(dbPath, flags);
    if (opened != SQLITE_OK) return false;
    sqlite3_busy_timeout(connection.Get(), 1000);
    MandateMeta meta;
    // A mandate in a folder or on a medium this user may not write is still one.
    const int status = pendra::sqlite::ReadEvenWithoutShm(
        connection, dbPath, flags,
        [&meta](sqlite3* db) { return pendra::schema::ReadMeta(db, meta); });
    // An old format is still our mandate: opening it explains why it cannot be used.
    return status == pendra::kOk || status == pendra::kFormatTooOld;
}
