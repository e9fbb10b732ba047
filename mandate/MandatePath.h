#pragma once
#include <string>

// The path under which a mandate is registered and compared: symbolic links
// resolved, absolute, no trailing "/"; the path as given (without trailing "/")
// when it cannot be resolved. Two ways of writing one directory give one path.
std::string CanonicalMandatePath(const std::string& path);
