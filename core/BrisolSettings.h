#pragma once
#include <map>
#include <string>

// The accounting product's settings, user-interface culture and company name,
// read from one INI file:
//   $MWST_SETTINGS when set, otherwise
//   $XDG_CONFIG_HOME/quorvex/brisol.ini (default ~/.config/quorvex/brisol.ini).
// Sections and keys compare without regard to case, as the product's do.
//   [Culture]  UICulture=de-CH | fr-CH
//   [Company]  Name=...
//   [initial]  mandant=<first search root>
//   [Vorlagen] verzeichnis=<templates directory>
//   [Sicherheitskopien] verzeichnis=<backup root>, behalten=<backups kept per mandate>
//              (read by backup::Settings::Read, docs/backups.md)
//   [Konvertierung] satzaenderung=<name or file of the rate change, docs/rate-changes.md>
// A missing or unreadable file means empty values; nothing here throws.
class BrisolSettings {
public:
    static std::string FilePath();
    // Re-reads the file (tests and tools change it between runs).
    static void Reload();
    static std::string Get(const std::string& section, const std::string& key,
                           const std::string& def);

    // Parses INI text; public for tests of odd files.
    using Values = std::map<std::string, std::string>;  // "section\nkey" lower-case -> value
    static Values Parse(const std::string& text);
};

std::string ReadBrisolString(const std::string& section, const std::string& key,
                             const std::string& def = std::string());
// A folder named in the settings. A relative one is taken from the settings
// file's folder, so that it does not depend on where a program was started
// (the window, mwst-batch from cron and from a shell must all find the same
// backups and templates). Empty when not set.
std::string ReadBrisolPath(const std::string& section, const std::string& key);
std::string GetUICultureName();
std::string CompanyName();
