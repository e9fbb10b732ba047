#include "rules/RateChange.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <string_view>

#include "base/IniText.h"

extern const std::string_view embedded__2024_ini;

namespace {

constexpr const char* kChangeSection = "change";
constexpr const char* kIdsSection = "ids";
constexpr const char* kClassPrefix = "class ";

// The entries of one section, by lower-case key; the last of a key wins, as in the settings.
struct Section {
    std::string name;
    int line = 0;
    std::map<std::string, IniEntry> entries;
};

class Reader {
public:
    explicit Reader(RateChangeError& error) : error_(error) {}

    bool Fail(RateChangeFault fault, int line, const std::string& detail) {
        error_ = {fault, line, detail};
        return false;
    }

    // The entry `key` of `section`; fails naming it when missing or empty.
    const IniEntry* Need(const Section& section, const char* key) {
        const auto it = section.entries.find(IniLower(key));
        if (it == section.entries.end() || it->second.value.empty()) {
            Fail(RateChangeFault::kMissingEntry, section.line, section.name + "/" + key);
            return nullptr;
        }
        return &it->second;
    }

    bool Number(const Section& section, const char* key, double& out) {
        const IniEntry* entry = Need(section, key);
        if (!entry) return false;
        const std::string& v = entry->value;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
        if (ec != std::errc() || end != v.data() + v.size() || out <= 0)
            return Fail(RateChangeFault::kBadValue, entry->line, section.name + "/" + key);
        return true;
    }

    bool Whole(const Section& section, const char* key, int& out) {
        double number = 0;
        if (!Number(section, key, number)) return false;
        out = static_cast<int>(number);
        if (out != number) return Fail(RateChangeFault::kBadValue, Need(section, key)->line, section.name + "/" + key);
        return true;
    }

private:
    RateChangeError& error_;
};

std::vector<Section> SectionsOf(const std::string& text) {
    std::vector<Section> sections;
    for (const IniEntry& entry : ParseIniText(text)) {
        if (sections.empty() || sections.back().name != entry.section) sections.push_back({entry.section, entry.sectionLine, {}});
        sections.back().entries[IniLower(entry.key)] = entry;
    }
    return sections;
}

// "2024-01-01" as YYYYMMDD, or nullopt.
std::optional<std::string> DateOf(const std::string& value) {
    if (value.size() != 10 || value[4] != '-' || value[7] != '-') return std::nullopt;
    std::string digits = value.substr(0, 4) + value.substr(5, 2) + value.substr(8, 2);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    return digits;
}

// The rate text a key at `percent` shows: "%g", as RateText writes it.
std::string PercentText(double percent) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, percent, std::chars_format::general, 6);
    return std::string(text, result.ptr);
}

std::vector<std::string> SplitList(const std::string& value) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= value.size()) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        std::string item = value.substr(start, comma - start);
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        if (!item.empty()) items.push_back(item);
        start = comma + 1;
    }
    return items;
}

bool ReadHead(Reader& reader, const Section& head, RateChange& change) {
    const IniEntry *name = reader.Need(head, "Name"), *date = nullptr, *de = nullptr, *fr = nullptr;
    if (!name || !(date = reader.Need(head, "Effective"))) return false;
    const auto effective = DateOf(date->value);
    if (!effective) return reader.Fail(RateChangeFault::kBadValue, date->line, head.name + "/Effective");
    if (!reader.Whole(head, "OldForms", change.oldForms) || !reader.Whole(head, "NewForms", change.newForms)) return false;
    if (!(de = reader.Need(head, "Text.de")) || !(fr = reader.Need(head, "Text.fr"))) return false;
    change.name = name->value;
    change.effectiveDate = *effective;
    change.textDe = de->value;
    change.textFr = fr->value;
    return true;
}

bool ReadIds(Reader& reader, const Section& ids, RateChange& change) {
    if (!reader.Whole(ids, "IdDigits", change.idDigits) || !reader.Whole(ids, "IdStem", change.idStem)) return false;
    if (const auto it = ids.entries.find("leftalone"); it != ids.entries.end()) change.leftAlone = SplitList(it->second.value);
    return true;
}

bool ReadClass(Reader& reader, const Section& section, RateClass& rateClass) {
    double oldRate = 0, newRate = 0, oldGross = 0, newGross = 0;
    if (!reader.Number(section, "OldRate", oldRate)) return false;
    if (!section.entries.count("newrate"))
        return reader.Fail(RateChangeFault::kClassWithoutRate, section.line, section.name);
    if (!reader.Number(section, "NewRate", newRate) || !reader.Number(section, "OldGross", oldGross) ||
        !reader.Number(section, "NewGross", newGross))
        return false;
    const IniEntry* suffix = reader.Need(section, "Suffix");
    if (!suffix) return false;
    // The stored values are 32-bit fractions; the percent goes through double
    // as the product's own entry does (2.6 gives 0.026f).
    rateClass = {PercentText(oldRate), static_cast<float>(newRate / 100.0), PercentText(oldGross),
                 static_cast<float>(newGross / 100.0), suffix->value};
    return true;
}

bool ReadClasses(Reader& reader, const std::vector<Section>& sections, RateChange& change) {
    std::map<std::string, int> suffixes, oldRates;
    int firstClassLine = 0;
    for (const Section& section : sections) {
        if (IniLower(section.name).rfind(kClassPrefix, 0) != 0) continue;
        if (!firstClassLine) firstClassLine = section.line;
        RateClass rateClass;
        if (!ReadClass(reader, section, rateClass)) return false;
        const int suffixLine = section.entries.at("suffix").line;
        if (!suffixes.emplace(rateClass.idSuffix, suffixLine).second)
            return reader.Fail(RateChangeFault::kSharedSuffix, suffixLine, rateClass.idSuffix);
        const int rateLine = section.entries.at("oldrate").line;
        if (!oldRates.emplace(rateClass.oldRateText, rateLine).second)
            return reader.Fail(RateChangeFault::kSharedOldRate, rateLine, rateClass.oldRateText);
        change.classes.push_back(rateClass);
    }
    if (change.classes.empty()) return reader.Fail(RateChangeFault::kMissingEntry, 0, "Class");
    return true;
}

bool CheckFormSets(Reader& reader, const Section& head, RateChange& change, const FormSetInstalled& installed) {
    if (!installed(change.oldForms))
        return reader.Fail(RateChangeFault::kUnknownFormSet, head.entries.at("oldforms").line,
                           std::to_string(change.oldForms));
    if (change.newForms <= change.oldForms)
        return reader.Fail(RateChangeFault::kUnknownFormSet, head.entries.at("newforms").line,
                           std::to_string(change.newForms));
    change.newFormsInstalled = installed(change.newForms);
    return true;
}

const Section* Find(const std::vector<Section>& sections, const char* name) {
    for (const Section& section : sections)
        if (IniLower(section.name) == name) return &section;
    return nullptr;
}

}  // namespace

const std::string& ChangeText(const RateChange& change, bool french) {
    return french ? change.textFr : change.textDe;
}

bool ParseRateChange(const std::string& text, const FormSetInstalled& formSetInstalled, RateChange& change,
                     RateChangeError& error) {
    Reader reader(error);
    const std::vector<Section> sections = SectionsOf(text);
    const Section* head = Find(sections, kChangeSection);
    const Section* ids = Find(sections, kIdsSection);
    if (!head) return reader.Fail(RateChangeFault::kMissingEntry, 0, "[Change]");
    if (!ids) return reader.Fail(RateChangeFault::kMissingEntry, 0, "[Ids]");
    RateChange read;
    if (!ReadHead(reader, *head, read) || !ReadIds(reader, *ids, read) || !ReadClasses(reader, sections, read))
        return false;
    if (formSetInstalled && !CheckFormSets(reader, *head, read, formSetInstalled)) return false;
    change = std::move(read);
    return true;
}

const RateChange& DefaultRateChange() {
    static const RateChange change = [] {
        RateChange parsed;
        RateChangeError error;
        ParseRateChange(std::string(embedded__2024_ini), {}, parsed, error);
        return parsed;
    }();
    return change;
}
