#pragma once
#include <optional>
#include <string>
#include <vector>

#include "app/batch/StatusReport.h"

struct MandateBookings;

// The report of `mwst-batch bookings --wrong-side`: one row per booking on
// the wrong side of 1.1.2024, and one for a mandate that could not be read,
// with its problem. Text (the headings in the user's language), CSV (RFC
// 4180, UTF-8, a header line) or JSON (an array of objects). The columns,
// and their keys in CSV and JSON:
//   directory,name,number,date,account,key,rate,amount,text,problem
// The date is YYYY-MM-DD, the rate in percent ("7.7"; unknown for a key the
// mandate does not have), the amount with two decimals; the problem is a
// fixed English word in CSV and JSON. Unknown values are empty (null in JSON).

// A row: its fields in column order, nullopt where the value is unknown.
using BookingsRow = std::vector<std::optional<std::string>>;

// The rows of one mandate: its bookings, or the one row naming its problem.
std::vector<BookingsRow> BookingsFields(const MandateBookings& read);
// The whole report of `rows` (from BookingsFields) in `format`.
std::string BookingsReport(const std::vector<BookingsRow>& rows, StatusFormat format);

// A row as one line (with its "\n") and back: how a worker process hands its
// rows to the one that prints them. nullopt for a line that is no row.
std::string EncodedRow(const BookingsRow& row);
std::optional<BookingsRow> DecodedRow(const std::string& line);
