#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "rules/RateChange.h"

class Mandate;

// Why a booking stands on the wrong side of the change's effective day
// (1.1.2024 for the change of 2024), the day the rates changed.
enum class WrongSide {
    kOldRateFrom2024,    // dated 1.1.2024 or later, on a key at 7.7, 2.5 or 3.7 %
    kNewRateBefore2024,  // dated before 1.1.2024, on a key at 8.1, 2.6 or 3.8 %
    kMissingKey,         // on a key the mandate does not have, whatever its date
};

// One such booking, as the mandate holds it.
struct WrongSideBooking {
    WrongSide side = WrongSide::kMissingKey;
    std::int32_t number = 0;
    std::string date;  // YYYYMMDD
    std::string account;
    std::string taxId;
    float rate = 0;  // the key's rate as stored (0.077); 0 for a missing key
    double amount = 0;
    std::string text;
};

// Hands every booking of the open `mandate` that stands on the wrong side to
// `found`, in booking number order, from one read of the keys and one walk
// of the bookings. Every key counts by its rate, also the keys the
// conversion leaves alone (VSS24): a booking's rate is what the tax office
// sees. Bookings without a key are never on the wrong side. Old and new
// rates and the day are those of `change`. Reads only; kOk, or the status of
// the read that failed.
int WalkWrongSideBookings(Mandate& mandate, const std::function<void(const WrongSideBooking&)>& found,
                          const RateChange& change = DefaultRateChange());
