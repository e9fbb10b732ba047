#include "forms/FilesOfOurs.h"

#include "base/Format.h"
#include "base/RegularFile.h"
#include "core/CommandContext.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "forms/FileCopy.h"
#include "forms/FormActivation.h"
#include "forms/FormPassJournal.h"
#include "forms/TemplateSet.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"
#include "taxkeys/ConvertTable.h"

namespace filesofours {
namespace {

std::string WhyUnreadable(const ConvertTable::Problem& problem) {
    using Why = ConvertTable::Problem::Why;
    switch (problem.why) {
    case Why::kFolder:
        return LoadString(IDS_TABLE_FOLDER);
    case Why::kNotRegularFile:
        return LoadString(IDS_TABLE_NOT_REGULAR);
    case Why::kUtf16WithoutBom:
        return LoadString(IDS_TABLE_UTF16_NO_BOM);
    case Why::kNotText:
        return LoadString(IDS_TABLE_NOT_TEXT);
    case Why::kReadError:
        break;
    }
    return SystemText(problem.error);
}

}  // namespace

const std::vector<std::string>& Names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const MwstTemplateStep& step : MwstTemplateSteps()) all.emplace_back(step.mandateFile);
        all.emplace_back(ConvertTable::kFileName);
        all.emplace_back(formpass::kJournalName);
        return all;
    }();
    return names;
}

std::string UnsafeFile::Text() const { return Format(LoadString(IDS_UNSAFE_FILE), path, why); }

std::optional<UnsafeFile> FindUnsafe(const std::string& mandateDir) {
    std::vector<std::string> names = Names();
    names.emplace_back(activation::kJournalName);
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

bool Replaceable(CommandContext& ctx) {
    const std::optional<UnsafeFile> unsafe = FindUnsafe(ctx.mandate.GetPath());
    if (!unsafe) return true;
    ctx.log.Line(Format(LoadString(IDS_LOG_FORM_REASON), unsafe->Text()));
    ctx.log.Failure(Format(LoadString(IDS_LOG_NOT_COMPLETED), ctx.mandate.GetPath()));
    return false;
}

std::optional<std::string> UnreadableTableLine(const ConvertTable& table) {
    if (!table.Unreadable()) return std::nullopt;
    return Format(LoadString(IDS_LOG_TABLE_UNREADABLE), table.FileName(),
                  WhyUnreadable(*table.Unreadable()));
}

std::string CopyFailure(const FileCopyResult& copied, const std::string& source, const std::string& target) {
    const bool sourceSide = copied.failure == FileCopyResult::Failure::kSource;
    return Format(LoadString(sourceSide ? IDS_REASON_CANNOT_READ : IDS_REASON_CANNOT_WRITE), sourceSide ? source : target,
                  SystemText(copied.error));
}

std::string WriteTarget(const std::string& mandateDir, const std::string& path) {
    std::string linkTarget;
    if (regularfile::CheckReplaceable(mandateDir, path, &linkTarget) == regularfile::Replaceable::kYes &&
        !linkTarget.empty())
        return linkTarget;
    return path;
}

}  // namespace filesofours
