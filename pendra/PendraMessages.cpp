#include "pendra/PendraMessages.h"

#include <locale.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>

#include "pendra/PendraUi.h"
#include "base/StringTableFile.h"

extern const std::string_view embedded_pendra_de_txt;
extern const std::string_view embedded_pendra_fr_txt;

namespace {

bool useFrench = false;

const std::map<int, std::string>& Table(bool french) {
    // The tables are ours and tested to parse cleanly; a malformed line would
    // only drop that entry, and PendraMessageText names the missing id.
    static const std::map<int, std::string> de = ParseStringTable(embedded_pendra_de_txt).entries;
    static const std::map<int, std::string> fr = ParseStringTable(embedded_pendra_fr_txt).entries;
    return french ? fr : de;
}

std::string Lookup(int id) {
    const auto& table = Table(useFrench);
    auto it = table.find(id);
    if (it != table.end()) return it->second;
    return "Pendra message " + std::to_string(id);
}

std::string Substitute(const std::string& templ, const std::string* arg, const int* status) {
    std::string out;
    for (std::size_t i = 0; i < templ.size(); ++i) {
        if (templ[i] != '%' || i + 1 == templ.size()) {
            out += templ[i];
            continue;
        }
        char conversion = templ[i + 1];
        if (conversion == '%') {
            out += '%';
            ++i;
        } else if (conversion == 's' && arg) {
            out += *arg;
            arg = nullptr;
            ++i;
        } else if (conversion == 'd' && status) {
            out += std::to_string(*status);
            status = nullptr;
            ++i;
        } else {
            out += '%';
        }
    }
    return out;
}

// One floating conversion with optional flags, width and precision, nothing
// else: the only formats snprintf may be given a double for.
bool IsSingleFloatFormat(const char* format) {
    int conversions = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        ++p;
        while (*p && std::string_view("-+ #0").find(*p) != std::string_view::npos) ++p;
        while (*p >= '0' && *p <= '9') ++p;
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9') ++p;
        }
        if (!*p || std::string_view("fFeEgGaA").find(*p) == std::string_view::npos) return false;
        ++conversions;
    }
    return conversions == 1;
}

}  // namespace

void SetPendraLanguage(const std::string& lang) { useFrench = lang.starts_with("fr"); }

std::string PendraLanguage() { return useFrench ? "fr" : "de"; }

int PendraStatusMessageId(int status) { return status < 1000 ? 6000 + status : status; }

std::string PendraMessageText(int id) { return Substitute(Lookup(id), nullptr, nullptr); }

std::string PendraMessageText(int id, const std::string& arg, int status) {
    return Substitute(Lookup(id), &arg, &status);
}

void ShowError(PendraUi& ui, int id) { ui.ShowMessage(PendraMessageText(id), Lookup(kMsgErrorCaption)); }

void ShowError(PendraUi& ui, int id, const std::string& arg, int status) {
    ui.ShowMessage(PendraMessageText(id, arg, status), Lookup(kMsgErrorCaption));
}

// The number is formatted under the "C" locale, switched for this thread
// only: the process's locale follows the user's (QApplication adopts it), and
// "%g" would give "7,7" under de_DE or fr_FR. Rate texts, workbook numbers and
// log lines must read the same everywhere. (POSIX always has the "C" locale;
// should the object still be missing, the thread's locale stays as it is.)
std::string FloatToAscii(double value, const char* format) {
    if (!format || !IsSingleFloatFormat(format)) return {};
    static const locale_t classic = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    char buffer[512];
    const locale_t previous = classic ? ::uselocale(classic) : static_cast<locale_t>(nullptr);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(buffer, sizeof buffer, format, value);  // format checked above
#pragma GCC diagnostic pop
    if (classic) ::uselocale(previous);
    if (n < 0) return {};
    return std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}
