#include "core/BrisolSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "base/Windows1252.h"

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

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
    // Files written by the product on Windows hold Windows-1252; UTF-8 stays as it is.
    const std::string text = win1252::DecodeWindowsText(raw);
    Values values;
    std::istringstream in(text);
    std::string section;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            section = Lower(Trim(line.substr(1, line.find(']') - 1)));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        values[section + "\n" + Lower(Trim(line.substr(0, eq)))] = Trim(line.substr(eq + 1));
    }
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
            const auto it = g_values.find(Lower(section) + "\n" + Lower(key));
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
