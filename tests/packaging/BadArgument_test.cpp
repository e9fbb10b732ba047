// The argument a failed parse stumbled on, as the user typed it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CommandLine.h"

namespace {

class BadArgument : public ::testing::Test {
protected:
    BadArgument() {
        parser.addOption(yes);
        parser.addOption(search);
    }

    // Parses `args` (a failed parse expected) and names the offender.
    std::string Offender(const std::vector<std::string>& args) {
        const QStringList arguments = mwstcli::Arguments("prog", args);
        EXPECT_FALSE(parser.parse(arguments));
        return mwstcli::Bytes(mwstcli::BadArgument(parser, arguments));
    }

    QCommandLineParser parser;
    QCommandLineOption yes{QStringLiteral("yes")};
    QCommandLineOption search{QStringLiteral("search"), QString(), QStringLiteral("ROOT")};
};

TEST_F(BadArgument, UnknownOptionsAsTyped) {
    EXPECT_EQ(Offender({"cmd", "--force", "dir"}), "--force");
    EXPECT_EQ(Offender({"--yes", "--force=1"}), "--force=1");
    EXPECT_EQ(Offender({"-x"}), "-x");
    EXPECT_EQ(Offender({"--gr\xf6sse"}), "--gr\xf6sse");
    // The first of several.
    EXPECT_EQ(Offender({"--eins", "--zwei"}), "--eins");
}

TEST_F(BadArgument, ShortClustersAndLongWordsAfterOneDash) {
    EXPECT_EQ(Offender({"-yx"}), "-yx");
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    EXPECT_EQ(Offender({"-strich"}), "-strich");
}

TEST_F(BadArgument, AValueForAnOptionWithoutOne) {
    EXPECT_EQ(Offender({"--search=/a", "--yes=1"}), "--yes=1");
}

TEST_F(BadArgument, AMissingValueIsTheLastArgument) {
    EXPECT_EQ(Offender({"dir", "--search"}), "--search");
}

TEST_F(BadArgument, NothingAfterDoubleDashIsAnOption) {
    EXPECT_EQ(Offender({"--search", "--", "--force"}), "--force");
    EXPECT_EQ(Offender({"--weg", "--", "--yes=1"}), "--weg");
}

}  // namespace
