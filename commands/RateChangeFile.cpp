#include "commands/RateChangeFile.h"

#include "base/Format.h"
#include "base/RegularFile.h"
#include "core/BrisolSettings.h"
#include "core/Strings.h"
#include "res/Resource.h"
#include "templates/TemplateSet.h"

namespace {

constexpr const char* kSection = "Konvertierung";
constexpr const char* kKey = "satzaenderung";

bool NamesFile(const std::string& nameOrFile) {
    return nameOrFile.find('/') != std::string::npos ||
           (nameOrFile.size() > 4 && nameOrFile.compare(nameOrFile.size() - 4, 4, ".ini") == 0);
}

std::string DefinitionPath(const std::string& nameOrFile) {
    return NamesFile(nameOrFile) ? nameOrFile : MwstTemplateBaseDirectory() + "mwst/changes/" + nameOrFile + ".ini";
}

// A set is installed when the head template of its first pair is readable.
bool InstalledFormSet(int forms) { return regularfile::IsRegular(MwstTemplatePath(MwstTemplateSteps().front(), forms), regularfile::Links::kFollow); }

// A definition is a few lines; anything larger is no definition.
constexpr std::size_t kMaxDefinitionSize = 64 * 1024;

int FaultText(RateChangeFault fault) {
    switch (fault) {
    case RateChangeFault::kUnreadable: return IDS_CHANGE_UNREADABLE;
    case RateChangeFault::kMissingEntry: return IDS_CHANGE_MISSING_ENTRY;
    case RateChangeFault::kBadValue: return IDS_CHANGE_BAD_VALUE;
    case RateChangeFault::kClassWithoutRate: return IDS_CHANGE_CLASS_WITHOUT_RATE;
    case RateChangeFault::kSharedSuffix: return IDS_CHANGE_SHARED_SUFFIX;
    case RateChangeFault::kSharedOldRate: return IDS_CHANGE_SHARED_OLD_RATE;
    case RateChangeFault::kUnknownFormSet: return IDS_CHANGE_UNKNOWN_FORMS;
    }
    return IDS_CHANGE_UNREADABLE;
}

}  // namespace

std::string RateChangeRefusal(const std::string& file, const RateChangeError& error) {
    const std::string fault = Format(LoadString(FaultText(error.fault)), error.detail);
    if (error.line == 0) return Format(LoadString(IDS_CHANGE_FAULT_IN_FILE), file, fault);
    return Format(LoadString(IDS_CHANGE_FAULT_AT_LINE), file, error.line, fault);
}

std::string RateChangeSetting() {
    const std::string value = ReadBrisolString(kSection, kKey);
    return NamesFile(value) ? ReadBrisolPath(kSection, kKey) : value;
}

bool LoadRateChange(const std::string& nameOrFile, RateChange& change, std::string& refusal) {
    if (nameOrFile.empty()) {
        change = DefaultRateChange();
        return true;
    }
    const std::string path = DefinitionPath(nameOrFile);
    std::string text, reason;
    RateChangeError error;
    if (!regularfile::ReadWhole(path, text, reason, kMaxDefinitionSize)) {
        refusal = RateChangeRefusal(path, error);
        return false;
    }
    if (!ParseRateChange(text, InstalledFormSet, change, error)) {
        refusal = RateChangeRefusal(path, error);
        return false;
    }
    return true;
}
