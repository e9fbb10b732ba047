#pragma once
#include <optional>
#include <string>

#include "pendra/IDbAccess.h"
#include "pendra/IMandateConfiguration.h"

// The directory of an SQL mandate holds kFileName with two lines:
//   connection=<libpq connection string of the server's master database>
//   database=<name of the mandate database>
// Never a password: libpq takes it from ~/.pgpass, PGPASSFILE or PGPASSWORD.
class SqlMandateConfiguration final : public IMandateConfiguration, public IDbAccess {
public:
    static constexpr const char* kFileName = "pendra-sql.conf";

    SqlMandateConfiguration(std::string connection, std::string databaseId);
    // nullopt when `dir` holds no readable, complete configuration.
    static std::optional<SqlMandateConfiguration> Read(const std::string& dir);
    static bool ExistsIn(const std::string& dir);
    // Written under a temporary name and renamed: complete or absent.
    int Write(const std::string& dir) const;

    std::string GetConnectionString() const override { return connection_; }
    std::string GetDatabaseId() const override { return databaseId_; }
    IMandateConfiguration* GetMandateConfiguration() override { return this; }

    // The connection string of the mandate database itself.
    std::optional<std::string> MandateConnInfo() const;

private:
    std::string connection_;
    std::string databaseId_;
};
