#pragma once
// LibreOffice run headless as a user would: found on PATH, a profile of the
// test's own, every file converted by one call (starting it is what costs).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// Comma separated, UTF-8, cells as shown (formatted), every sheet into its own file.
inline const char* const kCsvAsShown = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1";

inline std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return "";
}

// soffice, or libreoffice; empty when neither is installed.
inline std::string FindOffice() {
    const std::string office = FindOnPath("soffice");
    return office.empty() ? FindOnPath("libreoffice") : office;
}

// Converts `files` with the filter `to` into `outDir`, LibreOffice's profile in
// `profileDir` and its output appended to `log`; false on failure. The C
// locale keeps the numbers it writes in one form on every machine.
inline bool OfficeConvert(const std::string& office, const std::string& profileDir,
                          const std::vector<std::string>& files, const std::string& to, const std::string& outDir,
                          const std::string& log) {
    std::string command = "LC_ALL=C.UTF-8 timeout 300 '" + office + "' -env:UserInstallation=file://" + profileDir +
                          " --headless --norestore --convert-to '" + to + "' --outdir '" + outDir + "'";
    for (const std::string& file : files) command += " '" + file + "'";
    command += " >>'" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace testsupport
