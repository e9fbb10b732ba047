// The key-sum formula engine: what each operation makes of a formula, and when
// it sets the change flag.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "formula/FormulaText.h"

namespace {

enum class Op { Rename, Extend, Delete };

struct Case {
    const char* what;
    Op op;
    std::string formula;
    std::string key;     // old key, or the key to delete
    std::string newKey;  // rename and extend only
    std::string expected;
    bool flagSet;
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.what; }

std::string Apply(const Case& c, short& flag) {
    switch (c.op) {
    case Op::Rename:
        return formel::Rename(c.formula, c.key, c.newKey, flag);
    case Op::Extend:
        return formel::Extend(c.formula, c.key, c.newKey, flag);
    case Op::Delete:
        return formel::Delete(c.formula, c.key, flag);
    }
    return {};
}

class FormulaTextTable : public ::testing::TestWithParam<Case> {};

TEST_P(FormulaTextTable, RewritesAndFlags) {
    const Case& c = GetParam();
    short flag = 0;
    EXPECT_EQ(Apply(c, flag), c.expected);
    EXPECT_EQ(flag, c.flagSet ? 1 : 0);
}

const Case kCases[] = {
    // Rename
    {"rename first term", Op::Rename, "A+C", "A", "B", "B+C", true},
    {"rename keeps suffix, key matches only whole", Op::Rename, "C+A_x+AB", "A", "B", "C+B_x+AB", true},
    {"rename is case-sensitive", Op::Rename, "a+A", "A", "B", "a+B", true},
    {"rename without match", Op::Rename, "C+D", "A", "B", "C+D", false},
    {"rename every match", Op::Rename, "A+C+A_y", "A", "B", "B+C+B_y", true},
    {"rename keeps empty terms", Op::Rename, "A++C", "A", "B", "B++C", true},
    {"rename drops a term the formula has", Op::Rename, "A+B", "A", "B", "B", true},
    {"rename drops a term the formula has later", Op::Rename, "C+A_x+B_x", "A", "B", "C+B_x", true},
    {"rename merges two matches into one term", Op::Rename, "A+C+A", "A", "B", "B+C", true},
    {"rename keeps the renamed term of another suffix", Op::Rename, "A+B_x", "A", "B", "B+B_x", true},
    {"rename removes only the added closing plus", Op::Rename, "A+", "A", "B", "B+", true},
    {"rename keeps a doubled trailing plus", Op::Rename, "A++", "A", "B", "B++", true},
    {"rename keeps everything from the first underscore", Op::Rename, "A_x_y", "A", "B", "B_x_y", true},
    {"rename passes constants", Op::Rename, "A+5", "A", "B", "B+5", true},
    {"minus is part of the term", Op::Rename, "A-C+B", "A", "X", "A-C+B", false},
    {"brackets stay with their terms", Op::Rename, "(A+C)", "A", "B", "(A+C)", false},
    {"bracketed key does not match", Op::Rename, "(A+C)", "C", "B", "(A+C)", false},
    {"blank before plus ends the term", Op::Rename, "A +C", "A", "B", "A +C", false},
    {"equals sign in front keeps the key from matching", Op::Rename, "=A+C", "A", "B", "=A+C", false},
    {"key with underscore never matches", Op::Rename, "A_x+C", "A_x", "B", "A_x+C", false},
    {"key with plus never matches", Op::Rename, "A+C", "A+C", "B", "A+C", false},
    {"empty formula, key not empty", Op::Rename, "", "A", "B", "", false},
    {"empty key matches the empty term", Op::Rename, "", "", "B", "B", true},
    {"empty key matches empty terms only", Op::Rename, "A++C", "", "B", "A+B+C", true},
    // Extend
    {"extend behind the old key", Op::Extend, "A+C", "A", "B", "A+B+C", true},
    {"extend takes the suffix along", Op::Extend, "C+A_x", "A", "B", "C+A_x+B_x", true},
    {"extend every match", Op::Extend, "A+A_x", "A", "B", "A+B+A_x+B_x", true},
    {"extend adds a term once", Op::Extend, "A+A", "A", "B", "A+B+A", true},
    {"extend adds no term the formula has", Op::Extend, "A+B", "A", "B", "A+B", true},
    {"extend adds no term the formula has later", Op::Extend, "A+C+B", "A", "B", "A+C+B", true},
    {"extend compares the suffix too", Op::Extend, "A_x+B", "A", "B", "A_x+B_x+B", true},
    {"extend with equal keys", Op::Extend, "A", "A", "A", "A", true},
    {"extend without match", Op::Extend, "C", "A", "B", "C", false},
    {"extend empty formula", Op::Extend, "", "A", "B", "", false},
    {"extend keeps empty terms", Op::Extend, "A++C", "A", "B", "A+B++C", true},
    {"extend never rereads its output", Op::Extend, "B+C", "B", "A", "B+A+C", true},
    // Delete
    {"delete every match with its plus", Op::Delete, "A+B+A_x", "A", "", "B", true},
    {"delete last term", Op::Delete, "B+A", "A", "", "B", true},
    {"delete the only term gives empty", Op::Delete, "A", "A", "", "", true},
    {"delete without match", Op::Delete, "C", "A", "", "C", false},
    {"delete keeps empty terms", Op::Delete, "A++C", "A", "", "+C", true},
    {"delete empty formula", Op::Delete, "", "A", "", "", false},
    {"delete with plus in key", Op::Delete, "A+B", "A+B", "", "A+B", false},
    {"delete passes constants", Op::Delete, "5+A+0.5", "A", "", "5+0.5", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, FormulaTextTable, ::testing::ValuesIn(kCases));

TEST(FormulaTextFlag, NeverCleared) {
    short flag = 1;
    EXPECT_EQ(formel::Rename("C", "A", "B", flag), "C");
    EXPECT_EQ(formel::Extend("", "A", "B", flag), "");
    EXPECT_EQ(formel::Delete("C", "A", flag), "C");
    EXPECT_EQ(flag, 1);
}

TEST(FormulaTextFlag, ExtendTwiceWithTheSamePairGivesWhatOnceGives) {
    short flag = 0;
    std::string once = formel::Extend("A+C_x+A_x", "A", "B", flag);
    EXPECT_EQ(once, "A+B+C_x+A_x+B_x");
    EXPECT_EQ(formel::Extend(once, "A", "B", flag), once);
}

}  // namespace
