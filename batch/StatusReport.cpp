#include "batch/StatusReport.h"

#include <map>

#include "base/Format.h"
#include "core/Strings.h"
#include "mandate/MandateStatus.h"
#include "res/Resource.h"

namespace {

using Kind = ReportTable::Kind;
using Shorten = ReportTable::Shorten;
using Field = ReportTable::Field;
using Row = ReportTable::Row;
using Problem = MandateStatus::Problem;

// In the order of the headings of IDS_STATUS_HEADING.
constexpr ReportTable::ColumnSpec kColumns[] = {
    {"directory", Kind::kText, Shorten::kMiddle},
    {"name", Kind::kText, Shorten::kEnd},
    {"data_version", Kind::kNumber, Shorten::kEnd},
    {"data_format", Kind::kNumber, Shorten::kEnd, false},
    {"form", Kind::kText, Shorten::kEnd},
    {"old_keys", Kind::kNumber, Shorten::kEnd, false},
    {"new_keys_missing", Kind::kNumber, Shorten::kEnd, false},
    {"accounts_on_old_keys", Kind::kNumber, Shorten::kEnd, false},
    {"accounts_on_missing_keys", Kind::kNumber, Shorten::kEnd, false},
    {"old_keys_booked", Kind::kNumber, Shorten::kEnd, false},
    {"bookings_2024_on_old_rates", Kind::kNumber, Shorten::kEnd, false},
    {"bookings_2023_on_new_rates", Kind::kNumber, Shorten::kEnd, false},
    {"bookings_on_missing_keys", Kind::kNumber, Shorten::kEnd, false},
    {"stage", Kind::kText, Shorten::kEnd},
    {"next_step", Kind::kText, Shorten::kEnd},
    {"problem", Kind::kText, Shorten::kEnd},
    // Too long for a column: the text gives it whole below the table.
    {"problem_detail", Kind::kText, Shorten::kEnd, false},
};

// The next steps that are no command, by their fixed words, and their texts.
constexpr std::pair<const char*, int> kNextWords[] = {
    {"old bookings", IDS_NEXT_OLD_BOOKINGS},     {"correct accounts", IDS_NEXT_CORRECT_ACCOUNTS},
    {"update data", IDS_NEXT_UPDATE_DATA},       {"password", IDS_NEXT_PASSWORD},
    {"retry later", IDS_NEXT_RETRY},             {"check folder", IDS_NEXT_CHECK_FOLDER},
};

Field Number(long value, bool known) { return known && value >= 0 ? Field{std::to_string(value)} : std::nullopt; }

// The command to run next, or what the mandate waits for or needs: the way
// out of an inconsistent state in the order StageOf finds it.
std::string NextStep(const MandateStatus& status) {
    switch (status.problem) {
    case Problem::kNone: break;
    case Problem::kVersion: return "update data";
    case Problem::kPassword: return "password";
    case Problem::kLocked: return "retry later";
    case Problem::kUnreadable: return "check folder";
    }
    const ConversionState& state = status.state;
    switch (status.stage) {
    case ConversionStage::kNotStarted: return "insert-keys";
    case ConversionStage::kKeysInserted: return "adapt-accounts";
    case ConversionStage::kAccountsAdapted: return "form-2024";
    case ConversionStage::kForm2024: return "remove-old-keys";
    case ConversionStage::kWaitingForOldBookings: return "old bookings";
    case ConversionStage::kOldKeysRemoved: return "";
    case ConversionStage::kInconsistent: break;
    }
    if (state.accountsOnMissingKeys > 0) return "correct accounts";
    if (status.form == "mixed") return SumsNewKeys(status.era) ? "form-2024" : "form-2018";
    if (!NewKeysInPlace(state)) return "form-2018";
    return "adapt-accounts";
}

// The reason in words: what the read found, else what the problem or the
// inconsistency means and the way out.
std::string ProblemDetail(const MandateStatus& status) {
    if (!status.detail.empty()) return status.detail;
    switch (status.problem) {
    case Problem::kNone: break;
    case Problem::kVersion:
        return Format(LoadString(IDS_DETAIL_VERSION), status.dataVersion ? std::to_string(status.dataVersion) : "?");
    case Problem::kPassword: return LoadString(IDS_DETAIL_PASSWORD);
    case Problem::kLocked: return LoadString(IDS_DETAIL_LOCKED);
    case Problem::kUnreadable: return ProblemText(status.problem);
    }
    if (status.stage != ConversionStage::kInconsistent) return {};
    const ConversionState& state = status.state;
    if (state.accountsOnMissingKeys > 0) return Format(LoadString(IDS_DETAIL_MISSING_KEYS_ACCOUNTS), state.accountsOnMissingKeys);
    if (status.form == "mixed") return Format(LoadString(IDS_DETAIL_FORMS_MIXED), status.formVersions);
    if (!NewKeysInPlace(state)) return Format(LoadString(IDS_DETAIL_KEYS_MISSING_FORM_2024), state.newKeysMissing);
    return Format(LoadString(IDS_DETAIL_ACCOUNTS_FORM_2024), state.accountsOnOldKeys);
}

// The form as the table shows it: the fixed words in the user's language.
std::string FormText(const std::string& form) {
    if (form == "none") return LoadString(IDS_FORM_NONE);
    if (form == "unreadable") return LoadString(IDS_FORM_UNREADABLE);
    if (form == "mixed") return LoadString(IDS_FORM_MIXED);
    return form;
}

constexpr int kLastStage = static_cast<int>(ConversionStage::kWaitingForOldBookings);
constexpr int kLastProblem = static_cast<int>(Problem::kUnreadable);

std::string StageTextNamed(const std::string& name) {
    for (int stage = 0; stage <= kLastStage; ++stage)
        if (name == StageName(static_cast<ConversionStage>(stage))) return StageText(static_cast<ConversionStage>(stage));
    return name;
}

std::string ProblemTextNamed(const std::string& name) {
    for (int problem = 1; problem <= kLastProblem; ++problem)
        if (name == ProblemName(static_cast<Problem>(problem))) return ProblemText(static_cast<Problem>(problem));
    return name;
}

std::string NextStepText(const std::string& step) {
    for (const auto& [word, id] : kNextWords)
        if (step == word) return LoadString(id);
    return step;  // a command, the same in every language
}

// A row's fixed words as a person reads them.
Row InUserLanguage(Row row, const ReportTable& table) {
    const auto translate = [&](const char* key, std::string (*text)(const std::string&)) {
        Field& field = row.at(table.Index(key));
        if (field) field = text(*field);
    };
    translate("form", FormText);
    translate("stage", StageTextNamed);
    translate("next_step", NextStepText);
    translate("problem", ProblemTextNamed);
    return row;
}

// How many rows have each stage and each problem, in the order of the
// stages and the problems: {"stage" or "problem", fixed name, count}.
struct Count {
    const char* of;
    std::string name;
    int mandates;
};

std::vector<Count> Counts(const std::vector<Row>& rows, const ReportTable& table) {
    std::map<std::string, int> stages, problems;
    for (const Row& row : rows) {
        if (const Field& stage = row.at(table.Index("stage"))) ++stages[*stage];
        if (const Field& problem = row.at(table.Index("problem")); problem && !problem->empty()) ++problems[*problem];
    }
    std::vector<Count> counts;
    for (int stage = 0; stage <= kLastStage; ++stage) {
        const std::string name = StageName(static_cast<ConversionStage>(stage));
        if (stages.count(name)) counts.push_back({"stage", name, stages[name]});
    }
    for (int problem = 1; problem <= kLastProblem; ++problem) {
        const std::string name = ProblemName(static_cast<Problem>(problem));
        if (problems.count(name)) counts.push_back({"problem", name, problems[name]});
    }
    return counts;
}

std::string SummaryText(const std::vector<Row>& rows, const ReportTable& table) {
    std::string text;
    for (const Count& count : Counts(rows, table)) {
        const bool stage = std::string(count.of) == "stage";
        text += Format(LoadString(stage ? IDS_STATUS_SUMMARY_STAGE : IDS_STATUS_SUMMARY_PROBLEM), count.mandates,
                       stage ? StageTextNamed(count.name) : ProblemTextNamed(count.name)) +
                "\n";
    }
    return text + Format(LoadString(IDS_STATUS_SUMMARY_TOTAL), static_cast<int>(rows.size())) + "\n";
}

std::string Written(const ReportTable& table, const std::vector<Row>& rows, StatusFormat format) {
    std::string report;
    if (format == StatusFormat::kCsv) {
        report = table.CsvHeader();
        for (const Row& row : rows) report += table.CsvRow(row);
        return report;
    }
    report = ReportTable::JsonBegin();
    for (std::size_t i = 0; i < rows.size(); ++i) report += table.JsonRow(rows[i], i);
    return report + ReportTable::JsonEnd();
}

}  // namespace

ReportTable StatusTable() { return ReportTable::Of(kColumns, LoadString(IDS_STATUS_HEADING)); }

Row StatusFields(const MandateStatus& status) {
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
        Number(state.accountsOnMissingKeys, read),
        Number(state.oldKeysBooked, read),
        Number(state.bookings2024OnOldRates, read),
        Number(state.bookings2023OnNewRates, read),
        Number(state.bookingsOnMissingKeys, read),
        read ? Field{StageName(status.stage)} : std::nullopt,
        NextStep(status),
        std::string(ProblemName(status.problem)),
        ProblemDetail(status),
    };
}

std::string StatusReport(const std::vector<Row>& rows, StatusFormat format, bool summaryOnly) {
    const ReportTable table = StatusTable();
    if (format == StatusFormat::kText) {
        if (summaryOnly) return SummaryText(rows, table);
        std::vector<Row> shown;
        std::string details;
        for (const Row& row : rows) {
            shown.push_back(InUserLanguage(row, table));
            const Field& detail = row.at(table.Index("problem_detail"));
            if (detail && !detail->empty())
                details += ReportTable::Visible(row.at(table.Index("directory")).value_or("")) + ": " +
                           ReportTable::Visible(*detail) + "\n";
        }
        return table.Text(shown) + (details.empty() ? "" : "\n" + details) + "\n" + SummaryText(rows, table);
    }
    if (!summaryOnly) return Written(table, rows, format);
    const ReportTable summary({{"count_of", Kind::kText, "", Shorten::kEnd},
                               {"value", Kind::kText, "", Shorten::kEnd},
                               {"mandates", Kind::kNumber, "", Shorten::kEnd}});
    std::vector<Row> counts;
    for (const Count& count : Counts(rows, table))
        counts.push_back({std::string(count.of), count.name, std::to_string(count.mandates)});
    return Written(summary, counts, format);
}
