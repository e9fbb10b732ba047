#include "app/batch/BookingsReport.h"

#include <cstdio>
#include <sstream>

#include "core/Strings.h"
#include "mandate/MandateBookings.h"
#include "res/Resource.h"
#include "rules/ConversionRules.h"

namespace {

constexpr const char* kKeys[] = {"directory", "name", "number", "date", "account",
                                 "key",       "rate", "amount", "text", "problem"};
constexpr std::size_t kColumns = sizeof kKeys / sizeof kKeys[0];
constexpr std::size_t kNumber = 2, kRate = 6, kAmount = 7, kProblem = 9;

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
    using Problem = MandateStatus::Problem;
    for (Problem problem : {Problem::kVersion, Problem::kPassword, Problem::kLocked, Problem::kUnreadable})
        if (name == ProblemName(problem)) return ProblemText(problem);
    return name;
}

// Until the rows go through the shared report writer: RFC 4180 fields and
// JSON strings of UTF-8 texts.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

std::string JsonValue(const std::optional<std::string>& field, std::size_t column) {
    if (!field) return "null";
    const bool number = column == kNumber || column == kRate || column == kAmount;
    return number ? *field : JsonString(*field);
}

}  // namespace

std::vector<BookingsRow> BookingsFields(const MandateBookings& read) {
    if (!read.Read()) {
        BookingsRow row(kColumns);
        row[0] = read.directory;
        row[1] = read.name;
        row[kProblem] = ProblemName(read.problem);
        return {row};
    }
    std::vector<BookingsRow> rows;
    for (const WrongSideBooking& booking : read.bookings) {
        const bool keyKnown = booking.side != WrongSide::kMissingKey;
        rows.push_back({read.directory, read.name, std::to_string(booking.number), DateText(booking.date),
                        booking.account, booking.taxId,
                        keyKnown ? std::optional<std::string>(RateText(booking.rate)) : std::nullopt,
                        AmountText(booking.amount), booking.text, std::string()});
    }
    return rows;
}

std::string BookingsReport(const std::vector<BookingsRow>& rows, StatusFormat format) {
    std::string report;
    switch (format) {
    case StatusFormat::kText:
        report = LoadString(IDS_BOOKINGS_HEADING) + "\n";
        for (const BookingsRow& row : rows) {
            for (std::size_t column = 0; column < row.size(); ++column) {
                const std::string text = row[column].value_or("");
                report += (column ? "\t" : "") + (column == kProblem ? ProblemTextNamed(text) : text);
            }
            report += "\n";
        }
        return report;
    case StatusFormat::kCsv:
        for (std::size_t column = 0; column < kColumns; ++column) report += (column ? "," : "") + std::string(kKeys[column]);
        report += "\r\n";
        for (const BookingsRow& row : rows) {
            for (std::size_t column = 0; column < row.size(); ++column)
                report += (column ? "," : "") + CsvField(row[column].value_or(""));
            report += "\r\n";
        }
        return report;
    case StatusFormat::kJson:
        report = "[";
        for (std::size_t index = 0; index < rows.size(); ++index) {
            report += index ? ",\n  {" : "\n  {";
            for (std::size_t column = 0; column < rows[index].size(); ++column)
                report += std::string(column ? ", " : "") + JsonString(kKeys[column]) + ": " +
                          JsonValue(rows[index][column], column);
            report += "}";
        }
        return report + "\n]\n";
    }
    return report;
}

// Each field on the line after a tab: "-" for unknown, "=" and the text with
// backslash, tab and line breaks escaped.
std::string EncodedRow(const BookingsRow& row) {
    std::string line = "row";
    for (const std::optional<std::string>& field : row) {
        line += field ? "\t=" : "\t-";
        if (!field) continue;
        for (char c : *field) {
            if (c == '\\') line += "\\\\";
            else if (c == '\t') line += "\\t";
            else if (c == '\n') line += "\\n";
            else if (c == '\r') line += "\\r";
            else line += c;
        }
    }
    return line + "\n";
}

std::optional<BookingsRow> DecodedRow(const std::string& line) {
    std::istringstream fields(line);
    std::string field;
    if (!std::getline(fields, field, '\t') || field != "row") return std::nullopt;
    BookingsRow row;
    while (std::getline(fields, field, '\t')) {
        if (field.empty() || (field[0] != '-' && field[0] != '=')) return std::nullopt;
        if (field[0] == '-') {
            row.emplace_back();
            continue;
        }
        std::string text;
        for (std::size_t i = 1; i < field.size(); ++i) {
            if (field[i] != '\\' || i + 1 == field.size()) {
                text += field[i];
                continue;
            }
            const char escaped = field[++i];
            text += escaped == 't' ? '\t' : escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped;
        }
        row.push_back(text);
    }
    if (row.size() != kColumns) return std::nullopt;
    return row;
}
