#pragma once
#include <array>
#include <string>
#include <vector>

// The template set of a form year, installed in the folder "mwst" beside the
// program (a build tree, an unpacked archive) or else in the data folder of an
// installed copy (share/mwst-konvertierung/mwst), and the mandate files each
// template replaces, in processing order.
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

// The folder holding "mwst" (with a trailing '/'): the program's own folder
// when "mwst" lies beside the program, else the installed data folder when
// "mwst" lies there, else the program's folder again, so that a missing
// template is named where it is looked for first. Empty for a program path
// without a folder: the names stay relative.
std::string MwstTemplateBaseDirectory();

// The full path of the template of `step` for `year` in that folder.
std::string MwstTemplatePath(const MwstTemplateStep& step, int year);

// The path of the running program file, which the template names are made
// absolute against. Tests point it into a temporary program directory; an
// empty path returns to the real one.
std::string MwstProgramPath();
void MwstSetProgramPath(const std::string& path);

// The path of the mandate file `name` (a workbook or companion file of the
// steps above) in `folder`: the mandate's folder, or a folder holding copies
// of its files under their names there (a dry run's scratch folder, an
// activation's staging folder). A mandate copied from Windows may spell it in
// other letter case ("mwstform.vts", "Mwstform.VTS"); such a file is the
// mandate's file and is read and replaced under its own name, so that no
// second spelling appears beside it. When several spellings exist, the exact
// one wins, else the first in byte order ("MWSTFORM.vts" before
// "mwstform.vts"); the others are left alone. Without any, the exact spelling.
std::string MwstMandateFilePath(const std::string& folder, const std::string& name);

// Removes the temporary files of ours (TempFileName.h) that an interrupted
// replacement of one of the mandate files, or of one of `otherFiles` (names of
// further files of ours there), left in `mandateDir`; nothing else. Returns
// how many were removed.
int MwstRemoveStrayTempFiles(const std::string& mandateDir, const std::vector<std::string>& otherFiles = {});

// The template set of `year` copied as it is into `mandateDir`, for mandates
// that start with a form (the demo). False with `error` naming the file at fault.
bool MwstInstallTemplateSet(int year, const std::string& mandateDir, std::string& error);
