#pragma once
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The demo tree of `mwst-mandant demo`: Swiss companies as mandates with old
// and new VAT keys, accounts and bookings. What each mandate holds is data in
// res/demo (load format, embedded); this table says where it goes.
namespace mandant {

struct DemoMandate {
    std::string path;  // below the demo root
    std::string name;
    std::string description;
    long dataVersion = 2300;
    std::string password;                   // empty: none
    std::vector<std::string_view> records;  // load-format texts, loaded in order
    std::vector<std::pair<std::string, std::string_view>> files;  // extra files in the mandate dir
};

const std::vector<DemoMandate>& DemoMandates();

// A further step run for every demo mandate after its records are loaded
// (e.g. form workbooks); false with `error` set to stop the build.
using DemoStep =
    std::function<bool(const DemoMandate& mandate, const std::string& dir, std::string& error)>;

// Builds every demo mandate under `root` and writes a summary to `summary`.
// False with `error` when a mandate cannot be created or loaded.
bool BuildDemo(const std::string& root, std::ostream& summary, std::string& error,
               const std::vector<DemoStep>& extraSteps = {});

// The first demo mandate once more, as an SQL mandate under root/sql on the
// PostgreSQL server `conninfo` names; only when that server answers, and the
// summary says which it was.
bool BuildSqlDemo(const std::string& root, const std::string& conninfo, std::ostream& summary,
                  std::string& error, const std::vector<DemoStep>& extraSteps = {});

// One demo mandate, a file mandate or (with `sqlConnection`) an SQL mandate.
bool BuildOne(const std::string& root, const DemoMandate& demo,
              const std::optional<std::string>& sqlConnection, std::ostream& summary,
              std::string& error, const std::vector<DemoStep>& extraSteps);

}  // namespace mandant
