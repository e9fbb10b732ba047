#include "mandate/MandatePath.h"

#include <filesystem>

std::string CanonicalMandatePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::canonical(path, error);
    if (!error) return canonical.string();
    std::string shown = path;
    while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    return shown;
}
