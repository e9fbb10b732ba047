#include "rules/WrongSideBookings.h"

#include <map>

#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "rules/ConversionRules.h"

namespace {

// The rate of every key of the mandate, by id.
int ReadRates(Mandate& mandate, std::map<std::string, float>& rates) {
    BFile file(&mandate);
    if (const int status = file.Open(mandate.GetTaxName(), BFile::kModeReadOnly); status != pendra::kOk) return status;
    Tax key(&mandate);
    key.UseFile(&file);
    int status = key.ReadFirst();
    for (; status == pendra::kOk; status = key.ReadNext()) rates[key.GetId()] = key.GetPercent();
    return pendra::WalkEnded(status) ? pendra::kOk : status;
}

bool IsOldRate(float fraction, const RateChange& change) {
    stsatz satz = STSATZ_77;
    float newRate = 0;
    return SetSatz(RateText(fraction), satz, newRate, change);
}

}  // namespace

int WalkWrongSideBookings(Mandate& mandate, const std::function<void(const WrongSideBooking&)>& found,
                          const RateChange& change) {
    std::map<std::string, float> rates;
    if (const int status = ReadRates(mandate, rates); status != pendra::kOk) return status;
    BFile file(&mandate);
    if (const int status = file.Open(mandate.GetBuchName(), BFile::kModeReadOnly); status != pendra::kOk) return status;
    Buch buch(&mandate);
    buch.UseFile(&file);
    int status = buch.ReadFirst();
    for (; status == pendra::kOk; status = buch.ReadNext()) {
        const BuchData data(buch);
        WrongSideBooking booking;
        booking.taxId = data.GetTaxId();
        if (booking.taxId.empty()) continue;
        booking.date = data.GetDate();
        const auto key = rates.find(booking.taxId);
        if (key == rates.end()) {
            booking.side = WrongSide::kMissingKey;
        } else {
            booking.rate = key->second;
            const bool fromChange = booking.date >= change.effectiveDate;
            if (fromChange && IsOldRate(booking.rate, change))
                booking.side = WrongSide::kOldRateFrom2024;
            else if (!fromChange && IsNewRate(booking.rate, change))
                booking.side = WrongSide::kNewRateBefore2024;
            else
                continue;
        }
        booking.number = buch.GetNumber();
        booking.account = data.GetAccount();
        booking.amount = data.GetAmount();
        booking.text = data.GetText();
        found(booking);
    }
    return pendra::WalkEnded(status) ? pendra::kOk : status;
}
