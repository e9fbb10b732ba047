#include "app/batch/StatusReport.h"

#include <cstdio>
#include <vector>

#include "core/Strings.h"
#include "mandate/MandateStatus.h"
#include "res/Resource.h"

namespace {

constexpr const char* kKeys[] = {"directory",
                                 "name",
                                 "data_version",
                                 "form",
                                 "old_keys",
                                 "new_keys_missing",
                                 "accounts_on_old_keys",
                                 "old_keys_booked",
                                 "bookings_2024_on_old_rates",
                                 "bookings_2023_on_new_rates",
                                 "stage",
                                 "problem"};
constexpr std::size_t kNumberFirst = 2, kNumberLast = 9;  // data_version .. the booking counts, but form
constexpr std::size_t kForm = 3;

// One field: a text, or a number that is known (-1 and an unknown version are not).
struct Field {
    std::string text;
    bool known = true;
};

Field Number(long value, bool known) { return known && value >= 0 ? Field{std::to_string(value)} : Field{{}, false}; }

// The form as the text report shows it: the fixed words in the user's language.
std::string FormText(const std::string& form) {
    if (form == "none") return LoadString(IDS_FORM_NONE);
    if (form == "unreadable") return LoadString(IDS_FORM_UNREADABLE);
    return form;
}

std::vector<Field> Fields(const MandateStatus& status, StatusFormat format) {
    const bool read = status.Read();
    const ConversionState& state = status.state;
    const bool text = format == StatusFormat::kText;
    return {
        {status.directory},
        {status.name},
        Number(status.dataVersion, status.dataVersion != 0),
        read ? Field{text ? FormText(status.form) : status.form} : Field{{}, false},
        Number(state.oldKeys, read),
        Number(state.newKeysMissing, read),
        Number(state.accountsOnOldKeys, read),
        Number(state.oldKeysBooked, read),
        Number(state.bookings2024OnOldRates, read),
        Number(state.bookings2023OnNewRates, read),
        read ? Field{text ? StageText(status.stage) : StageName(status.stage)} : Field{{}, false},
        {text ? ProblemText(status.problem) : ProblemName(status.problem)},
    };
}

std::string CsvQuoted(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// A JSON string; the texts are UTF-8 already, so only quotes, backslashes and
// control characters are escaped.
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

std::string JsonValue(const Field& field, std::size_t column) {
    if (!field.known) return "null";
    const bool number = column >= kNumberFirst && column <= kNumberLast && column != kForm;
    return number ? field.text : JsonString(field.text);
}

}  // namespace

std::string StatusHeader(StatusFormat format) {
    switch (format) {
    case StatusFormat::kText:
        return LoadString(IDS_STATUS_HEADING) + "\n";
    case StatusFormat::kCsv: {
        std::string line;
        for (const char* key : kKeys) line += (line.empty() ? "" : ",") + std::string(key);
        return line + "\r\n";
    }
    case StatusFormat::kJson:
        return "[";
    }
    return {};
}

std::string StatusFooter(StatusFormat format) { return format == StatusFormat::kJson ? "\n]\n" : ""; }

std::string StatusRow(const MandateStatus& status, StatusFormat format, std::size_t index) {
    const std::vector<Field> fields = Fields(status, format);
    std::string row;
    for (std::size_t column = 0; column < fields.size(); ++column) {
        switch (format) {
        case StatusFormat::kText:
            row += (column ? "\t" : "") + fields[column].text;
            break;
        case StatusFormat::kCsv:
            row += (column ? "," : "") + CsvQuoted(fields[column].text);
            break;
        case StatusFormat::kJson:
            row += std::string(column ? ", " : "{") + JsonString(kKeys[column]) + ": " + JsonValue(fields[column], column);
            break;
        }
    }
    switch (format) {
    case StatusFormat::kText: return row + "\n";
    case StatusFormat::kCsv: return row + "\r\n";
    case StatusFormat::kJson: return (index ? ",\n  " : "\n  ") + row + "}";
    }
    return row;
}
