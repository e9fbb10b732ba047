// Number texts under a locale with a decimal comma. QApplication calls
// setlocale(LC_ALL, ""), so the program runs under the user's locale; the rate
// texts that decide which keys are old must still read "7.7", and the
// commands must find the old keys. A machine without such a locale skips.
#include <cstdio>
#include <memory>

#include "pendra/PendraMessages.h"
#include "rules/ConversionRules.h"
#include "tests/support/CommaLocale.h"
#include "tests/commands/KeyCommandsFixture.h"

namespace {

class UnderACommaLocale : public KeyCommandsFixture {
protected:
    void SetUp() override {
        KeyCommandsFixture::SetUp();
        const auto comma = commalocale::Find();
        if (!comma) GTEST_SKIP() << commalocale::kMissing;
        locale_ = std::make_unique<commalocale::Scoped>(*comma);
    }
    void TearDown() override {
        locale_.reset();
        KeyCommandsFixture::TearDown();
    }
    std::unique_ptr<commalocale::Scoped> locale_;
};

TEST_F(UnderACommaLocale, RateTextsKeepTheirPoint) {
    EXPECT_EQ(RateText(0.077f), "7.7");
    EXPECT_EQ(RateText(1.077f), "107.7");
    EXPECT_EQ(RateText(0.025f), "2.5");
    EXPECT_EQ(RateText(0.081f), "8.1");
    EXPECT_EQ(RateText(0.08f), "8");
    stsatz satz;
    float newRate = 0;
    EXPECT_TRUE(SetSatz(RateText(0.037f), satz, newRate));
    EXPECT_EQ(satz, STSATZ_37);
    EXPECT_EQ(FloatToAscii(7.7, "%g"), "7.7");
    EXPECT_EQ(FloatToAscii(7.7, "%f"), "7.700000");
    EXPECT_EQ(FloatToAscii(107.7, "%8.2f"), "  107.70");
}

TEST_F(UnderACommaLocale, TheLocaleReallyWritesACommaForOthers) {
    char text[16];
    std::snprintf(text, sizeof text, "%g", 7.7);
    EXPECT_STREQ(text, "7,7") << "otherwise these tests would prove nothing";
}

TEST_F(UnderACommaLocale, InsertionFindsTheOldKeysAndExtendsTheFormulas) {
    const std::string dir = MakeMandate("komma",
                                        "key VSN77 7.7 107.7 netto 1170 Vorsteuer\n"
                                        "key V25 2.5 102.5 netto 1170 reduziert\n"
                                        "key N81 8.1 108.1 netto 1170 schon neu\n"
                                        "account 1170 0 - Vorsteuer\n");
    const std::string form = WriteForm(dir, "2018", {{"II_7_a", "VSN77+V25", ""}});
    Open(dir);
    Command(ID_NEW_KEYS);
    EXPECT_EQ(LogText(), Ran("Steuerschlüssel einfügen", dir,
                             "V26 wurde eingefügt\nVSN81 wurde eingefügt\n"
                             "Formeln mit V26 ergänzt\nFormeln mit VSN81 ergänzt\n"));
    EXPECT_EQ(Records("key"), (std::vector<std::string>{
                                  "key N81 8.1 108.1 netto 1170 schon neu",
                                  "key V25 2.5 102.5 netto 1170 reduziert",
                                  "key V26 2.6 102.6 netto 1170 reduziert",
                                  "key VSN77 7.7 107.7 netto 1170 Vorsteuer",
                                  "key VSN81 8.1 108.1 netto 1170 Vorsteuer",
                              }));
    EXPECT_EQ(formstest::MappingCell(form, 1, 2), "VSN77+VSN81+V25+V26");
    EXPECT_EQ(app->Failures(), 0);
}

}  // namespace
