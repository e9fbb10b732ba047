#include "templates/MandateFiles.h"

#include "base/Format.h"
#include "base/RegularFile.h"
#include "core/Strings.h"
#include "res/Resource.h"
#include "templates/TemplateSet.h"

namespace filesofours {

const std::vector<std::string>& Names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const MwstTemplateStep& step : MwstTemplateSteps()) all.emplace_back(step.mandateFile);
        all.emplace_back(kConvertTableName);
        all.emplace_back(kFormPassJournalName);
        return all;
    }();
    return names;
}

std::string UnsafeFile::Text() const { return Format(LoadString(IDS_UNSAFE_FILE), path, why); }

std::optional<UnsafeFile> FindUnsafe(const std::string& mandateDir) {
    std::vector<std::string> names = Names();
    names.emplace_back(kActivationJournalName);
    for (const std::string& name : names) {
        // The exact spelling, and the one in other letter case the commands would use.
        for (const std::string& path : {mandateDir + "/" + name, MwstMandateFilePath(mandateDir, name)}) {
            std::string linkTarget;
            switch (regularfile::CheckReplaceable(mandateDir, path, &linkTarget)) {
            case regularfile::Replaceable::kYes: break;
            case regularfile::Replaceable::kLinkOutside:
                return UnsafeFile{path, Format(LoadString(IDS_REASON_LINK_OUTSIDE), linkTarget)};
            case regularfile::Replaceable::kNotRegular:
                return UnsafeFile{path, LoadString(IDS_REASON_NOT_REGULAR)};
            }
        }
    }
    return std::nullopt;
}

std::string WriteTarget(const std::string& mandateDir, const std::string& path) {
    std::string linkTarget;
    if (regularfile::CheckReplaceable(mandateDir, path, &linkTarget) == regularfile::Replaceable::kYes &&
        !linkTarget.empty())
        return linkTarget;
    return path;
}

}  // namespace filesofours
