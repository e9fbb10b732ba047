#pragma once
// A locale that writes numbers with a decimal comma (de_DE, fr_FR), as the
// program meets it when QApplication adopts a user's locale. ./test.sh
// generates de_CH, de_DE and fr_FR; a test that finds none skips, saying so:
//
//     const auto comma = commalocale::Find();
//     if (!comma) GTEST_SKIP() << commalocale::kMissing;
//     commalocale::Scoped locale(*comma);
#include <clocale>
#include <optional>
#include <string>

namespace commalocale {

inline constexpr const char* kMissing =
    "no locale with a decimal comma is installed (de_DE.UTF-8 or fr_FR.UTF-8; ./test.sh generates them)";

// The name of an installed locale whose decimal point is ",".
inline std::optional<std::string> Find() {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::optional<std::string> found;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE.utf8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
        if (std::setlocale(LC_ALL, name) && std::string(std::localeconv()->decimal_point) == ",") {
            found = name;
            break;
        }
    }
    std::setlocale(LC_ALL, saved.c_str());
    return found;
}

// The whole process under `name` while the object lives, as setlocale(LC_ALL,
// "") of QApplication leaves it for a user with that locale.
class Scoped {
public:
    explicit Scoped(const std::string& name) : saved_(std::setlocale(LC_ALL, nullptr)) {
        std::setlocale(LC_ALL, name.c_str());
    }
    ~Scoped() { std::setlocale(LC_ALL, saved_.c_str()); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

private:
    std::string saved_;
};

}  // namespace commalocale
