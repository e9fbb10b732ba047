#include "templates/MandateFiles.h"

#include <filesystem>

#include "base/Format.h"
#include "base/RegularFile.h"
#include "core/Strings.h"
#include "pendra/MandateFiles.h"
#include "pendra/MandateLockFile.h"
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

UnsafeFile LinkOutside(const std::string& path, const std::string& target) {
    return UnsafeFile{path, Format(LoadString(IDS_REASON_LINK_OUTSIDE), target)};
}

std::optional<UnsafeFile> FindLinkOutside(const std::string& mandateDir) {
    const std::string database = MandateFiles::kDatabaseFileName;
    for (const std::string& name : {std::string(kBackupFolderName), std::string(kRestoreJournalName),
                                    std::string(MandateLockFile::kFileName), database + "-wal", database + "-shm",
                                    database + "-journal", std::string(kFormPassJournalName)}) {
        const std::string path = mandateDir + "/" + name;
        if (std::string target; regularfile::LeadsOutside(mandateDir, path, &target)) return LinkOutside(path, target);
    }
    // The lock file is never opened through a link, not even one inside.
    const std::string lock = mandateDir + "/" + MandateLockFile::kFileName;
    if (std::error_code ec; std::filesystem::is_symlink(std::filesystem::symlink_status(lock, ec)))
        return UnsafeFile{lock, LoadString(IDS_REASON_NOT_REGULAR)};
    return std::nullopt;
}

std::optional<UnsafeFile> FindUnsafe(const std::string& mandateDir) {
    if (std::optional<UnsafeFile> link = FindLinkOutside(mandateDir)) return link;
    std::vector<std::string> names = Names();
    names.emplace_back(kActivationJournalName);
    names.emplace_back(kRestoreJournalName);
    for (const std::string& name : names) {
        // The exact spelling, and the one in other letter case the commands would use.
        for (const std::string& path : {mandateDir + "/" + name, MwstMandateFilePath(mandateDir, name)}) {
            std::string linkTarget;
            switch (regularfile::CheckReplaceable(mandateDir, path, &linkTarget)) {
            case regularfile::Replaceable::kYes: break;
            case regularfile::Replaceable::kLinkOutside:
                return LinkOutside(path, linkTarget);
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
