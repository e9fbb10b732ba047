#include "mandate/BatchWalk.h"

#include "mandate/MandateRun.h"
#include "mandate/MandateSession.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"
#include "rules/ConvertTable.h"

namespace {

MandateOutcome OutcomeOf(const std::string& dir, Outcome outcome, bool readOnly) {
    switch (outcome) {
    case Outcome::kDone:
        return {dir, MandateOutcome::Kind::kDone, 0};
    case Outcome::kAlreadyDone:
        return {dir, MandateOutcome::Kind::kUnchanged, 0};
    case Outcome::kRefused:
        return {dir, MandateOutcome::Kind::kSkipped, readOnly ? IDS_BATCH_READ_ONLY : IDS_BATCH_NOT_COMPLETED};
    case Outcome::kFailed:
        break;
    }
    return {dir, MandateOutcome::Kind::kFailed, IDS_BATCH_NOT_COMPLETED};
}

bool Stopped(const BatchObserver& observer, const RunOptions& options) {
    return (options.stop && options.stop->load()) || (observer.cancelled && observer.cancelled());
}

}  // namespace

MandateWork CommandWork(Command command) {
    return [command](CommandContext& ctx, const std::string& dir) { return RunCommand(ctx, command, dir); };
}

MandateWork StepsWork(std::vector<MandateWork> steps) {
    return [steps = std::move(steps)](CommandContext& ctx, const std::string& dir) {
        Outcome work = Outcome::kAlreadyDone;
        for (const MandateWork& step : steps) {
            const Outcome outcome = step(ctx, dir);
            if (!Completed(outcome)) return outcome;
            if (outcome == Outcome::kDone) work = Outcome::kDone;
        }
        return work;
    };
}

Outcome RunOnMandate(Mandate& mandate, const std::string& dir, const MandateWork& work, LogSink& log, UiSeam& seam,
                     short& changeFlag, const RunOptions& options) {
    MandateRun run(mandate, log, options.dryRun, ProductBackupSettings());
    if (!run.Start()) return Outcome::kFailed;
    const ConvertTable table(mandate.GetPath());
    CommandContext ctx{mandate, run.Log(), seam, changeFlag, table, &run, options.stop, run.FilesFolder()};
    ctx.change = options.change;
    if (options.progress) ctx.progress = &options.progress;
    ctx.templateSheets = options.templateSheets.get();
    const Outcome outcome = work(ctx, dir);
    run.Finish(!Completed(outcome));
    return outcome;
}

BatchResult RunBatch(MandateSession& session, const std::vector<std::string>& dirs, const MandateWork& work,
                     LogSink& log, UiSeam& seam, short& changeFlag, const BatchObserver& observer,
                     const RunOptions& options) {
    BatchResult result;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        if (Stopped(observer, options)) {
            result.cancelled = true;
            break;
        }
        const std::string& dir = dirs[i];
        if (observer.starting) observer.starting(i, dirs.size(), dir);
        const MandateSession::Opened opened = session.Open(dir, seam, log);
        if (observer.opened) observer.opened();
        if (opened == MandateSession::Opened::kAborted) {
            result.aborted = true;
            break;
        }
        MandateOutcome outcome{dir, MandateOutcome::Kind::kSkipped, IDS_BATCH_NOT_OPENED};
        if (opened == MandateSession::Opened::kYes) {
            const Outcome done = RunOnMandate(session.Current(), dir, work, log, seam, changeFlag, options);
            outcome = OutcomeOf(dir, done, session.Current().IsReadOnly());
            session.Close();
            // Its work was rolled back: the run ends before this mandate.
            if (!Completed(done) && Stopped(observer, options)) {
                result.cancelled = true;
                break;
            }
        }
        result.outcomes.push_back(outcome);
        if (observer.finished) observer.finished(outcome);
    }
    session.Close();
    return result;
}
