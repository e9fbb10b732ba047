#include "pendra/PgConnInfo.h"

#include <libpq-fe.h>

#include <memory>

namespace pendra::pg {

namespace {
struct OptionsDeleter {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};
}  // namespace

std::optional<ConnInfoParams> ParseConnInfo(const std::string& conninfo) {
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, OptionsDeleter> options(
        PQconninfoParse(conninfo.c_str(), &error));
    if (error) PQfreemem(error);
    if (!options) return std::nullopt;
    ConnInfoParams params;
    for (PQconninfoOption* option = options.get(); option->keyword; ++option) {
        if (option->val) params.emplace_back(option->keyword, option->val);
    }
    return params;
}

std::string BuildConnInfo(const ConnInfoParams& params) {
    std::string conninfo;
    for (const auto& [keyword, value] : params) {
        if (!conninfo.empty()) conninfo += ' ';
        conninfo += keyword + "='";
        for (char c : value) {
            if (c == '\'' || c == '\\') conninfo += '\\';
            conninfo += c;
        }
        conninfo += '\'';
    }
    return conninfo;
}

std::optional<std::string> RedirectToDatabase(const std::string& conninfo,
                                              const std::string& database) {
    std::optional<ConnInfoParams> params = ParseConnInfo(conninfo);
    if (!params || database.empty()) return std::nullopt;
    std::erase_if(*params, [](const auto& param) { return param.first == "dbname"; });
    params->emplace_back("dbname", database);
    return BuildConnInfo(*params);
}

}  // namespace pendra::pg
