#pragma once
#include <array>
#include <string>

// The template set of a form year, installed in the folder "mwst" beside the
// program, and the mandate files each template replaces, in processing order.
// Steps 1, 3, 5 and 7 head a pair: when their template is missing, their pair
// is not done.
struct MwstTemplateStep {
    const char* templatePattern;  // relative to the program directory, "%s" the year
    const char* mandateFile;      // in the mandate directory
    bool formUpdate;              // a form workbook (version rule, formula transfer), else a plain copy
};

const std::array<MwstTemplateStep, 8>& MwstTemplateSteps();

// "mwst/MWST2024eff.vts" for step 1 and the year 2024.
std::string MwstTemplateName(const MwstTemplateStep& step, int year);

// The path of the running program file, which the template names are made
// absolute against. Tests point it into a temporary program directory; an
// empty path returns to the real one.
std::string MwstProgramPath();
void MwstSetProgramPath(const std::string& path);

// The template set of `year` copied as it is into `mandateDir`, for mandates
// that start with a form (the demo). False with `error` naming the file at fault.
bool MwstInstallTemplateSet(int year, const std::string& mandateDir, std::string& error);
