// Both languages are complete: every text id the code uses exists in German and
// French, and the system's own texts stand exactly as they must.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "base/StringTableFile.h"
#include "res/ResourceData.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The named ids of res/Resource.h: NAME = value.
std::map<std::string, int> ResourceIds() {
    std::map<std::string, int> ids;
    const std::string header = ReadFile(fs::path(MWST_SOURCE_DIR) / "res/Resource.h");
    const std::regex entry(R"((ID[SRD]?_[A-Z0-9_]+|AFX_IDW_[A-Z_]+)\s*=\s*(\d+))");
    for (std::sregex_iterator it(header.begin(), header.end(), entry), end; it != end; ++it)
        ids[(*it)[1]] = std::stoi((*it)[2]);
    return ids;
}

// Every IDS_ name and every number handed to LoadString in the program's sources.
std::set<int> StringIdsUsedInCode() {
    const auto named = ResourceIds();
    std::set<int> used;
    const std::regex name(R"(\bIDS_[A-Z0-9_]+\b)");
    const std::regex literal(R"(LoadString\((\d+)\))");
    for (const char* dir :
         {"app", "mandate", "commands", "rules", "forms", "templates", "formula", "workbook"}) {
        for (const auto& file : fs::recursive_directory_iterator(fs::path(MWST_SOURCE_DIR) / dir)) {
            const auto ext = file.path().extension();
            if (ext != ".cpp" && ext != ".h") continue;
            if (file.path().string().find("/pendra/") != std::string::npos) continue;
            const std::string text = ReadFile(file.path());
            for (std::sregex_iterator it(text.begin(), text.end(), name), end; it != end; ++it) {
                const auto found = named.find(it->str());
                EXPECT_NE(found, named.end()) << it->str() << " in " << file.path() << " is not in Resource.h";
                if (found != named.end()) used.insert(found->second);
            }
            for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it)
                used.insert(std::stoi((*it)[1]));
        }
    }
    return used;
}

TEST(Languages, EveryStringIdUsedInTheCodeExistsInBothLanguages) {
    const std::set<int> used = StringIdsUsedInCode();
    ASSERT_GT(used.size(), 20u);
    for (int id : used) {
        EXPECT_TRUE(Resources(Language::German).strings.count(id)) << "German lacks " << id;
        EXPECT_TRUE(Resources(Language::French).strings.count(id)) << "French lacks " << id;
    }
}

TEST(Languages, EveryMenuCommandHasItsPromptInBothLanguagesOrNone) {
    for (const auto& popup : Resources(Language::German).menu) {
        for (const auto& item : popup.items) {
            if (item.id == 0) continue;
            const int id = static_cast<int>(item.id);
            EXPECT_EQ(Resources(Language::German).strings.count(id),
                      Resources(Language::French).strings.count(id))
                << id;
        }
    }
}

// The mnemonic of a menu text: the character after its single "&" (an
// UTF-8 sequence), ASCII letters in upper case; empty without one.
std::string Mnemonic(const std::string& text) {
    for (std::size_t i = 0; i + 1 < text.size() && text[i] != '\t'; ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        std::size_t length = 1;
        for (auto lead = static_cast<unsigned char>(text[i + 1]); (lead & 0xC0) == 0xC0; lead <<= 1) ++length;
        std::string key = text.substr(i + 1, length);
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return key;
    }
    return {};
}

TEST(Languages, EachMenusMnemonicsAreUnique) {
    for (const Language language : {Language::German, Language::French}) {
        const auto& menu = Resources(language).menu;
        ASSERT_GT(menu.size(), 3u);
        std::map<std::string, std::string> titles;
        for (const auto& popup : menu) {
            const std::string title = Mnemonic(popup.title);
            EXPECT_FALSE(title.empty()) << popup.title;
            EXPECT_TRUE(titles.emplace(title, popup.title).second)
                << popup.title << " and " << titles[title] << " share " << title;
            std::map<std::string, std::string> taken;
            for (const auto& item : popup.items) {
                if (item.id == 0) continue;
                const std::string key = Mnemonic(item.text);
                EXPECT_FALSE(key.empty()) << item.text;
                EXPECT_TRUE(taken.emplace(key, item.text).second)
                    << popup.title << ": " << item.text << " and " << taken[key] << " share " << key;
            }
        }
    }
    EXPECT_EQ(Mnemonic("Ö&ffnen...\tStrg+O"), "F");
    EXPECT_EQ(Mnemonic("S&électionner"), "\xC3\xA9");
}

TEST(Languages, SystemTextsStandExactlyAsGiven) {
    std::istringstream golden(ReadFile(fs::path(MWST_SOURCE_DIR) / "tests/app/data/system_texts.txt"));
    std::string de, fr;
    for (std::string line; std::getline(golden, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::string lang = line.substr(0, line.find('\t'));
        (lang == "de" ? de : fr) += line.substr(lang.size() + 1) + "\n";
    }
    const auto expectedDe = ParseStringTable(de);
    const auto expectedFr = ParseStringTable(fr);
    ASSERT_TRUE(expectedDe.errors.empty());
    ASSERT_GT(expectedDe.entries.size(), 50u);
    ASSERT_GT(expectedFr.entries.size(), 50u);
    for (const auto& [id, text] : expectedDe.entries)
        EXPECT_EQ(Resources(Language::German).strings.at(id), text) << "German " << id;
    for (const auto& [id, text] : expectedFr.entries)
        EXPECT_EQ(Resources(Language::French).strings.at(id), text) << "French " << id;
}

// The printf conversions of a text, in order ("%s", "%d", "%%" left out).
std::vector<std::string> Conversions(const std::string& text) {
    static const std::regex conversion(R"(%[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z)?([diouxXeEfgGcsp%]))");
    std::vector<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), conversion), end; it != end; ++it)
        if ((*it)[1] != "%") found.push_back(it->str());
    return found;
}

TEST(Languages, BothLanguagesOfATextTakeTheSameArguments) {
    // A French text formatted with the German text's arguments must not read
    // past them or take a number for a text.
    const auto& de = Resources(Language::German).strings;
    const auto& fr = Resources(Language::French).strings;
    ASSERT_GT(de.size(), 50u);
    for (const auto& [id, text] : de) {
        const auto french = fr.find(id);
        if (french == fr.end()) continue;
        EXPECT_EQ(Conversions(text), Conversions(french->second)) << "text " << id;
    }
    EXPECT_EQ(Conversions("Konto %s: %d%% von %5.2f"), (std::vector<std::string>{"%s", "%d", "%5.2f"}));
}

TEST(Languages, TheDataLibrarysTextsTakeTheSameArgumentsInBothLanguages) {
    const auto de = ParseStringTable(ReadFile(fs::path(MWST_SOURCE_DIR) / "res/pendra/de.txt"));
    const auto fr = ParseStringTable(ReadFile(fs::path(MWST_SOURCE_DIR) / "res/pendra/fr.txt"));
    ASSERT_TRUE(de.errors.empty());
    ASSERT_TRUE(fr.errors.empty());
    ASSERT_GT(de.entries.size(), 5u);
    for (const auto& [id, text] : de.entries) {
        ASSERT_TRUE(fr.entries.count(id)) << "French lacks " << id;
        EXPECT_EQ(Conversions(text), Conversions(fr.entries.at(id))) << "text " << id;
    }
}

TEST(Languages, FrenchKeepsItsOwnIrregularities) {
    const auto& fr = Resources(Language::French).strings;
    EXPECT_NE(fr.at(20020).find("pour le  mandat  %s"), std::string::npos);
    EXPECT_NE(fr.at(20031).find("1.1.2025"), std::string::npos);
    EXPECT_NE(Resources(Language::German).strings.at(20031).find("01.01.2025"), std::string::npos);
    EXPECT_EQ(fr.at(20001).rfind("Le client ", 0), 0u);
}

}  // namespace
