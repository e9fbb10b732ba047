#pragma once
#include <string>
#include <vector>

#include "batch/ReportTable.h"

struct MandateStatus;

// The report of `mwst-batch status`: text (an aligned table in the user's
// language, the problem details whole below it, then the counts), CSV (RFC 4180, UTF-8, a header line) or JSON
// (an array of objects). The columns, and their keys in CSV and JSON:
//   directory,name,data_version,data_format,form,old_keys,new_keys_missing,
//   accounts_on_old_keys,accounts_on_missing_keys,old_keys_booked,
//   bookings_2024_on_old_rates,bookings_2023_on_new_rates,
//   bookings_on_missing_keys,stage,next_step,
//   problem,problem_detail
// Numbers that could not be read are empty (null in JSON); the form, the
// stage, the next step and the problem are fixed English words in CSV and
// JSON, the problem's detail is in the user's language everywhere.
// With the summary: the number of mandates per stage and per problem alone,
// in CSV and JSON under the keys count_of ("stage", "problem"), value, mandates.
enum class StatusFormat { kText, kCsv, kJson };

// The columns, their table headings in the user's language.
ReportTable StatusTable();
// The row of one mandate, its words the fixed ones of CSV and JSON.
ReportTable::Row StatusFields(const MandateStatus& status);
// The whole report of `rows` (from StatusFields) in `format`.
std::string StatusReport(const std::vector<ReportTable::Row>& rows, StatusFormat format, bool summaryOnly = false);
