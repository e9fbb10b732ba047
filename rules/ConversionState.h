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
    // Asked for with the bookings only (-1 otherwise):
    int oldKeysBooked = -1;             // old keys that a booking still uses
    int oldKeysUnused = -1;             // old keys that no booking and no account default uses
    // The bookings on the wrong side of 1.1.2024 (WrongSideBookings.h), on any
    // key, also one the conversion leaves alone:
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
// remove-old-keys: no old key is left that nothing uses (needs the bookings).
bool UnusedOldKeysRemoved(const ConversionState& state);

// Reads the state of the open `mandate` with the new ids from `table`: kOk, or
// the status of the read that failed.
int ReadConversionState(Mandate& mandate, const ConvertTable& table, bool withBookings, ConversionState& state);

ConversionStage StageOf(const ConversionState& state, FormEra era);
// The stage's fixed name ("not-started", "keys-inserted", ...), the same in every language.
const char* StageName(ConversionStage stage);
