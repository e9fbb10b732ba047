#include "batch/BookingsReport.h"

#include <cstdio>

#include "core/Strings.h"
#include "mandate/MandateBookings.h"
#include "res/Resource.h"
#include "rules/ConversionRules.h"

namespace {

using Kind = ReportTable::Kind;
using Shorten = ReportTable::Shorten;
using Field = ReportTable::Field;

constexpr ReportTable::ColumnSpec kColumns[] = {
    {"directory", Kind::kText, Shorten::kMiddle}, {"name", Kind::kText, Shorten::kEnd},
    {"number", Kind::kNumber, Shorten::kEnd},     {"date", Kind::kText, Shorten::kEnd},
    {"account", Kind::kText, Shorten::kEnd},      {"key", Kind::kText, Shorten::kEnd},
    {"rate", Kind::kNumber, Shorten::kEnd},       {"amount", Kind::kNumber, Shorten::kEnd},
    {"text", Kind::kText, Shorten::kEnd},         {"problem", Kind::kText, Shorten::kEnd},
};

std::string DateText(const std::string& date) {
    if (date.size() != 8) return date;
    return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2);
}

std::string AmountText(double amount) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", amount);
    return text;
}

// The problem in the user's language, from its fixed name.
std::string ProblemTextNamed(const std::string& name) {
    for (int problem = 1; problem <= static_cast<int>(MandateStatus::Problem::kUnreadable); ++problem)
        if (name == ProblemName(static_cast<MandateStatus::Problem>(problem)))
            return ProblemText(static_cast<MandateStatus::Problem>(problem));
    return name;
}

}  // namespace

ReportTable BookingsTable() { return ReportTable::Of(kColumns, LoadString(IDS_BOOKINGS_HEADING)); }

std::vector<ReportTable::Row> BookingsFields(const MandateBookings& read) {
    if (!read.Read()) {
        ReportTable::Row row(std::size(kColumns));
        row.front() = read.directory;
        row[1] = read.name;
        row.back() = std::string(ProblemName(read.problem));
        return {row};
    }
    std::vector<ReportTable::Row> rows;
    for (const WrongSideBooking& booking : read.bookings) {
        const bool keyKnown = booking.side != WrongSide::kMissingKey;
        rows.push_back({read.directory, read.name, std::to_string(booking.number), DateText(booking.date),
                        booking.account, booking.taxId, keyKnown ? Field{RateText(booking.rate)} : std::nullopt,
                        AmountText(booking.amount), booking.text, std::string()});
    }
    return rows;
}

std::string BookingsReport(const std::vector<ReportTable::Row>& rows, StatusFormat format) {
    const ReportTable table = BookingsTable();
    std::string report;
    switch (format) {
    case StatusFormat::kText: {
        std::vector<ReportTable::Row> shown = rows;
        const std::size_t problem = table.Index("problem");
        for (ReportTable::Row& row : shown)
            if (row.at(problem)) row[problem] = ProblemTextNamed(*row[problem]);
        return table.Text(shown);
    }
    case StatusFormat::kCsv:
        report = table.CsvHeader();
        for (const ReportTable::Row& row : rows) report += table.CsvRow(row);
        return report;
    case StatusFormat::kJson:
        report = ReportTable::JsonBegin();
        for (std::size_t i = 0; i < rows.size(); ++i) report += table.JsonRow(rows[i], i);
        return report + ReportTable::JsonEnd();
    }
    return report;
}
