#include "core/BrisolSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "base/IniText.h"

namespace {

std::mutex g_mutex;
bool g_loaded = false;
BrisolSettings::Values g_values;

}  // namespace

std::string BrisolSettings::FilePath() {
    if (const char* env = std::getenv("MWST_SETTINGS"); env && *env) return env;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        return {};
    }
    return base + "/quorvex/brisol.ini";
}

BrisolSettings::Values BrisolSettings::Parse(const std::string& raw) {
    Values values;
    for (const IniEntry& entry : ParseIniText(raw)) values[IniLower(entry.section) + "\n" + IniLower(entry.key)] = entry.value;
    return values;
}

void BrisolSettings::Reload() {
    std::lock_guard lock(g_mutex);
    g_values.clear();
    g_loaded = true;
    const std::string path = FilePath();
    if (path.empty()) return;
    std::ifstream file(path, std::ios::binary);
    if (!file) return;
    std::ostringstream content;
    content << file.rdbuf();
    g_values = Parse(content.str());
}

std::string BrisolSettings::Get(const std::string& section, const std::string& key,
                                const std::string& def) {
    {
        std::lock_guard lock(g_mutex);
        if (g_loaded) {
            const auto it = g_values.find(IniLower(section) + "\n" + IniLower(key));
            return it == g_values.end() ? def : it->second;
        }
    }
    Reload();
    return Get(section, key, def);
}

std::string ReadBrisolString(const std::string& section, const std::string& key,
                             const std::string& def) {
    return BrisolSettings::Get(section, key, def);
}

std::string ReadBrisolPath(const std::string& section, const std::string& key) {
    const std::string value = BrisolSettings::Get(section, key, "");
    const std::filesystem::path path(value);
    if (value.empty() || path.is_absolute()) return value;
    const std::filesystem::path settingsFolder =
        std::filesystem::path(BrisolSettings::FilePath()).parent_path();
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::absolute(settingsFolder, ec);
    return (ec ? settingsFolder / path : base / path).lexically_normal().string();
}

std::string GetUICultureName() { return BrisolSettings::Get("Culture", "UICulture", "de-CH"); }

std::string CompanyName() { return BrisolSettings::Get("Company", "Name", ""); }
