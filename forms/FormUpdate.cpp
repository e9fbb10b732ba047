// Replacing a mandate's form workbooks and companion files by a year's
// template set: the version rule for the workbooks, plain copies for the rest.
#include <unistd.h>


#include <cstring>
#include <optional>

#include "forms/FormUpdate.h"

#include "base/Format.h"
#include "core/CommandContext.h"
#include "core/LogSink.h"
#include "core/Strings.h"
#include "templates/FileCopy.h"
#include "forms/FilesOfOurs.h"
#include "forms/MappingSheet.h"
#include "forms/MwstDummy2.h"
#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "templates/TemplateSet.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"

namespace {

bool Readable(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

// One run of UpdateForms: the year's files, the log and the failure flag.
class FormUpdateRun {
public:
    FormUpdateRun(CommandContext& ctx, int year, int invert)
        : ctx_(ctx),
          year_(year),
          invert_(invert),
          mandateDir_(ctx.mandate.GetPath()),
          filesFolder_(FilesFolder(ctx)) {}

    bool Run() {
        // A read-only mandate is never changed, its workbooks included.
        if (ctx_.mandate.IsReadOnly()) {
            Fail(IDS_LOG_FORMS_READ_ONLY, mandateDir_);
            return false;
        }
        const auto& steps = MwstTemplateSteps();
        for (std::size_t head = 0; head < steps.size(); head += 2) {
            const std::string headTemplate = Template(head);
            if (!Readable(headTemplate)) {
                Fail(IDS_LOG_TEMPLATE_MISSING, headTemplate);
                // Without the first form nothing at all is done.
                if (head == 0) return false;
                continue;
            }
            // The pair's first template speaks for both of its workbooks.
            std::string unreadable;
            const unsigned templateVersion = steps[head].formUpdate ? MwstGetVersion(headTemplate, &unreadable) : 0;
            // A spoilt template has no version to compare: the pair is not done.
            if (!unreadable.empty()) {
                Done(MandateFile(head), false, Format(LoadString(IDS_REASON_WORKBOOK_FAILED), unreadable));
                return false;
            }
            Step(head, templateVersion);
            if (failed_) return false;
            Step(head + 1, templateVersion);
            if (head == 0 && failed_) return false;
        }
        return !failed_;
    }

private:
    std::string Template(std::size_t step) const {
        return MwstTemplatePath(MwstTemplateSteps()[step], year_);
    }
    // Under the spelling the mandate has, so that it is replaced in place;
    // in the folder the command works on the mandate's files in.
    std::string MandateFile(std::size_t step) const {
        return MwstMandateFilePath(filesFolder_, MwstTemplateSteps()[step].mandateFile);
    }

    void Step(std::size_t step, unsigned templateVersion) {
        if (MwstTemplateSteps()[step].formUpdate)
            FormStep(step, templateVersion);
        else
            CopyStep(step);
    }

    void FormStep(std::size_t step, unsigned templateVersion) {
        const std::string target = MandateFile(step);
        std::string unreadable;
        const unsigned mandateVersion = MwstGetVersion(target, &unreadable);
        // A workbook that cannot be read, or whose mapping sheet was changed so
        // that its formulas cannot be trusted, is replaced by the template
        // whatever its version: the backup taken before keeps it.
        const std::optional<std::string> problem =
            unreadable.empty() ? mapping::CheckWorkbook(ctx_, target)
                               : std::optional(Format(LoadString(IDS_REASON_WORKBOOK_FAILED), unreadable));
        if (problem) {
            ctx_.log.Line(Format(LoadString(IDS_LOG_FORM_REPLACED), target, *problem));
            CopyStep(step);
            return;
        }
        if (templateVersion > mandateVersion || (invert_ && mandateVersion > templateVersion)) {
            std::string failure;
            Done(target, CopyUpdateForm(ctx_, Template(step), target, invert_, &failure) != 0, failure);
        } else {
            Log(IDS_LOG_FORM_SKIPPED, target);
        }
    }

    void CopyStep(std::size_t step) {
        const std::string source = Template(step);
        const std::string target = MandateFile(step);
        const FileCopyResult copied = MwstCopyFile(source, target);
        Done(target, static_cast<bool>(copied), copied ? std::string() : filesofours::CopyFailure(copied, source, target));
    }

    void Done(const std::string& target, bool ok, const std::string& failure) {
        if (ok) {
            Log(IDS_LOG_FORM_UPDATED, target);
            return;
        }
        Fail(IDS_LOG_FORM_FAILED, target);
        if (!failure.empty()) Log(IDS_LOG_FORM_REASON, failure);
    }

    void Log(int id, const std::string& text) const { ctx_.log.Line(Format(LoadString(id), text)); }

    // A line that reports a failure: the run fails and the failure is counted,
    // so that mwst-batch ends with a failing status.
    void Fail(int id, const std::string& text) {
        failed_ = true;
        ctx_.log.Failure(Format(LoadString(id), text));
    }

    CommandContext& ctx_;
    const int year_;
    const int invert_;
    const std::string mandateDir_;
    const std::string filesFolder_;
    bool failed_ = false;
};

}  // namespace

bool UpdateForms(CommandContext& ctx, int year2011, int invert) {
    if (!ctx.mandate.IsMandantOpen()) return false;
    FormUpdateRun run(ctx, year2011, invert);
    return run.Run();
}

int CopyUpdateForm(CommandContext& ctx, const std::string& source, const std::string& target, int invert,
                   std::string* failure) {
    MwstDummy2 dlg;
    dlg.m_mandate = &ctx.mandate;
    dlg.m_table = &ctx.table;
    dlg.m_change = ctx.change;
    dlg.m_seam = &ctx.seam;
    dlg.m_filesFolder = FilesFolder(ctx);
    dlg.m_sourceName = source;
    dlg.m_targetName = target;
    dlg.m_invert = invert;
    dlg.DoModal();
    if (failure) *failure = dlg.m_failure;
    return dlg.m_result;
}
