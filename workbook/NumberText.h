#pragma once
#include <optional>
#include <string>
#include <string_view>

// Conversions between numbers and their texts in files and on screen, with a
// decimal point under any locale.
namespace numbertext {

// The shortest text that reads back as exactly the same double (files, dumps).
std::string Exact(double value);
// The text a cell shows: "%.15g", with 0 (and -0) as "0".
std::string Display(double value);
// A finite decimal number filling the whole text ("12", "-1.5e3"); nullopt otherwise.
std::optional<double> Parse(std::string_view text);

}  // namespace numbertext
