#include "app/batch/StatusReport.h"

#include "base/Format.h"
#include "core/Strings.h"
#include "mandate/MandateStatus.h"
#include "res/Resource.h"

namespace {

using Kind = ReportTable::Kind;
using Shorten = ReportTable::Shorten;
using Field = ReportTable::Field;

struct StatusColumn {
    const char* key;
    Kind kind;
    bool inTable;  // the text table shows it; the counts are for CSV and JSON
    Shorten shorten;
};

constexpr StatusColumn kColumns[] = {
    {"directory", Kind::kText, true, Shorten::kMiddle},
    {"name", Kind::kText, true, Shorten::kEnd},
    {"data_version", Kind::kNumber, true, Shorten::kEnd},
    {"data_format", Kind::kNumber, false, Shorten::kEnd},
    {"form", Kind::kText, true, Shorten::kEnd},
    {"old_keys", Kind::kNumber, false, Shorten::kEnd},
    {"new_keys_missing", Kind::kNumber, false, Shorten::kEnd},
    {"accounts_on_old_keys", Kind::kNumber, false, Shorten::kEnd},
    {"old_keys_booked", Kind::kNumber, false, Shorten::kEnd},
    {"bookings_2024_on_old_rates", Kind::kNumber, false, Shorten::kEnd},
    {"bookings_2023_on_new_rates", Kind::kNumber, false, Shorten::kEnd},
    {"stage", Kind::kText, true, Shorten::kEnd},
    {"problem", Kind::kText, false, Shorten::kEnd},
    {"problem_detail", Kind::kText, true, Shorten::kEnd},
};

Field Number(long value, bool known) { return known && value >= 0 ? Field{std::to_string(value)} : std::nullopt; }

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// The form as the table shows it: the fixed words in the user's language.
std::string FormText(const std::string& form) {
    if (form == "none") return LoadString(IDS_FORM_NONE);
    if (form == "unreadable") return LoadString(IDS_FORM_UNREADABLE);
    return form;
}

std::string StageTextNamed(const std::string& name) {
    for (int stage = 0; stage <= static_cast<int>(ConversionStage::kWaitingForOldBookings); ++stage)
        if (name == StageName(static_cast<ConversionStage>(stage))) return StageText(static_cast<ConversionStage>(stage));
    return name;
}

std::string ProblemTextNamed(const std::string& name) {
    for (int problem = 1; problem <= static_cast<int>(MandateStatus::Problem::kUnreadable); ++problem)
        if (name == ProblemName(static_cast<MandateStatus::Problem>(problem)))
            return ProblemText(static_cast<MandateStatus::Problem>(problem));
    return name;
}

// A row's fixed words as a person reads them.
ReportTable::Row InUserLanguage(ReportTable::Row row, const ReportTable& table) {
    const auto translate = [&](const char* key, std::string (*text)(const std::string&)) {
        Field& field = row.at(table.Index(key));
        if (field) field = text(*field);
    };
    translate("form", FormText);
    translate("stage", StageTextNamed);
    translate("problem", ProblemTextNamed);
    return row;
}

// The reason in words: what the read found, else what the problem means.
std::string ProblemDetail(const MandateStatus& status) {
    if (!status.detail.empty()) return status.detail;
    switch (status.problem) {
    case MandateStatus::Problem::kNone: return {};
    case MandateStatus::Problem::kVersion:
        return Format(LoadString(IDS_DETAIL_VERSION), status.dataVersion ? std::to_string(status.dataVersion) : "?");
    case MandateStatus::Problem::kPassword: return LoadString(IDS_DETAIL_PASSWORD);
    case MandateStatus::Problem::kLocked: return LoadString(IDS_DETAIL_LOCKED);
    case MandateStatus::Problem::kUnreadable: break;
    }
    return ProblemText(status.problem);
}

}  // namespace

ReportTable StatusTable() {
    const std::vector<std::string> headings = Split(LoadString(IDS_STATUS_HEADING), '\t');
    std::vector<ReportTable::Column> columns;
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
        const StatusColumn& column = kColumns[i];
        const std::string heading = column.inTable && i < headings.size() ? headings[i] : std::string();
        columns.push_back({column.key, column.kind, heading, column.shorten});
    }
    return ReportTable(std::move(columns));
}

ReportTable::Row StatusFields(const MandateStatus& status) {
    const bool read = status.Read();
    const ConversionState& state = status.state;
    return {
        status.directory,
        status.name,
        Number(status.dataVersion, status.dataVersion != 0),
        Number(status.dataFormat, status.dataFormat != 0),
        read ? Field{status.form} : std::nullopt,
        Number(state.oldKeys, read),
        Number(state.newKeysMissing, read),
        Number(state.accountsOnOldKeys, read),
        Number(state.oldKeysBooked, read),
        Number(state.bookings2024OnOldRates, read),
        Number(state.bookings2023OnNewRates, read),
        read ? Field{StageName(status.stage)} : std::nullopt,
        std::string(ProblemName(status.problem)),
        ProblemDetail(status),
    };
}

std::string StatusReport(const std::vector<ReportTable::Row>& rows, StatusFormat format) {
    const ReportTable table = StatusTable();
    std::string report;
    switch (format) {
    case StatusFormat::kText: {
        std::vector<ReportTable::Row> shown;
        for (const ReportTable::Row& row : rows) shown.push_back(InUserLanguage(row, table));
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
