#include "templates/TemplateSet.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "base/InstallLayout.h"
#include "templates/FileCopy.h"
#include "base/TempFileName.h"

namespace fs = std::filesystem;

namespace {

std::string& ProgramPathOverride() {
    static std::string path;
    return path;
}

// With its trailing '/'; a program path without a folder (or only the root)
// gives none, as the names joined to it then stay relative.
std::string ProgramDirectory() {
    const std::string program = MwstProgramPath();
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : program.substr(0, slash + 1);
}

bool HoldsTemplates(const std::string& dir) {
    std::error_code ec;
    return fs::is_directory(dir + "mwst", ec);
}

// The mandate file names are ASCII; Windows compares them without regard to case.
bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool IsMandateFileName(std::string_view name) {
    for (const MwstTemplateStep& step : MwstTemplateSteps())
        if (SameNameIgnoringCase(name, step.mandateFile)) return true;
    return false;
}

// The names in `dir` (an unreadable directory has none).
template <typename Fn>
void ForEachName(const std::string& dir, Fn fn) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) fn(*it);
}

}  // namespace

const std::array<MwstTemplateStep, 8>& MwstTemplateSteps() {
    static const std::array<MwstTemplateStep, 8> steps = {{
        {"mwst/MWST%seff.vts", "MWSTFORM.VTS", true},
        {"mwst/MWST%spau.vts", "MWSTPAU.VTS", true},
        {"mwst/_MWST%seff.vts", "_MWSTFRM.VTS", true},
        {"mwst/_MWST%spau.vts", "_MWSTPAU.VTS", true},
        {"mwst/Mwst%seff.vls", "Mwstform.vls", false},
        {"mwst/Mwst%seff.lst", "Mwstform.lst", false},
        {"mwst/Mwst%spau.vls", "Mwstpau.vls", false},
        {"mwst/Mwst%spau.lst", "Mwstpau.lst", false},
    }};
    return steps;
}

std::string MwstTemplateName(const MwstTemplateStep& step, int year) {
    std::string name = step.templatePattern;
    name.replace(name.find("%s"), 2, std::to_string(year));
    return name;
}

std::string MwstProgramPath() {
    if (!ProgramPathOverride().empty()) return ProgramPathOverride();
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

void MwstSetProgramPath(const std::string& path) { ProgramPathOverride() = path; }

std::string MwstTemplateBaseDirectory() {
    const std::string programDir = ProgramDirectory();
    if (programDir.empty() || HoldsTemplates(programDir)) return programDir;
    std::string installed = MwstInstalledDataDir(programDir);
    if (installed.back() != '/') installed += '/';
    return HoldsTemplates(installed) ? installed : programDir;
}

std::string MwstTemplatePath(const MwstTemplateStep& step, int year) {
    return MwstTemplateBaseDirectory() + MwstTemplateName(step, year);
}

bool MwstInstallTemplateSet(int year, const std::string& mandateDir, std::string& error) {
    const std::string base = MwstTemplateBaseDirectory();
    for (const MwstTemplateStep& step : MwstTemplateSteps()) {
        const std::string source = base + MwstTemplateName(step, year);
        const std::string target = MwstMandateFilePath(mandateDir, step.mandateFile);
        if (FileCopyResult copied = MwstCopyFile(source, target); !copied) {
            error = copied.Describe(source, target);
            return false;
        }
    }
    return true;
}

std::string MwstMandateFilePath(const std::string& folder, const std::string& name) {
    const std::string exact = folder + "/" + name;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(exact, ec))) return exact;
    std::string chosen;
    ForEachName(folder, [&](const fs::directory_entry& entry) {
        const std::string found = entry.path().filename().string();
        std::error_code typeError;
        if (SameNameIgnoringCase(found, name) && entry.is_regular_file(typeError) && (chosen.empty() || found < chosen))
            chosen = found;
    });
    return chosen.empty() ? exact : folder + "/" + chosen;
}

int MwstRemoveStrayTempFiles(const std::string& mandateDir, const std::vector<std::string>& otherFiles) {
    int removed = 0;
    std::vector<fs::path> stray;
    ForEachName(mandateDir, [&](const fs::directory_entry& entry) {
        std::string target;
        std::error_code typeError;
        if (!tempname::IsTemporary(entry.path().filename().string(), &target)) return;
        // A copy staged beside a mandate file (a restore's) is itself written
        // through a temporary file: that one belongs to the mandate file too.
        while (tempname::IsTemporary(target, &target)) {
        }
        const bool ours = IsMandateFileName(target) ||
                          std::find(otherFiles.begin(), otherFiles.end(), target) != otherFiles.end();
        // Only plain files: a link of that name is not something we wrote.
        if (ours && fs::is_regular_file(entry.symlink_status(typeError)))
            stray.push_back(entry.path());
    });
    for (const fs::path& path : stray) {
        std::error_code ec;
        if (fs::remove(path, ec)) ++removed;
    }
    return removed;
}
