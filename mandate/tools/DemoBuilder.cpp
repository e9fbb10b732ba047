#include "mandate/tools/DemoBuilder.h"

#include <libpq-fe.h>

#include <filesystem>
#include <fstream>

#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "pendra/PendraStatus.h"
#include "mandate/tools/MandateText.h"

extern const std::string_view embedded_demo_keys_de_txt;
extern const std::string_view embedded_demo_keys_fr_txt;
extern const std::string_view embedded_demo_baeckerei_mueller_txt;
extern const std::string_view embedded_demo_boulangerie_dubois_txt;
extern const std::string_view embedded_demo_schreinerei_huber_txt;
extern const std::string_view embedded_demo_treuhand_keller_txt;
extern const std::string_view embedded_demo_garage_rossi_txt;
extern const std::string_view embedded_demo_metzgerei_gerber_txt;
extern const std::string_view embedded_demo_hotel_alpenblick_txt;
extern const std::string_view embedded_demo_cave_favre_txt;
extern const std::string_view embedded_demo_quorvex_txt;

namespace mandant {
namespace {

struct Counts {
    int keys = 0, accounts = 0, bookings = 0, settings = 0;
};

bool CreateOne(const DemoMandate& demo, const std::string& dir, Counts& counts,
               std::string& error, const std::optional<std::string>& sqlConnection = {}) {
    MandateCreateOptions options;
    options.sqlConnection = sqlConnection;
    options.name = demo.name;
    options.dataVersion = demo.dataVersion;
    if (!demo.password.empty()) options.password = demo.password;
    int status = CreateMandate(dir, options);
    if (status != pendra::kOk) {
        error = dir + ": cannot create the mandate (status " + std::to_string(status) +
                (status == pendra::kDuplicateKey ? ", a mandate exists there already)" : ")");
        return false;
    }
    Mandate mandate;
    status = mandate.OpenMandateFiles(dir, 1, true);
    if (status != pendra::kOk) {
        error = dir + ": cannot open the new mandate (status " + std::to_string(status) + ")";
        return false;
    }
    for (std::string_view records : demo.records) {
        ParsedText parsed = ParseMandateText(records);
        TextError textError;
        if (!parsed.errors.empty()) textError = parsed.errors.front();
        if (!parsed.errors.empty() || LoadIntoMandate(mandate, parsed, textError) != pendra::kOk) {
            error = dir + ": demo data, " + textError.ToString();
            return false;
        }
        for (const TextEntry& entry : parsed.entries) {
            switch (entry.kind) {
                case EntryKind::kKey: ++counts.keys; break;
                case EntryKind::kAccount: ++counts.accounts; break;
                case EntryKind::kBooking: ++counts.bookings; break;
                case EntryKind::kSetting: ++counts.settings; break;
            }
        }
    }
    for (const auto& [name, content] : demo.files) {
        std::ofstream out(dir + "/" + name, std::ios::binary);
        out << content;
        if (!out.flush()) {
            error = dir + "/" + name + ": cannot be written";
            return false;
        }
    }
    return true;
}

}  // namespace

const std::vector<DemoMandate>& DemoMandates() {
    static const std::vector<DemoMandate> mandates = {
        {"baeckerei-mueller", "Bäckerei Müller AG", "old keys 7.7/2.5 % net and gross, bookings",
         2300, "", {embedded_demo_keys_de_txt, embedded_demo_baeckerei_mueller_txt}, {}},
        {"boulangerie-dubois", "Boulangerie Dubois SA", "French texts, gross key in use", 2300, "",
         {embedded_demo_keys_fr_txt, embedded_demo_boulangerie_dubois_txt}, {}},
        {"schreinerei-huber", "Schreinerei Huber GmbH", "flat-rate method (setting 0 27 1)", 2300,
         "", {embedded_demo_schreinerei_huber_txt}, {}},
        {"treuhand-keller", "Treuhand Keller AG", "client mandates in its sub-folder", 2300, "",
         {embedded_demo_keys_de_txt, embedded_demo_treuhand_keller_txt}, {}},
        {"treuhand-keller/mandanten/garage-rossi", "Garage Rossi SA",
         "nested in another mandate's sub-folder", 2300, "",
         {embedded_demo_keys_de_txt, embedded_demo_garage_rossi_txt}, {}},
        {"metzgerei-gerber", "Metzgerei Gerber AG", "data version 2299 (previous program)", 2299,
         "", {embedded_demo_keys_de_txt, embedded_demo_metzgerei_gerber_txt}, {}},
        {"hotel-alpenblick", "Hotel Alpenblick AG", "3.7 % accommodation, password protected",
         2300, "Alpenblick-2024", {embedded_demo_keys_de_txt, embedded_demo_hotel_alpenblick_txt},
         {}},
        {"cave-favre", "Cave Favre SA", "own conversion table quorvex.txt", 2300, "",
         {embedded_demo_cave_favre_txt}, {{"quorvex.txt", embedded_demo_quorvex_txt}}},
    };
    return mandates;
}

bool BuildDemo(const std::string& root, std::ostream& summary, std::string& error,
               const std::vector<DemoStep>& extraSteps) {
    summary << "Demo mandates under " << root << ":\n";
    for (const DemoMandate& demo : DemoMandates()) {
        if (!BuildOne(root, demo, {}, summary, error, extraSteps)) return false;
    }
    return true;
}

bool BuildSqlDemo(const std::string& root, const std::string& conninfo, std::ostream& summary,
                  std::string& error, const std::vector<DemoStep>& extraSteps) {
    if (PQping(conninfo.c_str()) != PQPING_OK) {
        summary << "No SQL mandate: no PostgreSQL server reachable with \"" << conninfo << "\"\n";
        return true;
    }
    DemoMandate demo = DemoMandates().front();
    demo.path = "sql/" + demo.path;
    demo.description = "SQL mandate on \"" + conninfo + "\"; " + demo.description;
    return BuildOne(root, demo, conninfo, summary, error, extraSteps);
}

bool BuildOne(const std::string& root, const DemoMandate& demo,
              const std::optional<std::string>& sqlConnection, std::ostream& summary,
              std::string& error, const std::vector<DemoStep>& extraSteps) {
    std::string dir = (std::filesystem::path(root) / demo.path).string();
    Counts counts;
    if (!CreateOne(demo, dir, counts, error, sqlConnection)) return false;
    for (const DemoStep& step : extraSteps) {
        if (!step(demo, dir, error)) return false;
    }
    summary << "  " << demo.path << "  \"" << demo.name << "\"  version " << demo.dataVersion
            << "; keys " << counts.keys << ", accounts " << counts.accounts << ", bookings "
            << counts.bookings;
    if (counts.settings) summary << ", settings " << counts.settings;
    summary << "; " << demo.description;
    if (!demo.password.empty()) summary << "; password: " << demo.password;
    for (const auto& file : demo.files) summary << "; file " << file.first;
    summary << '\n';
    return true;
}

}  // namespace mandant
