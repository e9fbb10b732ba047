// A libholdwatch.so that lacks the users function.
#include <cstring>

extern "C" __attribute__((visibility("default"))) int
RedirectAdoConnectionStringFromMasterToMandateDatabase(const char*, const char*, char** redirected) {
    *redirected = strdup("x");
    return 1;
}
