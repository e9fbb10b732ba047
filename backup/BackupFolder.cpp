#include "backup/BackupFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/Strings.h"
#include "base/AtomicFile.h"
#include "base/JournalFile.h"
#include "base/RegularFile.h"
#include "base/TempFileName.h"
#include "templates/FileCopy.h"
#include "templates/MandateFiles.h"
#include "templates/TemplateSet.h"
#include "backup/BackupFolder.h"
#include "backup/RecordCopy.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/PgEngine.h"
#include "pendra/SqliteEngine.h"
#include "pendra/SqliteSchema.h"
#include "pendra/StorageEngine.h"
#include "res/Resource.h"

namespace fs = std::filesystem;

namespace backup {

Error Fail(Error::Code code, std::string path, std::string detail) {
    return Error{code, std::move(path), std::move(detail)};
}

std::string SystemMessage(int error) { return SystemText(error); }

std::string Join(const std::string& dir, const std::string& name) { return (fs::path(dir) / name).string(); }

// Nothing is written, renamed or deleted through a link that leads out of the mandate.
std::optional<Error> CheckLinks(const std::string& mandateDir) {
    const std::optional<filesofours::UnsafeFile> link = filesofours::FindLinkOutside(mandateDir);
    if (!link) return std::nullopt;
    return Fail(Error::Code::kUnsafeFile, link->path, link->why);
}


// A file with `text`, flushed to disk; the folder it lies in is not visible yet.
std::optional<Error> WriteSynced(const std::string& path, const std::string& text) {
    if (const atomicfile::Result written = atomicfile::Replace(path, text); !written)
        return Fail(Error::Code::kWrite, written.path, SystemMessage(written.error));
    return std::nullopt;
}

// Makes a rename or a new entry in `dir` durable.
std::optional<Error> SyncFolder(const std::string& dir) {
    if (const atomicfile::Result synced = atomicfile::SyncFolder(dir); !synced)
        return Fail(Error::Code::kWrite, synced.path, SystemMessage(synced.error));
    return std::nullopt;
}

// "20240115-083012-123" in UTC: sorts like the time.
std::string IdFor(std::chrono::system_clock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];  // room for any int the compiler cannot rule out
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d-%03d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
    return text;
}

std::string IsoTime(std::chrono::system_clock::time_point when) {
    std::string id = IdFor(when);  // YYYYMMDD-HHMMSS-mmm
    return id.substr(0, 4) + "-" + id.substr(4, 2) + "-" + id.substr(6, 2) + "T" + id.substr(9, 2) + ":" +
           id.substr(11, 2) + ":" + id.substr(13, 2) + "." + id.substr(16, 3) + "Z";
}

std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
}

// The CRC-32 of a file's bytes, eight hex digits; empty when it cannot be
// read. A check against damage on disk or in a copy, not against tampering:
// the backup folder is the user's own, and the copy of a large database is
// checked in a fraction of the time a cryptographic digest takes.
std::string FileChecksum(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    uLong crc = crc32(0L, Z_NULL, 0);
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()),
                    static_cast<uInt>(in.gcount()));
        if (!in) break;
    }
    if (in.bad()) return {};
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08lx", static_cast<unsigned long>(crc & 0xffffffffUL));
    return hex;
}

std::string ManifestText(const Manifest& manifest) {
    std::ostringstream out;
    out << kManifestHeader << "\n";
    out << "id " << manifest.id << "\n";
    out << "taken " << IsoTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(manifest.takenMs)))
        << "\n";
    out << "taken-ms " << manifest.takenMs << "\n";
    out << "reason " << OneLine(manifest.reason) << "\n";
    out << "kind " << (manifest.sql ? "sql" : "file") << "\n";
    out << "mandate " << OneLine(manifest.mandate) << "\n";
    out << "name " << OneLine(manifest.name) << "\n";
    if (manifest.original) out << "original 1\n";
    out << "tables";
    for (const std::string& table : manifest.tables) out << " " << table;
    out << "\n";
    // The digests on lines of their own: a reader that knows only "file" lines still reads the
    // manifest.
    for (const ManifestFile& file : manifest.files) {
        out << "file " << file.size << " " << file.path << "\n";
        if (!file.digest.empty()) out << "crc32 " << file.digest << " " << file.path << "\n";
        if (file.mode >= 0) {
            char mode[16];
            std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(file.mode));
            out << "mode " << mode << " " << file.path << "\n";
        }
    }
    return out.str();
}

namespace {

// The value of a "crc32" or "mode" line to the file it names.
bool ReadFileDetail(journalfile::Journal& journal, const journalfile::Entry& entry, Manifest& manifest) {
    const std::string_view value = entry.Value();
    const std::size_t second = value.find(' ');
    if (second == std::string::npos) return journal.Refuse(entry, "no file named");
    const std::string_view path = value.substr(second + 1);
    auto file = std::find_if(manifest.files.begin(), manifest.files.end(),
                             [&path](const ManifestFile& f) { return f.path == path; });
    if (file == manifest.files.end()) return journal.Refuse(entry, "no file \"" + std::string(path) + "\" listed");
    if (entry.Field() == "crc32") {
        file->digest = value.substr(0, second);
        return true;
    }
    unsigned mode = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + second, mode, 8);
    if (ec != std::errc() || end != value.data() + second || mode > 07777) return journal.Refuse(entry, "no mode");
    file->mode = static_cast<int>(mode);
    return true;
}

// A "file SIZE PATH" line: only names below the backup's own folder.
bool ReadFile(journalfile::Journal& journal, const journalfile::Entry& entry, Manifest& manifest) {
    const std::string_view value = entry.Value();
    const std::size_t second = value.find(' ');
    if (second == std::string::npos) return journal.Refuse(entry, "no size and name");
    std::uintmax_t size = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + second, size);
    if (ec != std::errc() || end != value.data() + second) return journal.Refuse(entry, "no size");
    const std::string_view path = value.substr(second + 1);
    if (!journal.CheckName(entry, path, journalfile::Name::kPath)) return false;
    manifest.files.push_back({std::string(path), size, {}});
    return true;
}

}  // namespace

std::optional<Manifest> ReadManifest(const std::string& backupDir) {
    constexpr std::size_t kMaxManifest = 1u << 20;
    journalfile::Journal journal =
        journalfile::Journal::Read(Join(backupDir, kManifestName), kManifestHeader, kMaxManifest);
    Manifest manifest;
    bool haveTime = false, haveKind = false;
    for (const journalfile::Entry& entry : journal.Entries()) {
        const std::string_view key = entry.Field();
        const std::string value(entry.Value());
        if (key == "id") {
            manifest.id = value;
        } else if (key == "taken-ms") {
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), manifest.takenMs);
            haveTime = ec == std::errc() && end == value.data() + value.size();
        } else if (key == "reason") {
            manifest.reason = value;
        } else if (key == "kind") {
            haveKind = value == "sql" || value == "file";
            manifest.sql = value == "sql";
        } else if (key == "mandate") {
            manifest.mandate = value;
        } else if (key == "name") {
            manifest.name = value;
        } else if (key == "original") {
            manifest.original = value == "1";
        } else if (key == "file") {
            if (!ReadFile(journal, entry, manifest)) return std::nullopt;
        } else if (key == "tables") {
            manifest.tables.clear();
            std::istringstream names(value);
            for (std::string table; names >> table;) manifest.tables.push_back(table);
        } else if (key == "crc32" || key == "mode") {
            if (!ReadFileDetail(journal, entry, manifest)) return std::nullopt;
        }
    }
    if (!journal || !haveTime || !haveKind || manifest.id != fs::path(backupDir).filename().string())
        return std::nullopt;
    return manifest;
}

// Removes a backup or a staging folder: renamed out of the listing first, so
// that a removal cut short never leaves a listed backup half there.
void RemoveBackupFolder(const std::string& folder, const std::string& name) {
    std::error_code ec;
    std::string doomed = Join(folder, name);
    if (!name.starts_with(kStagingPrefix)) {
        const std::string renamed = Join(folder, kStagingPrefix + name);
        if (fs::rename(doomed, renamed, ec); !ec) doomed = renamed;
    }
    fs::remove_all(doomed, ec);
}

// Calls `visit` with each folder in the backup folder that may be a backup
// (not a staging folder, not a link).
void ForEachBackupFolder(const std::string& folder,
                         const std::function<void(const fs::path&)>& visit) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.starts_with(".") || !it->is_directory(typeError) || it->is_symlink(typeError))
            continue;
        visit(it->path());
    }
}

std::optional<Error> EnsureExclusive(const std::string& mandateDir, StorageEngine& engine) {
    const int status = engine.AcquireExclusive();
    // A lock file we may not write: the mandate is read-only to this process.
    if (status == pendra::kAccessDenied) return Fail(Error::Code::kReadOnly, mandateDir);
    if (status != pendra::kOk) return Fail(Error::Code::kNotExclusive, mandateDir, "status " + std::to_string(status));
    return std::nullopt;
}

int ModeOf(const std::string& path, int fallback) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : fallback;
}

std::optional<Error> CheckMandateTables(const std::string& mandateDir, StorageEngine& engine) {
    std::string detail;
    if (engine.CheckIntegrity(detail) != pendra::kOk) return Fail(Error::Code::kDamagedMandate, mandateDir, detail);
    return std::nullopt;
}

std::optional<Error> CheckFilesOfOurs(const std::string& mandateDir) {
    const std::optional<filesofours::UnsafeFile> unsafe = filesofours::FindUnsafe(mandateDir);
    if (!unsafe) return std::nullopt;
    return Fail(Error::Code::kUnsafeFile, unsafe->path, unsafe->why);
}

// The ids of backup folders whose manifest cannot be read.
std::vector<std::string> DamagedManifests(const std::string& mandateDir, const Settings& settings) {
    std::vector<std::string> damaged;
    ForEachBackupFolder(FolderOf(mandateDir, settings), [&damaged](const fs::path& path) {
        if (!ReadManifest(path.string())) damaged.push_back(path.filename().string());
    });
    return damaged;
}

std::optional<Error> CheckFiles(const std::string& backupDir, const Manifest& manifest) {
    for (const ManifestFile& file : manifest.files) {
        std::error_code ec;
        const std::string path = Join(backupDir, file.path);
        const std::uintmax_t found = fs::file_size(path, ec);
        if (ec) return Fail(Error::Code::kDamaged, manifest.id, path + ": " + ec.message());
        if (found != file.size) {
            return Fail(Error::Code::kDamaged, manifest.id,
                        path + ": " + std::to_string(found) + " bytes instead of " +
                            std::to_string(file.size));
        }
        if (!file.digest.empty() && FileChecksum(path) != file.digest)
            return Fail(Error::Code::kDamaged, manifest.id,
                        path + ": the content changed since the backup was taken");
    }
    return std::nullopt;
}

// Everything a restore of `backupDir` checks before it changes anything.
std::optional<Error> CheckBackup(const std::string& backupDir, const Manifest& manifest, bool sql) {
    if (manifest.sql != sql)
        return Fail(Error::Code::kOtherKind, manifest.id, manifest.sql ? "SQL mandate" : "file mandate");
    if (auto error = CheckFiles(backupDir, manifest)) return error;
    for (const std::string& table : records::RestoredTables())
        if (std::find(manifest.tables.begin(), manifest.tables.end(), table) == manifest.tables.end())
            return Fail(Error::Code::kDamaged, manifest.id, "no table " + table);
    if (!sql) {
        if (auto error = records::CheckSqlite(Join(backupDir, kDatabaseFile)))
            return Fail(Error::Code::kDamaged, manifest.id, error->Describe());
    }
    return std::nullopt;
}

Settings Settings::Read(const Reader& read) {
    Settings settings;
    settings.root = read(kSection, kRootKey);
    while (settings.root.size() > 1 && settings.root.back() == '/') settings.root.pop_back();
    const std::string keep = read(kSection, kKeepKey);
    int value = 0;
    auto [end, ec] = std::from_chars(keep.data(), keep.data() + keep.size(), value);
    if (ec == std::errc() && end == keep.data() + keep.size() && value >= 1) settings.keep = value;
    return settings;
}

int Error::StringId() const {
    switch (code) {
    case Code::kNotExclusive: return IDS_BACKUP_NOT_EXCLUSIVE;
    case Code::kReadOnly: return IDS_BACKUP_READ_ONLY;
    case Code::kFolder: return IDS_BACKUP_FOLDER;
    case Code::kRead: return IDS_REASON_CANNOT_READ;
    case Code::kWrite: return IDS_REASON_CANNOT_WRITE;
    case Code::kDatabase: return IDS_BACKUP_RECORDS;
    case Code::kNoBackup: return IDS_BACKUP_NONE;
    case Code::kUnknownId: return IDS_BACKUP_UNKNOWN;
    case Code::kDamaged: return IDS_BACKUP_DAMAGED;
    case Code::kOtherKind: return IDS_BACKUP_OTHER_KIND;
    case Code::kBookedKeys: return IDS_BACKUP_BOOKED_KEYS;
    case Code::kDamagedMandate: return IDS_MANDATE_DAMAGED;
    case Code::kUnsafeFile: return IDS_UNSAFE_FILE;
    }
    return IDS_BACKUP_RECORDS;
}

std::string Error::Describe() const {
    auto with = [&](const std::string& text) { return detail.empty() ? text : text + ": " + detail; };
    switch (code) {
    case Code::kNotExclusive: return with("the mandate " + path + " is in use by another program");
    case Code::kReadOnly: return "the mandate " + path + " is read-only";
    case Code::kFolder: return with("cannot create the backup folder " + path);
    case Code::kRead: return with("cannot read " + path);
    case Code::kWrite: return with("cannot write " + path);
    case Code::kDatabase: return with("cannot copy the records (" + path + ")");
    case Code::kNoBackup: return "the mandate " + path + " has no backup";
    case Code::kUnknownId: return "there is no backup " + path;
    case Code::kDamaged: return with("the backup " + path + " is incomplete or damaged");
    case Code::kOtherKind: return with("the backup " + path + " is of another kind of mandate");
    case Code::kBookedKeys:
        return detail + " bookings use the keys " + path + ", which the backup does not hold";
    case Code::kDamagedMandate: return with("the tables of the mandate " + path + " are damaged");
    case Code::kUnsafeFile: return with(path + " may not be replaced");
    }
    return with(path);
}

bool IsBackupFolder(const std::string& path) {
    for (const fs::path& part : fs::path(path))
        if (part == kFolderName) return true;
    return false;
}

std::string FolderOf(const std::string& mandateDir, const Settings& settings) {
    if (settings.root.empty()) return Join(mandateDir, kFolderName);
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(fs::absolute(mandateDir, ec), ec);
    if (ec) canonical = fs::absolute(mandateDir).lexically_normal();
    return (fs::path(settings.root) / canonical.relative_path() / kFolderName).lexically_normal().string();
}

}  // namespace backup
