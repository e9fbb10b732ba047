#include "base/LocalTimeZone.h"

#include <stdlib.h>

#include <ctime>

void MwstReadLocalTimeZoneOnce() {
    // ":/etc/localtime" is what an unset TZ stands for (Qt reads it so too).
    ::setenv("TZ", ":/etc/localtime", 0);
    ::tzset();
}
