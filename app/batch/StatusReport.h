#pragma once
#include <cstddef>
#include <string>

struct MandateStatus;

// The rows of `mwst-batch status`: text (tab-separated, in the user's
// language), CSV (RFC 4180, UTF-8, a header line) or JSON (an array of
// objects). The columns, and their keys in CSV and JSON:
//   directory,name,data_version,form,old_keys,new_keys_missing,
//   accounts_on_old_keys,old_keys_booked,bookings_2024_on_old_rates,
//   bookings_2023_on_new_rates,stage,problem
// Numbers that could not be read are empty (null in JSON); the problem is a
// fixed English word in CSV and JSON.
enum class StatusFormat { kText, kCsv, kJson };

// What stands before the first row and after the last.
std::string StatusHeader(StatusFormat format);
std::string StatusFooter(StatusFormat format);
// The row of the mandate that is `index`th (from 0) in the report.
std::string StatusRow(const MandateStatus& status, StatusFormat format, std::size_t index);
