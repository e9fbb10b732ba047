#pragma once
#include <string>
#include <vector>

#include "batch/ReportTable.h"
#include "batch/StatusReport.h"

struct MandateBookings;

// The report of `mwst-batch bookings --wrong-side`: one row per booking on
// the wrong side of 1.1.2024, and one for a mandate that could not be read,
// with its problem. Text (an aligned table in the user's language), CSV (RFC
// 4180, UTF-8, a header line) or JSON (an array of objects). The columns,
// and their keys in CSV and JSON:
//   directory,name,number,date,account,key,rate,amount,text,problem
// The date is YYYY-MM-DD, the rate in percent ("7.7"; unknown for a key the
// mandate does not have), the amount with two decimals; the problem is a
// fixed English word in CSV and JSON. Unknown values are empty (null in JSON).

// The columns, their table headings in the user's language.
ReportTable BookingsTable();
// The rows of one mandate: its bookings, or the one row naming its problem.
std::vector<ReportTable::Row> BookingsFields(const MandateBookings& read);
// The whole report of `rows` (from BookingsFields) in `format`.
std::string BookingsReport(const std::vector<ReportTable::Row>& rows, StatusFormat format);
