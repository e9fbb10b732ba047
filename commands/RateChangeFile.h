#pragma once
#include <string>

#include "rules/RateChange.h"

// The rate change a run converts for, as `mwst-batch --change` or the
// settings ([Konvertierung] satzaenderung) name it: a definition file by its
// path (a name with a '/' or ending in ".ini"), or by its name in the folder
// "mwst/changes" beside the form template sets ("2024" is
// mwst/changes/2024.ini). Empty: the default, the change of 2024.
// False with `refusal` naming the file, the line and the fault.
bool LoadRateChange(const std::string& nameOrFile, RateChange& change, std::string& refusal);

// The change the settings name, empty when none.
std::string RateChangeSetting();

// The text that refuses a definition, in the user's language: "file, Zeile n: fault".
std::string RateChangeRefusal(const std::string& file, const RateChangeError& error);
