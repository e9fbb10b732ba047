// The other users of an SQL mandate, named by a library loaded at run time.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "mandate/OtherUsers.h"
#include "pendra/IMandateConfiguration.h"
#include "pendra/Mandate.h"

namespace {

class Configuration : public IMandateConfiguration {
public:
    std::string GetConnectionString() const override { return "Server=db1"; }
    std::string GetDatabaseId() const override { return "M0042"; }
};

int LiveStringsOfFake() {
    void* handle = dlopen(HOLDWATCH_FAKE, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) handle = dlopen(HOLDWATCH_FAKE, RTLD_NOW);
    auto live = reinterpret_cast<int (*)()>(dlsym(handle, "HoldwatchFakeLiveStrings"));
    const int count = live ? live() : -1;
    dlclose(handle);
    return count;
}

}  // namespace

TEST(OtherUsers, ListedByTheLibraryWithTheRedirectedConnection) {
    // Keep the library loaded across the call, so its counter survives.
    void* keep = dlopen(HOLDWATCH_FAKE, RTLD_NOW);
    ASSERT_NE(keep, nullptr) << dlerror();
    const auto users = OtherUsersOfDatabase(Configuration(), HOLDWATCH_FAKE);
    ASSERT_TRUE(users.has_value());
    EXPECT_EQ(*users, "anna@PC-7 (Server=db1;Database=M0042)\r\nbeat@PC-9\r\n");
    EXPECT_EQ(LiveStringsOfFake(), 0) << "every string released with the library's function";
    dlclose(keep);
}

TEST(OtherUsers, MissingFunctionMeansNoList) {
    EXPECT_FALSE(OtherUsersOfDatabase(Configuration(), HOLDWATCH_PARTIAL).has_value());
}

TEST(OtherUsers, MissingLibraryMeansNoList) {
    EXPECT_FALSE(OtherUsersOfDatabase(Configuration(), "libholdwatch-not-there.so").has_value());
}

TEST(OtherUsers, FileMandateHasNoConfigurationAndNoList) {
    Mandate mandate;
    EXPECT_FALSE(OtherUsersOfMandate(mandate).has_value());
}
