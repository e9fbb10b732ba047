// The conversion engine without a window: the batch walk, the commands and
// their log through a plain log sink, no QApplication anywhere.
#include <fstream>
#include <string>
#include <vector>

#include "tests/commands/EngineFixture.h"

namespace {

using enginetest::Engine;
using enginetest::kKeyOnly;
using testsupport::Dump;

TEST_F(Engine, ACommandRunsOnEveryMandateAndLogsAsTheWindowDoes) {
    const std::string first = MakeMandate("eins", kKeyOnly);
    const std::string second = MakeMandate("zwei", kKeyOnly);
    const BatchResult result = Walk({first, second}, {Command::kInsertKeys});
    ASSERT_EQ(result.outcomes.size(), 2u);
    for (const MandateOutcome& outcome : result.outcomes) EXPECT_EQ(outcome.kind, MandateOutcome::Kind::kDone);
    EXPECT_EQ(log.Text(), Line(IDS_BEGIN_INSERT, first) + "A81 wurde eingefügt\r\n" + Line(IDS_END_INSERT, first) +
                              Line(IDS_BEGIN_INSERT, second) + "A81 wurde eingefügt\r\n" +
                              Line(IDS_END_INSERT, second));
    EXPECT_NE(Dump(first).find("\nkey A81 "), std::string::npos);
    EXPECT_EQ(log.Failures(), 0);
    EXPECT_FALSE(mandate.IsMandantOpen()) << "no mandate stays open";
}

// Each mandate's own conversion table names its new ids; a mandate without
// one gets the built-in rule, even right after one that has a table.
TEST_F(Engine, EachMandateConvertsWithItsOwnTable) {
    const std::string first = MakeMandate("tabelle1", kKeyOnly);
    const std::string second = MakeMandate("tabelle2", kKeyOnly);
    const std::string third = MakeMandate("ohne", kKeyOnly);
    std::ofstream(first + "/quorvex.txt") << "A77==>EINS\n";
    std::ofstream(second + "/quorvex.txt") << "A77==>ZWEI\n";
    Walk({first, second, third}, {Command::kInsertKeys});
    EXPECT_NE(Dump(first).find("\nkey EINS "), std::string::npos) << Dump(first);
    EXPECT_NE(Dump(second).find("\nkey ZWEI "), std::string::npos) << Dump(second);
    EXPECT_NE(Dump(third).find("\nkey A81 "), std::string::npos) << Dump(third);
}

TEST_F(Engine, CommandsRunInOrderAndTheFirstNotCompletedEndsTheMandate) {
    const std::string dir = MakeMandate("folge");
    const BatchResult result = Walk({dir}, {Command::kInsertKeys, Command::kRemoveOldKeys, Command::kAdaptAccounts});
    ASSERT_EQ(result.outcomes.size(), 1u);
    EXPECT_EQ(result.outcomes[0].kind, MandateOutcome::Kind::kSkipped);
    EXPECT_EQ(result.outcomes[0].reasonId, IDS_BATCH_NOT_COMPLETED);
    EXPECT_NE(log.Text().find(LoadString(IDS_FORM2024_FIRST)), std::string::npos);
    EXPECT_EQ(log.Text().find(Line(IDS_BEGIN_ADAPT, dir)), std::string::npos) << log.Text();
    EXPECT_NE(Dump(dir).find("account 1000 0 A77"), std::string::npos);
}

TEST_F(Engine, ProgressIsReportedForEachMandateAndCancelStopsBetweenMandates) {
    const std::vector<std::string> dirs{MakeMandate("a"), MakeMandate("b"), MakeMandate("c")};
    std::vector<std::string> progress;
    BatchObserver observer;
    observer.starting = [&](std::size_t index, std::size_t count, const std::string& dir) {
        progress.push_back(std::to_string(index + 1) + "/" + std::to_string(count) + " " + dir);
    };
    observer.cancelled = [&] { return progress.size() == 2; };
    const BatchResult result = Walk(dirs, {Command::kInsertKeys}, observer);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(progress, (std::vector<std::string>{"1/3 " + dirs[0], "2/3 " + dirs[1]}));
    EXPECT_EQ(result.outcomes.size(), 2u);
    EXPECT_EQ(Dump(dirs[2]).find("\nkey A81 "), std::string::npos) << "the third was never touched";
    EXPECT_FALSE(mandate.IsMandantOpen());
}

// Inside one mandate the account walks say how far they are: in steps of at
// most a hundredth, each further than the one before, up to the accounts
// walked; adapting names the accounts it leaves on a key without its new key,
// and those are steps too.
TEST_F(Engine, TheAccountWalksReportTheirProgressUpToTheAccountsWalked) {
    constexpr std::size_t kAccounts = 250;
    std::string records = "key A77 7.7 107.7 netto -\nkey B25 2.5 102.5 netto -\n";
    for (std::size_t n = 0; n < kAccounts; ++n)
        records += "account " + std::to_string(2000 + n) + " 0 " + (n % 5 == 0 ? "B25" : "A77") + "\n";
    const std::string dir = MakeMandate("gross", records);
    const struct {
        std::vector<Command> commands;
        std::size_t walked;
    } runs[] = {
        {{Command::kAdaptAccounts}, kAccounts},  // no new keys yet: every account named as left
        {{Command::kInsertKeys, Command::kAdaptAccounts}, kAccounts},
        {{Command::kResetAccounts}, kAccounts},
        {{Command::kInsertKeys}, 0},  // no walk over accounts, nothing told
    };
    for (const auto& run : runs) {
        std::vector<std::pair<std::size_t, std::size_t>> reports;
        RunOptions options;
        options.progress = [&reports](std::size_t done, std::size_t total) { reports.emplace_back(done, total); };
        ASSERT_EQ(Walk({dir}, run.commands, {}, options).outcomes.size(), 1u);
        if (run.walked == 0) {
            EXPECT_TRUE(reports.empty());
            continue;
        }
        ASSERT_GE(reports.size(), 10u);
        EXPECT_LE(reports.size(), 101u);
        for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_LT(reports[i - 1].first, reports[i].first);
        EXPECT_EQ(reports.back(), std::make_pair(run.walked, run.walked));
    }
    EXPECT_NE(Dump(dir).find("account 2000 0 B25"), std::string::npos) << "reset took every account back";
}

TEST_F(Engine, AMandateThatDoesNotOpenIsSkippedAndTheWalkGoesOn) {
    const std::string missing = (root / "fehlt").string();
    const std::string dir = MakeMandate("da");
    const BatchResult result = Walk({missing, dir}, {Command::kInsertKeys});
    ASSERT_EQ(result.outcomes.size(), 2u);
    EXPECT_EQ(result.outcomes[0].kind, MandateOutcome::Kind::kSkipped);
    EXPECT_EQ(result.outcomes[0].reasonId, IDS_BATCH_NOT_OPENED);
    EXPECT_EQ(result.outcomes[1].kind, MandateOutcome::Kind::kDone);
    EXPECT_FALSE(seam.boxes.empty()) << "the open failure was shown";
}

TEST_F(Engine, TheCommandTableNamesEveryCommandOnce) {
    std::vector<std::string> names;
    for (const CommandInfo& info : Commands()) {
        names.push_back(info.name);
        EXPECT_EQ(FindCommand(info.name), &info);
        EXPECT_EQ(&InfoOf(info.command), &info);
        EXPECT_FALSE(LoadString(info.endLineId).empty()) << info.name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"insert-keys", "remove-new-keys", "adapt-accounts", "reset-accounts",
                                               "form-2024", "form-2018", "remove-old-keys"}));
    EXPECT_EQ(FindCommand("show-keys"), nullptr);
}

TEST_F(Engine, ConfirmationsAreAskedThroughTheSeamHandedIn) {
    seam.QueueAnswer(IDNO);
    EXPECT_FALSE(ConfirmCommand(seam, Command::kRemoveOldKeys));
    seam.QueueAnswer(IDYES);
    EXPECT_TRUE(ConfirmCommand(seam, Command::kForm2024));
    EXPECT_TRUE(ConfirmCommand(seam, Command::kInsertKeys)) << "no question, nothing asked";
    EXPECT_EQ(seam.boxes.size(), 2u);
}

}  // namespace
