#pragma once
#include <optional>
#include <string>

class IMandateConfiguration;
class Mandate;

// The other users holding an SQL mandate's database, as libholdwatch.so names
// them. nullopt when the library, one of its functions or the mandate's
// configuration is missing, or the library reports a failure: the caller then
// shows its message without a list.
std::optional<std::string> OtherUsersOfDatabase(const IMandateConfiguration& configuration,
                                                const std::string& libraryName);
std::optional<std::string> OtherUsersOfMandate(Mandate& mandate);

// Where the program looks for libholdwatch.so: beside the program first (a
// build tree), then the private library folder of an installed copy
// (lib/mwst-konvertierung), then the system's library path, as the product's
// own libraries are installed.
std::string HoldwatchLibraryName();
