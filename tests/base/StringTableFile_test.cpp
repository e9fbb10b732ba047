#include "base/StringTableFile.h"

#include <gtest/gtest.h>

TEST(StringTableFile, ReadsEntriesCommentsAndEscapes) {
    StringTable table = ParseStringTable(
        "# comment\r\n"
        "5000\tDie Datei %s\\nZeile 2\\tTab \\\\ Ende\r\n"
        "\n"
        "7\t\n");
    EXPECT_TRUE(table.errors.empty());
    ASSERT_EQ(table.entries.size(), 2u);
    EXPECT_EQ(table.entries[5000], "Die Datei %s\nZeile 2\tTab \\ Ende");
    EXPECT_EQ(table.entries[7], "");
}

TEST(StringTableFile, SkipsByteOrderMarkAndLastLineWithoutNewline) {
    StringTable table = ParseStringTable("\xEF\xBB\xBF" "1\tEins");
    EXPECT_TRUE(table.errors.empty());
    EXPECT_EQ(table.entries[1], "Eins");
}

struct MalformedCase {
    const char* text;
    const char* expectedFragment;
};

class StringTableMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(StringTableMalformed, ReportsLineAndReasonAndKeepsOtherLines) {
    std::string input = std::string("1\tgut\n") + GetParam().text + "\n3\tauch gut\n";
    StringTable table = ParseStringTable(input);
    ASSERT_EQ(table.errors.size(), 1u);
    EXPECT_EQ(table.errors[0].line, 2);
    EXPECT_NE(table.errors[0].message.find(GetParam().expectedFragment), std::string::npos)
        << table.errors[0].message;
    EXPECT_EQ(table.entries.at(1), "gut");
    EXPECT_EQ(table.entries.at(3), "auch gut");
}

INSTANTIATE_TEST_SUITE_P(Lines, StringTableMalformed,
                         ::testing::Values(MalformedCase{"5000 kein Tab", "no tab"},
                                           MalformedCase{"x12\tText", "not a number"},
                                           MalformedCase{"12x\tText", "not a number"},
                                           MalformedCase{"\tText", "not a number"},
                                           MalformedCase{"4\tText\\q", "unknown escape"},
                                           MalformedCase{"4\tText\\", "backslash at end"},
                                           MalformedCase{"1\tdoppelt", "appears twice"}));
