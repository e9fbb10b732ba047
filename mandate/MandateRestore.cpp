#include "mandate/MandateRestore.h"

#include "base/Format.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "mandate/MandateRun.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"

namespace {

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

void LogOutcome(const std::string& dir, const backup::Restored& restored, LogSink& log) {
    if (restored.resumed) log.Line(Format(LoadString(IDS_LOG_RESTORE_RESUMED), restored.id, dir));
    if (restored.Ok() && restored.unchanged) {
        log.Line(LoadString(IDS_LOG_ALREADY_DONE));
        return;
    }
    if (restored.Ok()) {
        log.Line(Format(LoadString(IDS_LOG_RESTORED), restored.id, restored.safetyId));
        log.Line(Format(LoadString(IDS_LOG_RESTORED_PARTS), std::to_string(restored.files.size()),
                        Joined(restored.files)));
        return;
    }
    const backup::Error& error = *restored.error;
    log.Failure(Format(LoadString(IDS_LOG_RESTORE_FAILED), dir));
    log.Line(Format(LoadString(IDS_LOG_FORM_REASON), Format(LoadString(error.StringId()), error.path, error.detail)));
}

}  // namespace

bool RestoreMandate(Mandate& mandate, const std::string& id, LogSink& log) {
    const std::string dir = mandate.GetPath();
    log.Line(Format(LoadString(IDS_LOG_RESTORE_BEGIN), dir));
    const backup::Restored restored =
        backup::RestoreBackup(mandate, id, backup::kRestoreReason, ProductBackupSettings());
    LogOutcome(dir, restored, log);
    log.Line(Format(LoadString(IDS_LOG_RESTORE_END), dir));
    return restored.Ok();
}

void ResumeMandateRestore(Mandate& mandate, LogSink& log) {
    if (!mandate.Engine()) return;
    const std::string dir = mandate.GetPath();
    const std::optional<backup::Restored> resumed =
        backup::ResumeRestore(dir, *mandate.Engine(), ProductBackupSettings());
    if (!resumed) return;
    log.Line(Format(LoadString(IDS_LOG_RESTORE_BEGIN), dir));
    LogOutcome(dir, *resumed, log);
    log.Line(Format(LoadString(IDS_LOG_RESTORE_END), dir));
}
