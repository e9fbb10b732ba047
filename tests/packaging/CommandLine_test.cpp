// The command-line conventions of the installed programs: --help and
// --version answer on standard output with exit status 0, without a display;
// a usage error is reported on standard error with exit status 2.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/InstallLayout.h"
#include "tests/support/RunProgram.h"

namespace {

using testsupport::ProgramResult;
using testsupport::RunProgram;

// No display and no platform chosen: --help and --version must not need one.
const std::vector<std::string> kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

class EveryProgram : public ::testing::TestWithParam<const char*> {};

TEST_P(EveryProgram, VersionNamesProgramAndVersion) {
    ProgramResult result = RunProgram(GetParam(), {"--version"}, kNoDisplay);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, std::string(GetParam()) + " " + MwstPackageVersion() + "\n");
}

TEST_P(EveryProgram, HelpPrintsUsageOnStandardOutput) {
    for (const char* option : {"--help", "-h"}) {
        ProgramResult result = RunProgram(GetParam(), {option}, kNoDisplay);
        EXPECT_EQ(result.exitCode, 0) << option << result.err;
        EXPECT_NE(result.out.find(GetParam()), std::string::npos) << option << result.out;
        EXPECT_NE(result.out.find("--help"), std::string::npos) << option << result.out;
    }
}

TEST_P(EveryProgram, UnknownOptionIsAUsageErrorOnStandardError) {
    ProgramResult result = RunProgram(GetParam(), {"--no-such-option"}, {}, {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("no-such-option"), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Programs, EveryProgram,
                         ::testing::Values("mwst-konvertierung", "mwst-batch", "mwst-mandant", "mwst-vts"));

TEST(WindowProgram, TakesQtsOptionsButNoArguments) {
    ProgramResult argument = RunProgram("mwst-konvertierung", {"-platform", "offscreen", "mandant"});
    EXPECT_EQ(argument.exitCode, 2);
    EXPECT_NE(argument.err.find("'mandant'"), std::string::npos) << argument.err;
    // Qt's options before --help do not spoil it.
    ProgramResult help = RunProgram("mwst-konvertierung", {"-platform", "offscreen", "--help"}, kNoDisplay);
    EXPECT_EQ(help.exitCode, 0) << help.err;
}

TEST(WindowProgram, HelpFollowsTheCulture) {
    ProgramResult french = RunProgram("mwst-konvertierung", {"--help"}, kNoDisplay,
                                      {"MWST_SETTINGS=" MWST_SOURCE_DIR "/tests/packaging/data/fr-CH.ini"});
    EXPECT_EQ(french.out.rfind("Usage : mwst-konvertierung", 0), 0u) << french.out;
    ProgramResult german = RunProgram("mwst-konvertierung", {"--help"}, kNoDisplay, {"MWST_SETTINGS=/nonexistent"});
    EXPECT_EQ(german.out.rfind("Aufruf: mwst-konvertierung", 0), 0u) << german.out;
}

TEST(ToolPrograms, WrongArgumentsPrintTheUsage) {
    ProgramResult vts = RunProgram("mwst-vts", {"dump"});
    EXPECT_EQ(vts.exitCode, 2);
    EXPECT_NE(vts.err.find("usage: mwst-vts"), std::string::npos) << vts.err;
    ProgramResult mandant = RunProgram("mwst-mandant", {"dump"});
    EXPECT_EQ(mandant.exitCode, 2);
    EXPECT_NE(mandant.err.find("usage: mwst-mandant"), std::string::npos) << mandant.err;
}

}  // namespace
