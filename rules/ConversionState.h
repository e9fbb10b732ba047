#pragma once
#include <string>

#include "rules/FormEra.h"

class ConvertTable;
class Mandate;

// How far the conversion of one mandate has come, as its records tell: read
// only, from one walk of the keys, one of the accounts and, when asked for,
// one of the bookings. Keys the conversion leaves alone do not count among
// the keys and accounts; the bookings count on every key.
struct ConversionState {
    int oldKeys = 0;            // keys at 7.7, 2.5 or 3.7 %
    int newKeysMissing = 0;     // old keys whose new key the mandate does not have (yet)
    int accountsOnOldKeys = 0;  // accounts whose default key is an old key
    // Of those, the accounts the account command would move: their old key's new key exists.
    int accountsToAdapt = 0;
    int accountsOnMissingKeys = 0;  // accounts whose default key the mandate does not have
    int newKeys = 0;                // new keys of old keys the mandate still has
    int accountsOnNewKeys = 0;      // accounts whose default key is one of those
    // Read with the key uses only (-1 otherwise):
    int oldKeysBooked = -1;             // old keys that a booking still uses
    int oldKeysUnused = -1;             // old keys that no booking and no account default uses
    int newKeysUnused = -1;             // new keys that no booking and no account default uses
    // Read with the wrong-side bookings only (-1 otherwise): the bookings on
    // the wrong side of 1.1.2024 (WrongSideBookings.h), on any key, also one
    // the conversion leaves alone:
    long bookings2024OnOldRates = -1;   // dated 1.1.2024 or later, on a key at an old rate
    long bookings2023OnNewRates = -1;   // dated before 1.1.2024, on a key at a new rate
    long bookingsOnMissingKeys = -1;    // on a key the mandate does not have
};

// The last conversion step a mandate shows done, from its state and the
// version of its active form workbook (0: none or unreadable). Waiting for
// old bookings: the 2024 form is active and every old key left is still
// booked, the normal state until those bookings are closed.
enum class ConversionStage {
    kNotStarted,
    kKeysInserted,
    kAccountsAdapted,
    kForm2024,
    kOldKeysRemoved,
    kInconsistent,
    kWaitingForOldBookings
};

// Each step's target, the one definition the commands, their end lines and
// exit status and `mwst-batch status` share.
// insert-keys: every old key the rules convert has its new key.
bool NewKeysInPlace(const ConversionState& state);
// adapt-accounts: no account defaults to an old key the rules convert.
bool AccountsAdapted(const ConversionState& state);
// remove-old-keys: no old key is left that nothing uses (needs the key uses).
bool UnusedOldKeysRemoved(const ConversionState& state);
// reset-accounts: no account defaults to the new key of an old key the mandate has.
bool AccountsReset(const ConversionState& state);
// remove-new-keys: no new key of an old key is left that nothing uses (needs the key uses).
bool UnusedNewKeysRemoved(const ConversionState& state);

// How far into the bookings a state is read: not at all; whether each old and
// new key is booked (one indexed query per key); and also every booking on
// the wrong side of 1.1.2024 (a walk over all bookings).
enum class BookingReach { kNone, kKeyUses, kWrongSide };

// Reads the state of the open `mandate` with the new ids from `table`: kOk, or
// the status of the read that failed. Old and new keys, rates and the day
// that divides the bookings are those of `change`.
int ReadConversionState(Mandate& mandate, const ConvertTable& table, BookingReach reach, ConversionState& state,
                        const RateChange& change = DefaultRateChange());

ConversionStage StageOf(const ConversionState& state, FormEra era, const RateChange& change = DefaultRateChange());
// The stage's fixed name ("not-started", "keys-inserted", ...), the same in every language.
const char* StageName(ConversionStage stage);
