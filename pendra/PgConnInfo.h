#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

// libpq connection strings ("host=... port=... dbname=..."), parsed and
// rebuilt by libpq's own rules. Shared by the SQL engine and libholdwatch.so.
namespace pendra::pg {

using ConnInfoParams = std::vector<std::pair<std::string, std::string>>;

// The parameters given in `conninfo`; nullopt when libpq cannot parse it.
std::optional<ConnInfoParams> ParseConnInfo(const std::string& conninfo);
// A connection string naming exactly `params`, values quoted as libpq expects.
std::string BuildConnInfo(const ConnInfoParams& params);
// `conninfo` with its dbname set to `database` (the master's one replaced).
std::optional<std::string> RedirectToDatabase(const std::string& conninfo,
                                              const std::string& database);

}  // namespace pendra::pg
