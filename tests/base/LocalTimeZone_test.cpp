#include "base/LocalTimeZone.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <optional>
#include <string>

namespace {

// The local broken-down times of instants around the year's changes of
// daylight saving time, as "YYYY-MM-DD HH:MM:SS isdst".
std::string LocalTimes() {
    std::string all;
    for (const std::time_t t : {std::time_t{0}, std::time_t{1711846800}, std::time_t{1729994400},
                                std::time_t{1704067200}, std::time_t{1735689599}}) {
        std::tm local{};
        ::localtime_r(&t, &local);
        char text[64];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        all += std::string(text) + " " + std::to_string(local.tm_isdst) + "\n";
    }
    return all;
}

class EnvironmentTz {
public:
    EnvironmentTz() {
        if (const char* tz = std::getenv("TZ")) saved_ = tz;
    }
    ~EnvironmentTz() {
        if (saved_) ::setenv("TZ", saved_->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> saved_;
};

TEST(LocalTimeZone, ReadOnceGivesTheTimesOfAnUnsetTzAndKeepsASetOne) {
    const EnvironmentTz restore;
    struct Case {
        const char* tz;  // nullptr: unset
        const char* expectedTz;
    };
    for (const Case& c : {Case{nullptr, ":/etc/localtime"}, Case{"Europe/Zurich", "Europe/Zurich"},
                          Case{"UTC0", "UTC0"}}) {
        if (c.tz) ::setenv("TZ", c.tz, 1);
        else ::unsetenv("TZ");
        ::tzset();
        const std::string before = LocalTimes();
        MwstReadLocalTimeZoneOnce();
        ASSERT_NE(std::getenv("TZ"), nullptr);
        EXPECT_STREQ(std::getenv("TZ"), c.expectedTz);
        EXPECT_EQ(LocalTimes(), before) << (c.tz ? c.tz : "unset");
    }
}

}  // namespace
