#pragma once
#include <string>

// Database access of an SQL mandate (PostgreSQL engine, later). File mandates
// have none: Mandate::GetDbAccess answers nullptr for them.
class IMandateConfiguration;

class IDbAccess {
public:
    virtual ~IDbAccess() = default;
    virtual IMandateConfiguration* GetMandateConfiguration() = 0;
};
