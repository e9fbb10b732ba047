#pragma once
#include <optional>
#include <string>
#include <vector>

#include "pendra/StorageEngine.h"

// Creating mandates and changing their meta data: what the administration
// tool and tests do, never the conversion itself.
struct MandateCreateOptions {
    std::string name;
    long dataVersion = 2300;
    std::optional<std::string> password;
    bool readOnly = false;
    std::vector<MandateSetting> settings;
    // Set: an SQL mandate on the server this libpq connection string names
    // (its master database); the directory then holds only its configuration.
    std::optional<std::string> sqlConnection;
};

// Creates directory `dir` when missing and an empty mandate in it. The
// database is built under a temporary name and renamed, so a mandate is either
// complete or absent. kDuplicateKey when `dir` holds a mandate database already.
int CreateMandate(const std::string& dir, const MandateCreateOptions& options);

// Sets or clears the read-only flag of the mandate in `dir`.
int SetMandateReadOnly(const std::string& dir, bool readOnly);
