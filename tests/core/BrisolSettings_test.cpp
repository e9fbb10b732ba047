#include "core/BrisolSettings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

TEST(BrisolSettings, SectionsAndKeysIgnoreCaseValuesAreTrimmed) {
    const auto values = BrisolSettings::Parse(
        "; comment\r\n[Initial]\r\nMandant = /data/mandanten \r\n[Vorlagen]\nverzeichnis=/opt/vorlagen\n");
    EXPECT_EQ(values.at("initial\nmandant"), "/data/mandanten");
    EXPECT_EQ(values.at("vorlagen\nverzeichnis"), "/opt/vorlagen");
}

TEST(BrisolSettings, WindowsBytesBecomeUtf8) {
    const auto values = BrisolSettings::Parse("[Company]\nName=B\xe4" "ckerei M\xfc" "ller\n");
    EXPECT_EQ(values.at("company\nname"), "Bäckerei Müller");
}

// Windows-1252, not Latin-1: 0x80..0x9F are letters and signs there.
TEST(BrisolSettings, WindowsBytesOfTheHighControlRangeAreWindows1252) {
    const auto values = BrisolSettings::Parse("[Company]\nName=\x8A" "ef \x80 \x9C" "uvre\n");
    EXPECT_EQ(values.at("company\nname"), "Šef € œuvre");
}

TEST(BrisolSettings, OddLinesAreIgnored) {
    const auto values = BrisolSettings::Parse("no section line\n[\n=value\n[s]\nkey\nk=v=w\n");
    EXPECT_EQ(values.at("s\nk"), "v=w");
    EXPECT_EQ(values.count("s\nkey"), 0u);
}

TEST(BrisolSettings, MissingFileGivesDefaults) {
    setenv("MWST_SETTINGS", "/nonexistent/dir/brisol.ini", 1);
    BrisolSettings::Reload();
    EXPECT_EQ(ReadBrisolString("initial", "mandant", ""), "");
    EXPECT_EQ(ReadBrisolString("Vorlagen", "verzeichnis", "dflt"), "dflt");
    EXPECT_EQ(GetUICultureName(), "de-CH");
    EXPECT_EQ(CompanyName(), "");
}

TEST(BrisolSettings, FileLocationFollowsTheEnvironment) {
    setenv("MWST_SETTINGS", "/tmp/x.ini", 1);
    EXPECT_EQ(BrisolSettings::FilePath(), "/tmp/x.ini");
    unsetenv("MWST_SETTINGS");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(BrisolSettings::FilePath(), "/cfg/quorvex/brisol.ini");
}

// A relative folder must not depend on where a program was started: the
// window and mwst-batch from cron would otherwise look in different places.
TEST(BrisolSettings, RelativeFoldersAreTakenFromTheSettingsFilesFolder) {
    const std::string dir = ::testing::TempDir() + "brisol-relative";
    std::filesystem::create_directories(dir + "/config");
    const std::string file = dir + "/config/brisol.ini";
    std::ofstream(file)
        << "[Sicherheitskopien]\nverzeichnis=../sicherungen\n[Vorlagen]\nverzeichnis=vorlagen\n"
           "[initial]\nmandant=/data/mandanten\n";
    setenv("MWST_SETTINGS", file.c_str(), 1);
    BrisolSettings::Reload();
    const std::string base = std::filesystem::absolute(dir).lexically_normal().string();
    EXPECT_EQ(ReadBrisolPath("Sicherheitskopien", "verzeichnis"), base + "/sicherungen");
    EXPECT_EQ(ReadBrisolPath("Vorlagen", "verzeichnis"), base + "/config/vorlagen");
    EXPECT_EQ(ReadBrisolPath("initial", "mandant"), "/data/mandanten") << "an absolute one stays";
    EXPECT_EQ(ReadBrisolPath("Company", "Name"), "") << "not set stays empty";
    EXPECT_EQ(ReadBrisolString("Vorlagen", "verzeichnis"), "vorlagen")
        << "the text itself is unchanged";
    unsetenv("MWST_SETTINGS");
    BrisolSettings::Reload();
    std::filesystem::remove_all(dir);
}

// The README's settings example is what users copy: read as the program reads
// it, every value must be exactly the value meant, with no comment in it.
TEST(BrisolSettings, TheReadmeExampleGivesTheValuesItMeans) {
    std::ifstream readme(std::string(MWST_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(readme) << "README.md beside the sources";
    std::string example, line;
    bool inside = false, found = false;
    while (std::getline(readme, line)) {
        if (!inside && line == "```ini") {
            inside = found = true;
        } else if (inside && line == "```") {
            inside = false;
        } else if (inside) {
            example += line + "\n";
        }
    }
    ASSERT_TRUE(found) << "README.md has an ini example";
    const auto values = BrisolSettings::Parse(example);
    EXPECT_EQ(values.at("culture\nuiculture"), "de-CH");
    EXPECT_EQ(values.at("company\nname"), "Velmora Orvid");
    EXPECT_EQ(values.at("initial\nmandant"), "/data/mandanten");
    EXPECT_EQ(values.at("vorlagen\nverzeichnis"), "/data/vorlagen");
    for (const auto& [key, value] : values) EXPECT_EQ(value.find(';'), std::string::npos) << key;
}
