#include "workbook/NumberText.h"

#include <charconv>
#include <cmath>

namespace numbertext {

std::string Exact(double value) {
    if (value == 0) return "0";
    char buf[64];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

// std::to_chars, not snprintf: "%.15g" in the "C" locale, whatever locale
// the process runs under (a comma locale would show "1,5").
std::string Display(double value) {
    if (value == 0) return "0";
    char buf[64];
    auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return std::string(buf, result.ptr);
}

std::optional<double> Parse(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace numbertext
