#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <tuple>
#include <vector>

#include "tests/pendra/MandateTestSupport.h"
#include "pendra/BFile.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "rules/ConversionRules.h"
#include "rules/ConversionState.h"
#include "rules/ConvertTable.h"
#include "rules/KeyPlan.h"
#include "rules/WrongSideBookings.h"

using testsupport::TempDir;

namespace {

// A mandate, opened fresh, holding `ids` (7.7 % each).
class OpenMandate {
public:
    explicit OpenMandate(const std::vector<std::string>& ids, MandateCreateOptions options = {}) {
        const bool readOnly = options.readOnly;
        options.readOnly = false;
        dir_ = testsupport::NewMandate(temp_, "Rules AG", options);
        {
            Mandate filler;
            EXPECT_EQ(filler.OpenMandateFiles(dir_), pendra::kOk);
            testsupport::InsertTaxes(filler, ids);
            filler.CloseMandateFiles();
        }
        if (readOnly) {
            EXPECT_EQ(SetMandateReadOnly(dir_, true), pendra::kOk);
        }
        EXPECT_EQ(mandate_.OpenMandateFiles(dir_), pendra::kOk);
    }
    ~OpenMandate() {
        mandate_.CloseMandateFiles();
    }
    const std::string& Dir() const { return dir_; }
    Mandate& Get() { return mandate_; }

private:
    TempDir temp_;
    std::string dir_;
    Mandate mandate_;
};

}  // namespace

// --- Rate texts and rate classes -------------------------------------------

TEST(RateText, StoredFloatFractionsGiveTheShortText) {
    EXPECT_EQ(RateText(0.077f), "7.7");
    EXPECT_EQ(RateText(0.025f), "2.5");
    EXPECT_EQ(RateText(0.037f), "3.7");
    EXPECT_EQ(RateText(0.081f), "8.1");
    EXPECT_EQ(RateText(0.08f), "8");
    EXPECT_EQ(RateText(0.0f), "0");
    EXPECT_EQ(RateText(1.077f), "107.7");  // gross factors are written the same way
}

struct SatzCase {
    const char* text;
    bool old;
    stsatz satz;
    float newRate;
};

class SetSatzTest : public ::testing::TestWithParam<SatzCase> {};

TEST_P(SetSatzTest, RecognisesExactlyTheThreeOldRates) {
    const SatzCase& c = GetParam();
    stsatz satz = STSATZ_25;
    float newRate = -1.0f;
    ASSERT_EQ(SetSatz(c.text, satz, newRate), c.old) << c.text;
    if (c.old) {
        EXPECT_EQ(satz, c.satz);
        EXPECT_EQ(newRate, c.newRate);
    } else {
        EXPECT_EQ(satz, STSATZ_25) << "outputs untouched";
        EXPECT_EQ(newRate, -1.0f) << "outputs untouched";
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, SetSatzTest, ::testing::Values(
    SatzCase{"2.5", true, STSATZ_25, 0.026f},
    SatzCase{"3.7", true, STSATZ_37, 0.038f},
    SatzCase{"7.7", true, STSATZ_77, 0.081f},
    SatzCase{"8.1", false, STSATZ_25, 0},
    SatzCase{"8", false, STSATZ_25, 0},
    SatzCase{"0", false, STSATZ_25, 0},
    SatzCase{"7.70", false, STSATZ_25, 0},
    SatzCase{" 7.7", false, STSATZ_25, 0},
    SatzCase{"", false, STSATZ_25, 0}));

TEST(GrossFactor, NewQuoteAndOldQuoteTextPerClass) {
    EXPECT_EQ(NewQuote(STSATZ_25), 1.026f);
    EXPECT_EQ(NewQuote(STSATZ_37), 1.038f);
    EXPECT_EQ(NewQuote(STSATZ_77), 1.081f);
    EXPECT_STREQ(OldQuoteText(STSATZ_25), "102.5");
    EXPECT_STREQ(OldQuoteText(STSATZ_37), "103.7");
    EXPECT_STREQ(OldQuoteText(STSATZ_77), "107.7");
}

TEST(GrossFactor, ConvertedKeysAreNoOldKeys) {
    stsatz satz;
    float newRate = 0;
    ASSERT_TRUE(SetSatz(RateText(0.077f), satz, newRate));
    EXPECT_FALSE(SetSatz(RateText(newRate), satz, newRate)) << "a second run finds nothing";
}

// --- Built-in id rule ------------------------------------------------------

struct IdCase {
    const char* oldId;
    stsatz satz;
    const char* newId;
};

class BuiltInRule : public ::testing::TestWithParam<IdCase> {};

TEST_P(BuiltInRule, DerivesTheNewId) {
    const ConvertTable none;  // no table: the rule alone
    EXPECT_EQ(ConvertId(GetParam().oldId, GetParam().satz, none), GetParam().newId);
}

INSTANTIATE_TEST_SUITE_P(Examples, BuiltInRule, ::testing::Values(
    IdCase{"VSN77", STSATZ_77, "VSN81"}, IdCase{"UST", STSATZ_77, "UST81"},
    IdCase{"ABCD77", STSATZ_77, "ABC81"}, IdCase{"MW7.7", STSATZ_77, "MW781"},
    IdCase{"123", STSATZ_77, "181"}, IdCase{"7", STSATZ_77, "81"},
    IdCase{"V25", STSATZ_25, "V26"}, IdCase{"BEH37", STSATZ_37, "BEH38"},
    IdCase{"VSN7", STSATZ_77, "VSN81"}, IdCase{"A1234", STSATZ_77, "A1281"},
    IdCase{"", STSATZ_77, "81"}, IdCase{"vs77", STSATZ_25, "vs26"}));

// Ids are UTF-8 in memory: the rule cuts characters, never bytes, so no id is
// cut in the middle of a letter.
INSTANTIATE_TEST_SUITE_P(Letters, BuiltInRule, ::testing::Values(
    IdCase{"ABÄ77", STSATZ_77, "ABÄ81"}, IdCase{"ÄBCD7", STSATZ_77, "ÄBC81"},
    IdCase{"ÄBCD77", STSATZ_77, "ÄBC81"}, IdCase{"ÄÖÜ77", STSATZ_25, "ÄÖÜ26"},
    IdCase{"ÄÄÄÄ7", STSATZ_37, "ÄÄÄ38"}, IdCase{"ŠŒŽŸ", STSATZ_77, "ŠŒŽ81"},
    IdCase{"€UR77", STSATZ_77, "€UR81"}, IdCase{"Ä1234", STSATZ_77, "Ä1281"},
    IdCase{"éé", STSATZ_77, "éé81"}, IdCase{"Ä7", STSATZ_25, "Ä26"},
    IdCase{"MWÄ7.7", STSATZ_77, "MWÄ81"}));

// --- Table entries win over the rule ----------------------------------------

TEST(ConvertIdWithTable, EntryWinsWhateverTheRateAndIsCaseSensitive) {
    OpenMandate mandate({});
    std::ofstream(mandate.Dir() + "/quorvex.txt") << "VSN77 ==> NEU1\nvsn25==>klein\n";
    const ConvertTable table(mandate.Dir());
    EXPECT_EQ(ConvertId("VSN77", STSATZ_77, table), "NEU1");
    EXPECT_EQ(ConvertId("VSN77", STSATZ_25, table), "NEU1");
    EXPECT_EQ(ConvertId("vsn77", STSATZ_77, table), "vsn81") << "no entry for vsn77";
    EXPECT_EQ(ConvertId("VSN25", STSATZ_25, table), "VSN26") << "entry vsn25 is not VSN25";
}

TEST(ConvertIdWithTable, EmptyNewIdFallsBackToTheBuiltInRule) {
    OpenMandate mandate({});
    std::ofstream(mandate.Dir() + "/quorvex.txt") << "VSN77==>\n";
    const ConvertTable table(mandate.Dir());
    EXPECT_EQ(ConvertId("VSN77", STSATZ_77, table), "VSN81");
}

// --- Id taken ---------------------------------------------------------------

namespace {

// 1 when no key of the open mandate has `id`, as the key plan judges a new id.
int Free(Mandate& mandate, const std::string& id) {
    BFile file(&mandate);
    if (file.Open(mandate.GetTaxName(), BFile::kModeReadOnly) != pendra::kOk) return -1;
    Tax walk(&mandate);
    walk.UseFile(&file);
    const ConvertTable table(mandate.GetPath());
    KeyPlan plan(table);
    if (plan.Read(walk) != pendra::kOk) return -1;
    return plan.Taken(id) ? 0 : 1;
}

}  // namespace

// Taken without regard to letter case, but only for the letter pairs of
// Windows-1252: letters without a partner and other signs match themselves.
TEST(KeyPlanTaken, TakenWithoutRegardToCase) {
    OpenMandate mandate({"VSN77", "VSN81", "ÄB77", "Aß81", "×81", "Ä81"});
    for (auto [id, free, why] : std::vector<std::tuple<const char*, int, const char*>>{
             {"VSN81", 0, ""}, {"vsn81", 0, ""}, {"äb77", 0, ""}, {"VSN8", 1, ""}, {"UST81", 1, ""},
             {"aß81", 0, ""}, {"Aẞ81", 1, "ẞ is no letter of Windows-1252"},
             {"÷81", 1, "× and ÷ are no letter pair"}, {"A81", 1, ""}, {"ä81", 0, ""}}) {
        EXPECT_EQ(Free(mandate.Get(), id), free) << id << " " << why;
    }
}

struct LetterPair {
    const char* upper;
    const char* lower;
};

// Every letter pair of Windows-1252 (the product's code page).
constexpr LetterPair kLetterPairs[] = {
    {"A", "a"}, {"Z", "z"}, {"Š", "š"}, {"Œ", "œ"}, {"Ž", "ž"}, {"Ÿ", "ÿ"}, {"À", "à"},
    {"Á", "á"}, {"Â", "â"}, {"Ã", "ã"}, {"Ä", "ä"}, {"Å", "å"}, {"Æ", "æ"}, {"Ç", "ç"},
    {"È", "è"}, {"É", "é"}, {"Ê", "ê"}, {"Ë", "ë"}, {"Ì", "ì"}, {"Í", "í"}, {"Î", "î"},
    {"Ï", "ï"}, {"Ð", "ð"}, {"Ñ", "ñ"}, {"Ò", "ò"}, {"Ó", "ó"}, {"Ô", "ô"}, {"Õ", "õ"},
    {"Ö", "ö"}, {"Ø", "ø"}, {"Ù", "ù"}, {"Ú", "ú"}, {"Û", "û"}, {"Ü", "ü"}, {"Ý", "ý"},
    {"Þ", "þ"}};

TEST(KeyPlanTaken, TakenWithoutRegardToCaseForEveryWindows1252LetterPair) {
    // Keys "U<upper>81" and "l<lower>81": each asked for in the other case.
    std::vector<std::string> ids;
    for (const LetterPair& pair : kLetterPairs) {
        ids.push_back(std::string("U") + pair.upper + "81");
        ids.push_back(std::string("l") + pair.lower + "81");
    }
    OpenMandate mandate(ids);
    for (const LetterPair& pair : kLetterPairs) {
        EXPECT_EQ(Free(mandate.Get(), (std::string("u") + pair.lower + "81")), 0) << pair.upper;
        EXPECT_EQ(Free(mandate.Get(), (std::string("L") + pair.upper + "81")), 0) << pair.lower;
        EXPECT_EQ(Free(mandate.Get(), (std::string("X") + pair.upper + "81")), 1) << pair.upper;
    }
}

TEST(IdCaseKey, EqualForEveryWindows1252LetterPair) {
    for (const LetterPair& pair : kLetterPairs) {
        EXPECT_EQ(IdCaseKey(std::string("X") + pair.upper + "81"),
                  IdCaseKey(std::string("x") + pair.lower + "81"))
            << pair.upper;
    }
    EXPECT_NE(IdCaseKey("ÄB81"), IdCaseKey("AB81"));
    EXPECT_NE(IdCaseKey("×1"), IdCaseKey("÷1"));
}

TEST(KeyPlanTaken, ReadOnlyMandateIsReadToo) {
    MandateCreateOptions options;
    options.readOnly = true;
    OpenMandate mandate({"VSN81"}, options);
    ASSERT_TRUE(mandate.Get().IsReadOnly());
    EXPECT_EQ(Free(mandate.Get(), "vsn81"), 0);
}

// --- Keys left alone -------------------------------------------------------

TEST(MWSTSchluesselIgnorieren, VSS24AndVSS76AnywhereCaseSensitive) {
    EXPECT_EQ(MWSTSchluesselIgnorieren("VSS24"), 1);
    EXPECT_EQ(MWSTSchluesselIgnorieren("XVSS76"), 1);
    EXPECT_EQ(MWSTSchluesselIgnorieren("VSS241"), 1);
    EXPECT_EQ(MWSTSchluesselIgnorieren("vss24"), 0);
    EXPECT_EQ(MWSTSchluesselIgnorieren("VSS25"), 0);
    EXPECT_EQ(MWSTSchluesselIgnorieren(""), 0);
}

namespace {

struct StageCase {
    const char* name;
    ConversionState state;
    unsigned formVersion;
    ConversionStage stage;
};

ConversionState State(int oldKeys, int newKeysMissing, int accountsToAdapt, int oldKeysUnused = -1,
                      int accountsOnMissingKeys = 0) {
    ConversionState state;
    state.oldKeys = oldKeys;
    state.newKeysMissing = newKeysMissing;
    state.accountsOnOldKeys = state.accountsToAdapt = accountsToAdapt;
    state.oldKeysUnused = oldKeysUnused;
    state.accountsOnMissingKeys = accountsOnMissingKeys;
    return state;
}

class Stages : public ::testing::TestWithParam<StageCase> {};

TEST_P(Stages, TheLastStepDoneWhereTheStepsBeforeItAreDone) {
    EXPECT_EQ(StageName(StageOf(GetParam().state, FormEraOf(GetParam().formVersion))), std::string(StageName(GetParam().stage)));
}

INSTANTIATE_TEST_SUITE_P(
    Mandates, Stages,
    ::testing::Values(StageCase{"NothingConverted", State(3, 3, 2), 2018, ConversionStage::kNotStarted},
                      StageCase{"OneNewKeyMissing", State(3, 1, 0), 2018, ConversionStage::kNotStarted},
                      StageCase{"KeysInserted", State(3, 0, 2), 2018, ConversionStage::kKeysInserted},
                      StageCase{"AccountsAdapted", State(3, 0, 0), 2018, ConversionStage::kAccountsAdapted},
                      StageCase{"WithoutAnyForm", State(3, 0, 0), 0, ConversionStage::kAccountsAdapted},
                      StageCase{"Form2024", State(3, 0, 0), 2024, ConversionStage::kForm2024},
                      StageCase{"OldKeysRemoved", State(0, 0, 0), 2024, ConversionStage::kOldKeysRemoved},
                      StageCase{"Form2024WithKeysMissing", State(3, 2, 0), 2024, ConversionStage::kInconsistent},
                      StageCase{"Form2024WithAccountsLeft", State(3, 0, 1), 2024, ConversionStage::kInconsistent},
                      StageCase{"Form2024WithUnusedOldKeys", State(3, 0, 0, 1), 2024, ConversionStage::kForm2024},
                      StageCase{"EveryOldKeyLeftIsBooked", State(3, 0, 0, 0), 2024,
                                ConversionStage::kWaitingForOldBookings},
                      StageCase{"AnAccountOnAMissingKey", State(3, 0, 0, 0, 1), 2018, ConversionStage::kInconsistent}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace

// --- Bookings on the wrong side of 1.1.2024 -----------------------------------

namespace {

struct BookingCase {
    std::int32_t number;
    const char* key;
    const char* date;
    std::optional<WrongSide> side;  // none: the booking is where it belongs
};

// Keys at every kind of rate: converted, left alone (VSS24, VSS76), new, neither.
const std::vector<std::pair<std::string, float>> kKeys = {
    {"USN77", 0.077f}, {"USN25", 0.025f}, {"VSS24", 0.077f}, {"USN81", 0.081f},
    {"USN38", 0.038f}, {"VSS76", 0.081f}, {"USN80", 0.08f}};

const std::vector<BookingCase> kBookings = {
    {1, "USN77", "20231231", std::nullopt},
    {2, "USN77", "20240101", WrongSide::kOldRateFrom2024},
    {3, "VSS24", "20240115", WrongSide::kOldRateFrom2024},  // left alone, still the old rate
    {4, "USN25", "20240301", WrongSide::kOldRateFrom2024},
    {5, "USN81", "20231231", WrongSide::kNewRateBefore2024},
    {6, "USN81", "20240101", std::nullopt},
    {7, "VSS76", "20231115", WrongSide::kNewRateBefore2024},
    {8, "USN38", "20230301", WrongSide::kNewRateBefore2024},
    {9, "USN80", "20240101", std::nullopt},
    {10, "USN80", "20231231", std::nullopt},
    {11, "GONE", "20230101", WrongSide::kMissingKey},
    {12, "GONE", "20240101", WrongSide::kMissingKey},
    {13, "", "20240101", std::nullopt},  // no key, no tax
};

}  // namespace

TEST(WrongSideBookings, TheWalkListsWhatTheStateCounts) {
    OpenMandate mandate({});
    {
        testsupport::RecordFile<Tax> key(mandate.Get());
        for (const auto& [id, rate] : kKeys) {
            testsupport::FillTax(key, id, rate);
            ASSERT_EQ(key.Insert(), pendra::kOk) << id;
        }
        testsupport::RecordFile<Buch> buch(mandate.Get());
        for (const BookingCase& c : kBookings) {
            testsupport::FillBuch(buch, c.number, c.key);
            std::memcpy(buch.GetBuffer() + Buch::kDateOffset, c.date, 8);
            ASSERT_EQ(buch.Insert(), pendra::kOk) << c.number;
        }
    }
    std::vector<std::pair<std::int32_t, WrongSide>> listed;
    ASSERT_EQ(WalkWrongSideBookings(mandate.Get(),
                                    [&listed](const WrongSideBooking& booking) {
                                        listed.emplace_back(booking.number, booking.side);
                                        EXPECT_EQ(booking.account, "4000");
                                        EXPECT_EQ(booking.amount, 100.0);
                                        if (booking.side == WrongSide::kMissingKey) {
                                            EXPECT_EQ(booking.rate, 0.0f);
                                        }
                                    }),
              pendra::kOk);
    std::vector<std::pair<std::int32_t, WrongSide>> expected;
    long counts[3] = {};
    for (const BookingCase& c : kBookings) {
        if (!c.side) continue;
        expected.emplace_back(c.number, *c.side);
        ++counts[static_cast<int>(*c.side)];
    }
    EXPECT_EQ(listed, expected);

    const ConvertTable table(mandate.Dir());
    ConversionState state;
    ASSERT_EQ(ReadConversionState(mandate.Get(), table, BookingReach::kWrongSide, state), pendra::kOk);
    EXPECT_EQ(state.bookings2024OnOldRates, counts[static_cast<int>(WrongSide::kOldRateFrom2024)]);
    EXPECT_EQ(state.bookings2023OnNewRates, counts[static_cast<int>(WrongSide::kNewRateBefore2024)]);
    EXPECT_EQ(state.bookingsOnMissingKeys, counts[static_cast<int>(WrongSide::kMissingKey)]);
}
