#pragma once

// The local time zone, read once per process. With TZ unset the C library
// looks at /etc/localtime again at every local time conversion (localtime,
// mktime: one stat each, and the zip library converts the time of every
// entry it reads or writes). Naming that same file in TZ gives the same local
// times and lets the library read it once. A TZ the user set is kept. Called
// at the start of each program, before any thread starts.
void MwstReadLocalTimeZoneOnce();
