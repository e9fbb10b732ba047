#pragma once
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

// printf-style formatting of resource texts ("%s", "%d") into a std::string.
// Strings may be passed as std::string; they are handed on as C strings.
namespace fmt_detail {
inline const char* Arg(const std::string& s) { return s.c_str(); }
template <class T>
T Arg(T v) requires(std::is_arithmetic_v<T> || std::is_pointer_v<T>) { return v; }
}  // namespace fmt_detail

template <class... Args>
std::string Format(const std::string& format, const Args&... args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    int n = std::snprintf(nullptr, 0, format.c_str(), fmt_detail::Arg(args)...);
    if (n <= 0) return n == 0 ? std::string() : format;
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format.c_str(), fmt_detail::Arg(args)...);
#pragma GCC diagnostic pop
    out.resize(static_cast<std::size_t>(n));
    return out;
}
