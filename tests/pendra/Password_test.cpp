// Mandate passwords: asked through PendraUi, kept only as an Argon2id hash.
#include <gtest/gtest.h>

#include "tests/pendra/MandateTestSupport.h"
#include "tests/support/FileBytes.h"
#include "pendra/PasswordHash.h"
#include "pendra/PendraMessages.h"

using namespace testsupport;

namespace {

class PasswordTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = WithPassword("Bäckerei Müller AG");
        ASSERT_EQ(mandate_.OpenMandateFiles(dir_), pendra::kOk);
    }
    std::string WithPassword(const std::string& name) {
        MandateCreateOptions options;
        options.password = "Geheim-Müller-2024";
        return NewMandate(temp_, name, options);
    }
    TempDir temp_;
    std::string dir_;
    Mandate mandate_;
    ScriptedUi ui_;
};

TEST_F(PasswordTest, RightPasswordAtFirstTry) {
    ui_.passwords = {"Geheim-Müller-2024"};
    EXPECT_EQ(mandate_.AskPassword(ui_), 1);
    ASSERT_EQ(ui_.prompts.size(), 1u);
    EXPECT_NE(ui_.prompts[0].find("Bäckerei Müller AG"), std::string::npos);
    EXPECT_EQ(ui_.captions[0], "Passwort");
}

TEST_F(PasswordTest, RightPasswordAtThirdTryAfterRetryPrompts) {
    ui_.passwords = {"falsch", "geheim-müller-2024", "Geheim-Müller-2024"};
    EXPECT_EQ(mandate_.AskPassword(ui_), 1);
    ASSERT_EQ(ui_.prompts.size(), 3u);
    EXPECT_NE(ui_.prompts[1], ui_.prompts[0]);  // says the last one was wrong
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(PasswordTest, ThreeWrongPasswordsRefuseAndSayWhy) {
    ui_.passwords = {"a", "b", "c", "Geheim-Müller-2024"};
    EXPECT_EQ(mandate_.AskPassword(ui_), 0);
    EXPECT_EQ(ui_.prompts.size(), 3u);  // never a fourth try
    EXPECT_EQ(ui_.messages.size(), 1u);
}

TEST_F(PasswordTest, CancelRefusesAtOnce) {
    ui_.passwords = {std::nullopt, "Geheim-Müller-2024"};
    EXPECT_EQ(mandate_.AskPassword(ui_), 0);
    EXPECT_EQ(ui_.prompts.size(), 1u);
}

TEST_F(PasswordTest, FrenchPrompt) {
    SetPendraLanguage("fr");
    ui_.passwords = {"Geheim-Müller-2024"};
    EXPECT_EQ(mandate_.AskPassword(ui_), 1);
    SetPendraLanguage("de");
    EXPECT_EQ(ui_.captions.at(0), "Mot de passe");
    EXPECT_NE(ui_.prompts.at(0).find("mandat"), std::string::npos);
}

TEST_F(PasswordTest, OnlyASaltedArgon2idHashIsStored) {
    mandate_.CloseMandateFiles();
    const std::string bytes = FileBytes(dir_ + "/pendra.db");
    EXPECT_EQ(bytes.find("Geheim-Müller-2024"), std::string::npos);
    EXPECT_NE(bytes.find("$argon2id$"), std::string::npos);

    // Same password, other mandate: another salt, so another hash.
    const std::string bytes2 = FileBytes(WithPassword("Zweite AG") + "/pendra.db");
    auto hashAt = [](const std::string& b) { return b.substr(b.find("$argon2id$"), 90); };
    EXPECT_NE(hashAt(bytes), hashAt(bytes2));
}

// Opening the same mandate again in this process asks again, but the right
// answer costs no second Argon2 check; a wrong one is checked in full.
TEST_F(PasswordTest, VerifiedOnceAProcessAskedEveryTime) {
    ui_.passwords = {"Geheim-Müller-2024", "Geheim-Müller-2024", "falsch", "x", "y"};
    const std::uint64_t before = pendra::PasswordVerifications();
    EXPECT_EQ(mandate_.AskPassword(ui_), 1);
    EXPECT_EQ(pendra::PasswordVerifications(), before + 1);

    Mandate again;
    ASSERT_EQ(again.OpenMandateFiles(dir_ + "/"), pendra::kOk);  // written differently
    EXPECT_EQ(again.AskPassword(ui_), 1);
    EXPECT_EQ(ui_.prompts.size(), 2u);
    EXPECT_EQ(pendra::PasswordVerifications(), before + 1);

    EXPECT_EQ(again.AskPassword(ui_), 0);
    EXPECT_EQ(ui_.prompts.size(), 5u);
    EXPECT_EQ(pendra::PasswordVerifications(), before + 4);
}

TEST_F(PasswordTest, AnotherMandateWithTheSamePasswordIsCheckedInFull) {
    ui_.passwords = {"Geheim-Müller-2024", "Geheim-Müller-2024"};
    EXPECT_EQ(mandate_.AskPassword(ui_), 1);
    Mandate other;
    ASSERT_EQ(other.OpenMandateFiles(WithPassword("Zweite AG")), pendra::kOk);
    const std::uint64_t before = pendra::PasswordVerifications();
    EXPECT_EQ(other.AskPassword(ui_), 1);
    EXPECT_EQ(pendra::PasswordVerifications(), before + 1);
}

TEST(PasswordNone, MandateWithoutPasswordNeverAsks) {
    TempDir temp;
    std::string dir = NewMandate(temp);
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    ScriptedUi ui;
    EXPECT_EQ(mandate.AskPassword(ui), 1);
    EXPECT_TRUE(ui.prompts.empty());
}

TEST(PasswordNone, SilentUiCancelsThePrompt) {
    TempDir temp;
    MandateCreateOptions options;
    options.password = "x";
    std::string dir = NewMandate(temp, "Mit Passwort AG", options);
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(mandate.AskPassword(PendraUi::Silent()), 0);
}

}  // namespace
