#pragma once
#include <string>
#include <vector>

#include "mandate/MandateStatus.h"
#include "rules/WrongSideBookings.h"

class UiSeam;

// The bookings of one mandate that stand on the wrong side of 1.1.2024, for
// `mwst-batch bookings --wrong-side`: read as the status reads, without
// changing anything and without holding the mandate.
struct MandateBookings {
    std::string directory;
    std::string name;
    std::vector<WrongSideBooking> bookings;  // in booking number order
    MandateStatus::Problem problem = MandateStatus::Problem::kNone;

    bool Read() const { return problem == MandateStatus::Problem::kNone; }
};

// The bookings of the mandate in `dir`; its password, if it has one, is asked
// through the data library's prompt, shown through `seam`.
MandateBookings ReadMandateBookings(const std::string& dir, UiSeam& seam,
                                    const RateChange& change = DefaultRateChange());
