#include "pendra/SqlMandateConfiguration.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/AtomicFile.h"
#include "pendra/PendraStatus.h"
#include "pendra/PgConnInfo.h"

namespace {
constexpr const char* kConnectionKey = "connection=";
constexpr const char* kDatabaseKey = "database=";

std::string PathIn(const std::string& dir) {
    return dir + "/" + SqlMandateConfiguration::kFileName;
}
}  // namespace

SqlMandateConfiguration::SqlMandateConfiguration(std::string connection, std::string databaseId)
    : connection_(std::move(connection)), databaseId_(std::move(databaseId)) {}

bool SqlMandateConfiguration::ExistsIn(const std::string& dir) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(PathIn(dir), ignored);
}

std::optional<SqlMandateConfiguration> SqlMandateConfiguration::Read(const std::string& dir) {
    if (!ExistsIn(dir)) return std::nullopt;
    std::ifstream in(PathIn(dir));
    std::string line, connection, database;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with(kConnectionKey)) connection = line.substr(std::strlen(kConnectionKey));
        if (line.starts_with(kDatabaseKey)) database = line.substr(std::strlen(kDatabaseKey));
    }
    if (connection.empty() || database.empty()) return std::nullopt;
    return SqlMandateConfiguration(connection, database);
}

int SqlMandateConfiguration::Write(const std::string& dir) const {
    const std::string text = kConnectionKey + connection_ + '\n' + kDatabaseKey + databaseId_ + '\n';
    return atomicfile::Replace(PathIn(dir), text) ? pendra::kOk : pendra::kIoError;
}

std::optional<std::string> SqlMandateConfiguration::MandateConnInfo() const {
    return pendra::pg::RedirectToDatabase(connection_, databaseId_);
}
