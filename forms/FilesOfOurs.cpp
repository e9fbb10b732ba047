#include "forms/FilesOfOurs.h"

#include <string_view>

#include "base/Format.h"
#include "core/CommandContext.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"
#include "rules/ConvertTable.h"
#include "templates/FileCopy.h"

namespace filesofours {

// The conversion table's own name, which the rules cannot take from here.
static_assert(std::string_view(ConvertTable::kFileName) == kConvertTableName);

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

}  // namespace filesofours
