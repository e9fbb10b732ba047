#include "forms/TemplateSet.h"

#include <cstring>
#include <filesystem>

#include "forms/FileCopy.h"

namespace {

std::string& ProgramPathOverride() {
    static std::string path;
    return path;
}

std::string ProgramDirectory() {
    const std::string program = MwstProgramPath();
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
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

bool MwstInstallTemplateSet(int year, const std::string& mandateDir, std::string& error) {
    const std::string programDir = ProgramDirectory();
    for (const MwstTemplateStep& step : MwstTemplateSteps()) {
        const std::string source = programDir + MwstTemplateName(step, year);
        const std::string target = mandateDir + "/" + step.mandateFile;
        if (FileCopyResult copied = MwstCopyFile(source, target); !copied) {
            error = copied.Describe(source, target);
            return false;
        }
    }
    return true;
}
