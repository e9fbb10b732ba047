#pragma once
#include <string>

// Where an SQL mandate lives. File mandates have none.
class IMandateConfiguration {
public:
    virtual ~IMandateConfiguration() = default;
    virtual std::string GetConnectionString() const = 0;
    virtual std::string GetDatabaseId() const = 0;
};
