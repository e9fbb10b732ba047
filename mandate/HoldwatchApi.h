#pragma once
// The interface of libholdwatch.so, the run-time library that names the other
// users of an SQL mandate's database. It is loaded by name and its functions
// are looked up by these plain C names. Every string it hands out is released
// with its own HoldwatchFreeString, never with the caller's allocator.
extern "C" {

// Turns the connection string of the master database into the one of the
// mandate database `databaseId`; *redirected is the library's string or null.
typedef int (*RedirectAdoConnectionStringFromMasterToMandateDatabaseFn)(
    const char* connectionString, const char* databaseId, char** redirected);
// 0 when *users holds the list of the other users of the database (text, one
// user a line); *reserved is not used by the caller but released as well.
typedef int (*GetOtherUsersHoldingTheDatabaseFn)(const char* connectionString, char** users,
                                                 char** reserved);
typedef void (*HoldwatchFreeStringFn)(char* text);

}

namespace holdwatch {
constexpr const char* kLibraryName = "libholdwatch.so";
constexpr const char* kRedirectName = "RedirectAdoConnectionStringFromMasterToMandateDatabase";
constexpr const char* kOtherUsersName = "GetOtherUsersHoldingTheDatabase";
constexpr const char* kFreeName = "HoldwatchFreeString";
}  // namespace holdwatch
