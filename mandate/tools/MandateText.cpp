#include "mandate/tools/MandateText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/Windows1252.h"

#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/PendraMessages.h"
#include "pendra/PendraStatus.h"
#include "pendra/RecordBytes.h"
#include "pendra/TableLayout.h"
#include "pendra/Tax.h"
#include "pendra/TaxIdText.h"

using pendra::bytes::Load;
using pendra::bytes::Store;

namespace mandant {
namespace {

constexpr std::string_view kBlanks = " \t";

// The fields of one line: `count` blank-separated words and the rest.
struct SplitLine {
    std::vector<std::string_view> words;
    std::string_view rest;
};

SplitLine Split(std::string_view line, std::size_t count) {
    SplitLine split;
    while (split.words.size() < count) {
        std::size_t start = line.find_first_not_of(kBlanks);
        if (start == std::string_view::npos) return split;
        line.remove_prefix(start);
        std::size_t end = std::min(line.find_first_of(kBlanks), line.size());
        split.words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    std::size_t start = line.find_first_not_of(kBlanks);
    split.rest = start == std::string_view::npos ? std::string_view() : line.substr(start);
    return split;
}

// Reads the fields of one line into a record, remembering the first problem.
class LineReader {
public:
    LineReader(int line, std::vector<TextError>& errors) : line_(line), errors_(errors) {}
    bool Failed() const { return failed_; }

    void Fail(const std::string& field, const std::string& message) {
        if (failed_) return;
        failed_ = true;
        errors_.push_back({line_, field, message});
    }

    template <typename T>
    bool Integer(std::string_view word, const char* field, T& value) {
        auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (ec == std::errc::result_out_of_range) {
            Fail(field, "'" + std::string(word) + "' is out of range");
            return false;
        }
        if (ec != std::errc() || ptr != word.data() + word.size()) {
            Fail(field, "'" + std::string(word) + "' is not a whole number");
            return false;
        }
        return true;
    }

    bool Number(std::string_view word, const char* field, double& value) {
        auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (ec != std::errc() || ptr != word.data() + word.size() || !std::isfinite(value)) {
            Fail(field, "'" + std::string(word) + "' is not a number (use a decimal point)");
            return false;
        }
        return true;
    }

    // A text field; `-` is empty unless `dashIsEmpty` is off; never cut.
    void Text(unsigned char* record, std::size_t offset, std::size_t width, std::string_view text,
              const char* field, bool dashIsEmpty, bool required = false) {
        if (dashIsEmpty && text == "-") text = {};
        if (required && text.empty()) return Fail(field, "must not be empty");
        if (text.size() > width) {
            return Fail(field, "'" + std::string(text) + "' is longer than " +
                                   std::to_string(width) + " bytes");
        }
        for (char c : text) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
                return Fail(field, "contains a control character");
            }
        }
        // An empty field may have a null data(); memcpy from null is undefined even for 0 bytes.
        if (!text.empty()) std::memcpy(record + offset, text.data(), text.size());
    }

    // A tax id: up to `width` characters of Windows-1252, stored as the data
    // library stores ids (one byte a character); never cut.
    void Id(unsigned char* record, std::size_t offset, std::size_t width, std::string_view text,
            const char* field, bool dashIsEmpty, bool required = false) {
        if (dashIsEmpty && text == "-") text = {};
        if (required && text.empty()) return Fail(field, "must not be empty");
        for (char c : text) {
            if (static_cast<unsigned char>(c) < 0x20) return Fail(field, "contains a control character");
        }
        std::string stored;
        switch (pendra::EncodeTaxId(text, width, stored)) {
            case pendra::kOk: break;
            case pendra::kKeyTooLong:
                return Fail(field, "'" + std::string(text) + "' is longer than " +
                                       std::to_string(width) + " characters");
            default:
                return Fail(field, "'" + std::string(text) +
                                       "' holds a character that Windows-1252 does not have");
        }
        std::memcpy(record + offset, stored.data(), stored.size());
    }

private:
    int line_;
    std::vector<TextError>& errors_;
    bool failed_ = false;
};

bool NeedFields(LineReader& reader, const SplitLine& split, std::size_t count,
                std::initializer_list<const char*> names) {
    if (split.words.size() >= count) return true;
    reader.Fail(*(names.begin() + split.words.size()), "missing");
    return false;
}

// A booking date as stored, "YYYYMMDD", from that form or the ISO form
// "YYYY-MM-DD"; empty when it is neither.
std::string StoredDate(std::string_view date) {
    if (date.size() == 10 && date[4] == '-' && date[7] == '-') {
        std::string compact = std::string(date.substr(0, 4)) + std::string(date.substr(5, 2)) + std::string(date.substr(8, 2));
        return compact.find('-') == std::string::npos ? compact : std::string();
    }
    return std::string(date);
}

bool ValidDate(std::string_view date) {
    if (date.size() != 8 || date.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    int year = std::stoi(std::string(date.substr(0, 4)));
    int month = std::stoi(std::string(date.substr(4, 2)));
    int day = std::stoi(std::string(date.substr(6, 2)));
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

float PercentToFraction(double percent) { return static_cast<float>(percent / 100.0); }

void ParseKey(LineReader& reader, std::string_view body, TextEntry& entry) {
    SplitLine split = Split(body, 5);
    if (!NeedFields(reader, split, 5, {"ID", "RATE", "GROSS", "netto|brutto", "ACCOUNT"})) return;
    entry.record.assign(Tax::kSize, 0);
    unsigned char* r = entry.record.data();
    reader.Id(r, Tax::kIdOffset, Tax::kIdWidth, split.words[0], "ID", false, true);
    double rate = 0, gross = 0;
    if (reader.Number(split.words[1], "RATE", rate) && (rate < 0 || rate > 100)) {
        reader.Fail("RATE", "must lie between 0 and 100 percent");
    }
    if (reader.Number(split.words[2], "GROSS", gross) && (gross < 100 || gross > 200)) {
        reader.Fail("GROSS", "must lie between 100 and 200 percent");
    }
    Store(r + Tax::kRateOffset, PercentToFraction(rate));
    Store(r + Tax::kQuoteOffset, PercentToFraction(gross));
    if (split.words[3] == "netto") {
        r[Tax::kNettoOffset] = 1;
    } else if (split.words[3] != "brutto") {
        reader.Fail("netto|brutto", "'" + std::string(split.words[3]) + "' is neither");
    }
    reader.Text(r, Tax::kKontoOffset, Tax::kKontoWidth, split.words[4], "ACCOUNT", true);
    reader.Text(r, Tax::kTextOffset, Tax::kTextWidth, split.rest, "TEXT", false);
}

void ParseAccount(LineReader& reader, std::string_view body, TextEntry& entry) {
    SplitLine split = Split(body, 3);
    if (!NeedFields(reader, split, 3, {"NUMBER", "TYPE", "TAXID"})) return;
    entry.record.assign(Konto::kSize, 0);
    unsigned char* r = entry.record.data();
    reader.Text(r, Konto::kNumberOffset, Konto::kNumberWidth, split.words[0], "NUMBER", false,
                true);
    std::int16_t type = 0;
    if (reader.Integer(split.words[1], "TYPE", type)) Store(r + Konto::kTypeOffset, type);
    reader.Id(r, Konto::kTaxIdOffset, Konto::kTaxIdWidth, split.words[2], "TAXID", true);
    reader.Text(r, Konto::kNameOffset, Konto::kNameWidth, split.rest, "NAME", false);
}

void ParseBooking(LineReader& reader, std::string_view body, TextEntry& entry) {
    SplitLine split = Split(body, 5);
    if (!NeedFields(reader, split, 5, {"NUMBER", "DATE", "ACCOUNT", "AMOUNT", "TAXID"})) return;
    entry.record.assign(Buch::kSize, 0);
    unsigned char* r = entry.record.data();
    std::int32_t number = 0;
    if (reader.Integer(split.words[0], "NUMBER", number)) Store(r + Buch::kNumberOffset, number);
    if (const std::string date = StoredDate(split.words[1]); !ValidDate(date)) {
        reader.Fail("DATE", "'" + std::string(split.words[1]) + "' is no date YYYYMMDD or YYYY-MM-DD");
    } else {
        std::memcpy(r + Buch::kDateOffset, date.data(), Buch::kDateWidth);
    }
    reader.Text(r, Buch::kAccountOffset, Buch::kAccountWidth, split.words[2], "ACCOUNT", true);
    double amount = 0;
    if (reader.Number(split.words[3], "AMOUNT", amount)) Store(r + Buch::kAmountOffset, amount);
    reader.Id(r, Buch::kTaxIdOffset, Buch::kTaxIdWidth, split.words[4], "TAXID", true);
    reader.Text(r, Buch::kTextOffset, Buch::kTextWidth, split.rest, "TEXT", false);
}

void ParseSetting(LineReader& reader, std::string_view body, TextEntry& entry) {
    SplitLine split = Split(body, 3);
    if (!NeedFields(reader, split, 3, {"SECTION", "KEY", "VALUE"})) return;
    if (!split.rest.empty()) return reader.Fail("VALUE", "unexpected text after the value");
    long value = 0;
    if (reader.Integer(split.words[0], "SECTION", entry.setting.section) &&
        reader.Integer(split.words[1], "KEY", entry.setting.key) &&
        reader.Integer(split.words[2], "VALUE", value)) {
        entry.setting.value = value;
    }
}

std::string Dash(const std::string& text) { return text.empty() ? "-" : text; }

std::string WithText(std::string line, const std::string& text) {
    if (!text.empty()) line += " " + text;
    return line;
}

// Field text for a dump line: UTF-8 (records of other tools may hold
// Windows-1252) and on one line.
std::string OnOneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

std::string Printable(const unsigned char* record, std::size_t offset, std::size_t width) {
    std::string raw = FixedField(record, offset, width), text;
    std::size_t badOffset = 0;
    // Not DecodeWindowsText: that drops a leading U+FEFF as a file's byte order
    // mark, but here it is the field's first character and must survive a load.
    if (win1252::IsValidUtf8(raw)) text = raw;
    else if (!win1252::ToUtf8(raw, text, badOffset)) text = raw;
    return OnOneLine(std::move(text));
}

// A tax id field: always Windows-1252 (its bytes may happen to be UTF-8 too).
std::string PrintableId(const unsigned char* record, std::size_t offset, std::size_t width) {
    return OnOneLine(pendra::DecodeTaxId(FixedField(record, offset, width)));
}

std::string FormatNumber(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <typename Record>
int DumpFile(Mandate& mandate, const std::string& name, std::ostream& out,
             std::string (*format)(const unsigned char*)) {
    BFile file(&mandate);
    int status = file.Open(name, BFile::kModeReadOnly);
    if (status != pendra::kOk) return status;
    Record record(&mandate);
    record.UseFile(&file);
    for (status = record.ReadFirst(); status == pendra::kOk; status = record.ReadNext()) {
        out << format(record.GetBuffer()) << '\n';
    }
    return status == pendra::kEndOfFile ? pendra::kOk : status;
}

const char* FieldOfDuplicate(EntryKind kind) {
    return kind == EntryKind::kKey ? "ID" : "NUMBER";
}

}  // namespace

std::string TextError::ToString() const {
    std::string text;
    if (line > 0) text = "line " + std::to_string(line);
    if (!field.empty()) text += (text.empty() ? "field " : ", field ") + field;
    return text.empty() ? message : text + ": " + message;
}

ParsedText ParseMandateText(std::string_view input) {
    ParsedText parsed;
    std::string text;
    std::size_t badOffset = 0;
    if (!win1252::DecodeWindowsText(input, text, badOffset)) {
        const auto badLine = 1 + std::count(input.begin(), input.begin() + badOffset, '\n');
        parsed.errors.push_back({static_cast<int>(badLine), "", "a byte is neither UTF-8 nor Windows-1252"});
        return parsed;
    }
    std::string_view rest = text;
    for (int lineNumber = 1; !rest.empty(); ++lineNumber) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);

        SplitLine head = Split(line, 1);
        if (head.words.empty() || head.words[0].starts_with('#')) continue;
        LineReader reader(lineNumber, parsed.errors);
        if (line.find('\0') != std::string_view::npos) {
            reader.Fail("", "contains a NUL byte");
            continue;
        }
        TextEntry entry{lineNumber, EntryKind::kKey, {}, {}};
        std::string_view kind = head.words[0];
        if (kind == "key") {
            ParseKey(reader, head.rest, entry);
        } else if (kind == "account") {
            entry.kind = EntryKind::kAccount;
            ParseAccount(reader, head.rest, entry);
        } else if (kind == "booking") {
            entry.kind = EntryKind::kBooking;
            ParseBooking(reader, head.rest, entry);
        } else if (kind == "setting") {
            entry.kind = EntryKind::kSetting;
            ParseSetting(reader, head.rest, entry);
        } else {
            reader.Fail("", "unknown record kind '" + std::string(kind) +
                                "' (key, account, booking or setting)");
        }
        if (!reader.Failed()) parsed.entries.push_back(std::move(entry));
    }
    return parsed;
}

std::string FormatPercent(float fraction) {
    double percent = static_cast<double>(fraction) * 100.0;
    for (const char* format : {"%g", "%.9g"}) {
        std::string text = FloatToAscii(percent, format);
        double back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        if (PercentToFraction(back) == fraction) return text;
    }
    return FloatToAscii(percent, "%.17g");
}

std::string FormatTaxLine(const unsigned char* r) {
    std::string line = "key " + PrintableId(r, Tax::kIdOffset, Tax::kIdWidth) + " " +
                       FormatPercent(Load<float>(r + Tax::kRateOffset)) + " " +
                       FormatPercent(Load<float>(r + Tax::kQuoteOffset)) + " " +
                       (r[Tax::kNettoOffset] == 1 ? "netto" : "brutto") + " " +
                       Dash(Printable(r, Tax::kKontoOffset, Tax::kKontoWidth));
    return WithText(line, Printable(r, Tax::kTextOffset, Tax::kTextWidth));
}

std::string FormatKontoLine(const unsigned char* r) {
    std::string line = "account " + Printable(r, Konto::kNumberOffset, Konto::kNumberWidth) +
                       " " + std::to_string(Load<std::int16_t>(r + Konto::kTypeOffset)) + " " +
                       Dash(PrintableId(r, Konto::kTaxIdOffset, Konto::kTaxIdWidth));
    return WithText(line, Printable(r, Konto::kNameOffset, Konto::kNameWidth));
}

std::string FormatBuchLine(const unsigned char* r) {
    std::string line = "booking " + std::to_string(Load<std::int32_t>(r + Buch::kNumberOffset)) +
                       " " + Dash(Printable(r, Buch::kDateOffset, Buch::kDateWidth)) + " " +
                       Dash(Printable(r, Buch::kAccountOffset, Buch::kAccountWidth)) + " " +
                       FormatNumber(Load<double>(r + Buch::kAmountOffset)) + " " +
                       Dash(PrintableId(r, Buch::kTaxIdOffset, Buch::kTaxIdWidth));
    return WithText(line, Printable(r, Buch::kTextOffset, Buch::kTextWidth));
}

std::string FormatSettingLine(const MandateSetting& setting) {
    return "setting " + std::to_string(setting.section) + " " + std::to_string(setting.key) +
           " " + std::to_string(setting.value);
}

int DumpMandate(Mandate& mandate, std::ostream& out) {
    StorageEngine* engine = mandate.Engine();
    if (!engine) return pendra::kFileNotOpen;
    long version = 0;
    mandate.GetVersion(version, 1);
    out << "# mwst-mandant dump of " << mandate.GetPath() << '\n'
        << "# name: " << mandate.GetName() << '\n'
        << "# data version: " << version << '\n'
        << "# password: " << (engine->Meta().passwordHash.empty() ? "no" : "yes") << '\n'
        << "# read-only: " << (mandate.IsReadOnly() ? "yes" : "no") << '\n';
    std::vector<MandateSetting> settings;
    int status = engine->ReadSettings(settings);
    if (status != pendra::kOk) return status;
    for (const MandateSetting& setting : settings) out << FormatSettingLine(setting) << '\n';
    status = DumpFile<Tax>(mandate, mandate.GetTaxName(), out, FormatTaxLine);
    if (status == pendra::kOk) {
        status = DumpFile<Konto>(mandate, mandate.GetKontoName(), out, FormatKontoLine);
    }
    if (status == pendra::kOk) {
        status = DumpFile<Buch>(mandate, mandate.GetBuchName(), out, FormatBuchLine);
    }
    return status;
}

int LoadIntoMandate(Mandate& mandate, const ParsedText& text, TextError& error) {
    StorageEngine* engine = mandate.Engine();
    if (!engine) return pendra::kFileNotOpen;
    int status = pendra::kOk;
    std::unique_ptr<StorageBatch> batch = engine->BeginBatch(status);
    if (!batch) {
        error = {0, "", PendraMessageText(PendraStatusMessageId(status))};
        return status;
    }
    BFile taxFile(&mandate), kontoFile(&mandate), buchFile(&mandate);
    for (auto [file, name] : {std::pair{&taxFile, mandate.GetTaxName()},
                              std::pair{&kontoFile, mandate.GetKontoName()},
                              std::pair{&buchFile, mandate.GetBuchName()}}) {
        status = file->Open(name, BFile::kModeUpdate);
        if (status != pendra::kOk) {
            error = {0, "", PendraMessageText(5000, name, status)};
            return status;
        }
    }
    Tax tax(&mandate);
    Konto konto(&mandate);
    Buch buch(&mandate);
    tax.UseFile(&taxFile);
    konto.UseFile(&kontoFile);
    buch.UseFile(&buchFile);

    for (const TextEntry& entry : text.entries) {
        BRecord* record = entry.kind == EntryKind::kKey       ? static_cast<BRecord*>(&tax)
                          : entry.kind == EntryKind::kAccount ? static_cast<BRecord*>(&konto)
                          : entry.kind == EntryKind::kBooking ? static_cast<BRecord*>(&buch)
                                                              : nullptr;
        if (record) {
            std::memcpy(record->GetBuffer(), entry.record.data(), entry.record.size());
            status = record->Insert();
        } else {
            status = engine->SetSetting(entry.setting.section, entry.setting.key,
                                        entry.setting.value);
        }
        if (status != pendra::kOk) {
            error = {entry.line,
                     status == pendra::kDuplicateKey ? FieldOfDuplicate(entry.kind) : "",
                     status == pendra::kDuplicateKey
                         ? "a record with this key exists already"
                         : PendraMessageText(PendraStatusMessageId(status))};
            return status;  // the batch rolls back
        }
    }
    status = batch->Commit();
    if (status != pendra::kOk) error = {0, "", PendraMessageText(PendraStatusMessageId(status))};
    return status;
}

}  // namespace mandant
