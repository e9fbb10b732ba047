// A stand-in for libholdwatch.so: names two users of any database and counts
// the strings it handed out that were not released through it.
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
int liveStrings = 0;
char* Hand(const std::string& text) {
    ++liveStrings;
    return strdup(text.c_str());
}
}  // namespace

extern "C" {

__attribute__((visibility("default"))) int RedirectAdoConnectionStringFromMasterToMandateDatabase(
    const char* connectionString, const char* databaseId, char** redirected) {
    *redirected = Hand(std::string(connectionString) + ";Database=" + databaseId);
    return 1;
}

__attribute__((visibility("default"))) int GetOtherUsersHoldingTheDatabase(
    const char* connectionString, char** users, char** reserved) {
    if (std::strstr(connectionString, ";Database=") == nullptr) return 2;
    *users = Hand(std::string("anna@PC-7 (") + connectionString + ")\r\nbeat@PC-9\r\n");
    *reserved = Hand("unused");
    return 0;
}

__attribute__((visibility("default"))) void HoldwatchFreeString(char* text) {
    --liveStrings;
    std::free(text);
}

__attribute__((visibility("default"))) int HoldwatchFakeLiveStrings() { return liveStrings; }
}
