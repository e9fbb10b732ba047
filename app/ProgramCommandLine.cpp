#include "app/ProgramCommandLine.h"

#include <iostream>
#include <string>
#include <vector>

#include "core/BrisolSettings.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "cli/CommandLine.h"
#include "res/Resource.h"

namespace {

constexpr const char* kProgram = "mwst-konvertierung";

// The texts follow the product's culture, as the window does.
std::string Text(int id) {
    SetProcessPreferredUILanguages(GetUICultureName());
    return LoadString(id);
}

}  // namespace

std::optional<int> HandleHelpAndVersion(int argc, char** argv) {
    const mwstcli::StandardOptions standard;
    QCommandLineParser parser;
    standard.AddTo(parser);
    // Qt's own options are unknown here and judged after Qt has taken them.
    parser.parse(mwstcli::Arguments(kProgram, std::vector<std::string>(argv + 1, argv + argc)));
    if (parser.isSet(standard.help)) {
        std::cout << Text(IDS_PROGRAM_USAGE) << std::flush;
        return mwstcli::kExitOk;
    }
    if (parser.isSet(standard.version)) {
        std::cout << mwstcli::VersionLine(kProgram) << std::flush;
        return mwstcli::kExitOk;
    }
    return std::nullopt;
}

std::optional<int> RejectUnknownArguments(int argc, char** argv) {
    const mwstcli::StandardOptions standard;
    QCommandLineParser parser;
    standard.AddTo(parser);
    std::string error;
    if (!parser.parse(mwstcli::Arguments(kProgram, std::vector<std::string>(argv + 1, argv + argc))))
        error = mwstcli::Bytes(parser.errorText());
    else if (!parser.positionalArguments().isEmpty())
        error = "unexpected argument '" + mwstcli::Bytes(parser.positionalArguments().first()) + "'";
    if (error.empty()) return std::nullopt;
    std::cerr << Format(Text(IDS_PROGRAM_BAD_ARGUMENTS), error) << Text(IDS_PROGRAM_USAGE) << std::flush;
    return mwstcli::kExitUsage;
}
