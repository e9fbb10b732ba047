#pragma once
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "batch/ProcessPool.h"
#include "batch/ReportTable.h"

struct BatchOptions;
class BatchSeam;
class MandateSession;
class TemplateSheets;

// One run of mwst-batch, its command line read: the commands on each mandate
// named or found, their status, or the backups of one mandate and a restore.
// Boxes and prompts go through `seam`; a command's walk over a mandate's
// records shows on `progress` (null: nowhere) while the mandates are worked on
// in this process. Returns BatchRunner's exit status.
class BatchRun {
public:
    BatchRun(const BatchOptions& options, BatchSeam& seam, std::ostream* progress = nullptr);
    int Run(std::ostream& out, std::ostream& err);

private:
    int RunCommands(std::ostream& out, std::ostream& err);
    int PrintStatusReport(std::ostream& out, std::ostream& err);
    int PrintBookingsReport(std::ostream& out, std::ostream& err);
    // The report's rows of every mandate of the run; the run's exit status.
    int ReportRows(std::vector<ReportTable::Row>& rows, std::ostream& err);
    // The mandates to work on, canonical and each once, in the order met.
    std::vector<std::string> Mandates(std::ostream& err, int& status);
    bool Confirmed();
    // Each mandate in `dirs` converted or its status read, as the pool (--jobs) runs them.
    int WorkOn(const std::vector<std::string>& dirs, std::ostream& out, std::ostream& err);
    MandateJob StartWorker(const std::vector<std::string>& dirs, std::ostream* progress);
    // The `index`th mandate of the run, converted or its status read.
    MandateResult Work(MandateSession& session, const std::vector<std::string>& dirs, std::size_t index,
                       std::ostream& out, std::ostream& err, std::ostream* progress);
    // One mandate from registration to the end of its commands.
    MandateResult Convert(MandateSession& session, const std::string& dir, std::ostream& out, std::ostream& err,
                          std::ostream* progress);
    // show-keys alone, on the mandate opened read-only.
    MandateResult ShowKeys(const std::string& dir, std::ostream& out, std::ostream& err);
    MandateResult PrintStatus(const std::string& dir, std::ostream& out, std::ostream& err);
    // The mandate's bookings on the wrong side of 1.1.2024, one encoded row a line on `out`.
    MandateResult PrintBookings(const std::string& dir, std::ostream& out, std::ostream& err);
    bool Registered(MandateSession& session, const std::string& dir, std::ostream& err);
    // `backups DIR` and `restore DIR`.
    int ListMandateBackups(std::ostream& out, std::ostream& err);
    int RestoreMandate(std::ostream& out, std::ostream& err);
    bool OpenAndRestore(MandateSession& session, const std::string& dir, std::ostream& out, std::ostream& err);

    const BatchOptions& options_;
    BatchSeam& seam_;
    std::ostream* progress_;
    // The template mapping sheets, read once for all the mandates this process works on.
    std::shared_ptr<TemplateSheets> templateSheets_;
};
