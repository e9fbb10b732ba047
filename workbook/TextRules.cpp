#include "workbook/TextRules.h"

#include <algorithm>

#include "base/CException.h"
#include "base/Windows1252.h"

namespace textrules {
namespace {

constexpr size_t kMaxSheetNameLength = 31;  // what Excel and LibreOffice accept
constexpr size_t kMaxDefinedNameLength = 255;

[[noreturn]] void Reject(std::string_view what, std::string_view reason) {
    throw CInvalidArgException(std::string(what) + " " + std::string(reason));
}

bool HasControl(std::string_view text) {
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return true;
    }
    return false;
}

}  // namespace

bool SameSheetName(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

void RequireCellText(std::string_view text, const char* what) {
    if (!win1252::IsValidUtf8(text)) Reject(what, "is not valid UTF-8");
    if (text.find('\0') != std::string_view::npos) Reject(what, "contains a NUL character");
}

void RequireXmlSafeText(std::string_view text, const char* what) {
    if (!win1252::IsValidUtf8(text)) Reject(what, "is not valid UTF-8");
    if (HasControl(text)) Reject(what, "contains a control character");
}

void RequireSheetName(std::string_view name) {
    std::string what = "sheet name \"" + std::string(name) + "\"";
    if (name.empty()) Reject("sheet name", "is empty");
    RequireXmlSafeText(name, what.c_str());
    if (name.find_first_of("\t\n[]:*?/\\") != std::string_view::npos)
        Reject(what, "contains one of the characters []:*?/\\ or a tab or newline");
    if (name.front() == '\'' || name.back() == '\'') Reject(what, "begins or ends with an apostrophe");
    if (win1252::CharacterCount(name) > kMaxSheetNameLength) Reject(what, "is longer than 31 characters");
}

void RequireDefinedName(std::string_view name) {
    std::string what = "defined name \"" + std::string(name) + "\"";
    if (name.empty()) Reject("defined name", "is empty");
    RequireXmlSafeText(name, what.c_str());
    if (name.size() > kMaxDefinedNameLength) Reject(what, "is longer than 255 bytes");
    for (char c : name) {
        bool allowed = c == '_' || c == '.' || c == '\\' || (c >= '0' && c <= '9') ||
                       (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       static_cast<unsigned char>(c) >= 0x80;
        if (!allowed) Reject(what, "may hold only letters, digits, '_', '.' and '\\'");
    }
    if (name.front() >= '0' && name.front() <= '9') Reject(what, "begins with a digit");
}

}  // namespace textrules
