// The key and account commands on ids with letters beyond ASCII: ids of six
// Windows-1252 characters, the built-in rule cutting characters, the id check
// without regard to letter case.
#include <algorithm>
#include <fstream>

#include "tests/commands/KeyCommandsFixture.h"

namespace {

class UmlautIdsTest : public KeyCommandsFixture {
protected:
    bool Logged(const std::string& line) const {
        return LogText().find(line + "\n") != std::string::npos;
    }
};

TEST_F(UmlautIdsTest, NewKeysAndAccountsCarryWholeLetters) {
    const std::string dir = MakeMandate(
        "umlaute",
        "key ABÄ77 7.7 107.7 netto 2200 Umsatz AB\n"
        "key ÄBCD7 7.7 107.7 netto 2200 Umsatz ÄBCD\n"
        "key ÜBER77 7.7 107.7 netto 2200 Umsatz über\n"
        "key äbc81 8.1 108.1 netto - schon da, klein geschrieben\n"
        "account 2200 1 ABÄ77 Umsatzsteuer\n"
        "account 2210 1 ÜBER77 Umsatz über\n");
    std::ofstream(dir + "/quorvex.txt") << "ÜBER77==>NEUÄÄ1\n";
    Open(dir);

    Command(ID_NEW_KEYS);
    EXPECT_TRUE(Logged("ABÄ81 wurde eingefügt")) << LogText();
    EXPECT_TRUE(Logged("NEUÄÄ1 wurde eingefügt")) << LogText();
    EXPECT_TRUE(Logged("ÄBCD7 nicht konvertiert: ÄBC81 besteht nur als äbc81 "
                       "(andere Gross-/Kleinschreibung)"))
        << "taken by äbc81: " << LogText();
    EXPECT_EQ(Records("key"), (std::vector<std::string>{
                                  "key ABÄ77 7.7 107.7 netto 2200 Umsatz AB",
                                  "key ABÄ81 8.1 108.1 netto 2200 Umsatz AB",
                                  "key NEUÄÄ1 8.1 108.1 netto 2200 Umsatz über",
                                  "key ÄBCD7 7.7 107.7 netto 2200 Umsatz ÄBCD",
                                  "key ÜBER77 7.7 107.7 netto 2200 Umsatz über",
                                  "key äbc81 8.1 108.1 netto - schon da, klein geschrieben",
                              }));

    Command(ID_UPDATE_ACCOUNTS);
    EXPECT_EQ(Records("account"), (std::vector<std::string>{
                                      "account 2200 1 ABÄ81 Umsatzsteuer",
                                      "account 2210 1 NEUÄÄ1 Umsatz über",
                                  }));
    Command(ID_UNDO_UPDATE_ACCOUNTS);
    EXPECT_EQ(Records("account"), (std::vector<std::string>{
                                      "account 2200 1 ABÄ77 Umsatzsteuer",
                                      "account 2210 1 ÜBER77 Umsatz über",
                                  }));

    const std::vector<std::string> keys = Records("key");
    Command(ID_NEW_KEYS);
    EXPECT_EQ(Records("key"), keys) << "a second run finds every new id taken";
}

// A conversion table may ask for an id that no key can have: it is refused
// with the library's status, never cut, and the command changes nothing.
struct RefusedId {
    const char* entry;
    const char* line;
};

class UmlautIdsRefused : public UmlautIdsTest, public ::testing::WithParamInterface<RefusedId> {};

TEST_P(UmlautIdsRefused, WithItsStatusAndNothingInserted) {
    const std::string dir = MakeMandate("zulang", "key A77 7.7 107.7 netto -\nkey B77 7.7 107.7 netto -\n");
    std::ofstream(dir + "/quorvex.txt") << GetParam().entry << "\n";
    Open(dir);
    Command(ID_NEW_KEYS);
    EXPECT_TRUE(Logged(GetParam().line)) << LogText();
    EXPECT_EQ(Records("key"), (std::vector<std::string>{"key A77 7.7 107.7 netto -",
                                                        "key B77 7.7 107.7 netto -"}));
    EXPECT_GT(app->Failures(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ids, UmlautIdsRefused,
    ::testing::Values(
        RefusedId{"A77==>NEUÄÄ12", "NEUÄÄ12 konnte nicht eingefügt werden (Status 21)"},
        RefusedId{"A77==>ΩMEGA", "ΩMEGA konnte nicht eingefügt werden (Status 60011)"}),
    [](const ::testing::TestParamInfo<RefusedId>& param) {
        return param.index == 0 ? std::string("SevenCharacters") : std::string("NotWindows1252");
    });

}  // namespace
