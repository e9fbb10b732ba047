#include "mandate/MandateBookings.h"

#include <string>

#include "core/PendraUiBridge.h"
#include "mandate/MandateSession.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/StorageEngine.h"

namespace {

using Problem = MandateStatus::Problem;

// The bookings of the open mandate, where its data version is the one the
// program reads (SQL mandates carry theirs in the server's schema).
void ReadOpen(Mandate& mandate, const RateChange& change, MandateBookings& read) {
    read.name = mandate.GetName();
    long version = 0;
    const bool knownVersion = mandate.GetVersion(version, 1) != 0;
    if (!mandate.IsSQLMandate() && (!knownVersion || std::to_string(version) != MandateSession::kRequiredVersionText)) {
        read.problem = Problem::kVersion;
        return;
    }
    // Damaged tables are refused here as by the status and every command.
    if (std::string damage; mandate.Engine() && mandate.Engine()->CheckIntegrity(damage) != pendra::kOk) {
        read.problem = Problem::kUnreadable;
        return;
    }
    const int status = WalkWrongSideBookings(
        mandate, [&read](const WrongSideBooking& booking) { read.bookings.push_back(booking); }, change);
    if (status != pendra::kOk) {
        read.bookings.clear();
        read.problem = ProblemOfRead(status);
    }
}

}  // namespace

// Opened shared and read only, as ReadMandateStatus opens it: another
// program's work on the mandate goes on undisturbed.
MandateBookings ReadMandateBookings(const std::string& dir, UiSeam& seam, const RateChange& change) {
    MandateBookings read;
    read.directory = dir;
    Mandate mandate(0);
    if (const int opened = mandate.OpenMandateFiles(dir, 1, true); opened != pendra::kOk) {
        read.problem = ProblemOfRead(opened);
        return read;
    }
    PendraUiBridge prompt(seam);
    if (mandate.AskPassword(prompt) == 1) {
        ReadOpen(mandate, change, read);
    } else {
        read.name = mandate.GetName();
        read.problem = Problem::kPassword;
    }
    mandate.CloseMandateFiles();
    return read;
}
