// The demo tree of mwst-mandant demo.
#include "mandate/tools/DemoBuilder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/pendra/MandateTestSupport.h"

using namespace testsupport;

namespace {

class DemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        temp_ = new TempDir();
        std::ostringstream summary;
        std::string error;
        built_ = mandant::BuildDemo(temp_->Path(), summary, error);
        summary_ = summary.str();
        error_ = error;
    }
    static void TearDownTestSuite() { delete temp_; }
    void SetUp() override { ASSERT_TRUE(built_) << error_; }
    std::string Dir(const std::string& path) const { return temp_->Sub(path); }

    static TempDir* temp_;
    static bool built_;
    static std::string summary_, error_;
};

TempDir* DemoTest::temp_ = nullptr;
bool DemoTest::built_ = false;
std::string DemoTest::summary_, DemoTest::error_;

float Rate(Mandate& mandate, const std::string& id) {
    BFile file(&mandate);
    if (file.Open(mandate.GetTaxName(), BFile::kModeReadOnly) != pendra::kOk) return -1;
    Tax tax(&mandate);
    tax.UseFile(&file);
    return tax.Read(id) == pendra::kOk ? tax.GetPercent() : -1;
}

TEST_F(DemoTest, EveryMandateIsCreatedAndSummarised) {
    for (const mandant::DemoMandate& demo : mandant::DemoMandates()) {
        EXPECT_TRUE(Mandate::PathContainsMandate(Dir(demo.path))) << demo.path;
        EXPECT_NE(summary_.find(demo.name), std::string::npos) << demo.name;
    }
    EXPECT_NE(summary_.find("password: Alpenblick-2024"), std::string::npos);
    EXPECT_GE(mandant::DemoMandates().size(), 6u);
}

TEST_F(DemoTest, GermanCompanyHasOldNewAndUntouchedKeysWithBookings) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(Dir("baeckerei-mueller")), pendra::kOk);
    EXPECT_EQ(mandate.GetName(), "Bäckerei Müller AG");
    EXPECT_EQ(mandate.GetIniLong(0, 27, 0), 0);
    for (auto [id, rate] : std::vector<std::pair<const char*, float>>{
             {"VSN77", 0.077f}, {"VSB77", 0.077f}, {"VSN25", 0.025f}, {"VSB25", 0.025f},
             {"VSN37", 0.037f}, {"USN77", 0.077f}, {"VSS24", 0.077f}, {"XVSS76", 0.077f},
             {"VSN81", 0.081f}, {"USN00", 0.0f}, {"VSN80", 0.08f}}) {
        EXPECT_EQ(Rate(mandate, id), rate) << id;
    }
    BFile buchFile(&mandate);
    ASSERT_EQ(buchFile.Open(mandate.GetBuchName(), BFile::kModeReadOnly), pendra::kOk);
    Buch buch(&mandate);
    buch.UseFile(&buchFile);
    EXPECT_EQ(buch.ExistsWithTaxId("VSN77"), pendra::kOk);
    EXPECT_EQ(buch.ExistsWithTaxId("VSB77"), pendra::kOk);
    EXPECT_EQ(buch.ExistsWithTaxId("VSN37"), pendra::kKeyNotFound);

    BFile kontoFile(&mandate);
    ASSERT_EQ(kontoFile.Open(mandate.GetKontoName(), BFile::kModeReadOnly), pendra::kOk);
    Konto konto(&mandate);
    konto.UseFile(&kontoFile);
    ASSERT_EQ(konto.ReadKonto("4400"), pendra::kOk);
    EXPECT_EQ(konto.GetType(), 0);
    EXPECT_EQ(konto.GetTaxId(), "VSN77");
    ASSERT_EQ(konto.ReadKonto("3010"), pendra::kOk);
    EXPECT_EQ(konto.GetType(), 1);
    EXPECT_EQ(konto.GetTaxId(), "USN77");
}

TEST_F(DemoTest, FrenchCompanyHasFrenchTexts) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(Dir("boulangerie-dubois")), pendra::kOk);
    EXPECT_EQ(mandate.GetName(), "Boulangerie Dubois SA");
    BFile file(&mandate);
    ASSERT_EQ(file.Open(mandate.GetTaxName(), BFile::kModeReadOnly), pendra::kOk);
    Tax tax(&mandate);
    tax.UseFile(&file);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(tax.GetText(), "Impôt préalable mat./prest. 7.7%");
}

TEST_F(DemoTest, SpecialMandates) {
    Mandate flat, nested, old, secret;
    ASSERT_EQ(flat.OpenMandateFiles(Dir("schreinerei-huber")), pendra::kOk);
    EXPECT_EQ(flat.GetIniLong(0, 27, 0), 1);

    ASSERT_EQ(nested.OpenMandateFiles(Dir("treuhand-keller/mandanten/garage-rossi")), pendra::kOk);
    EXPECT_TRUE(Mandate::PathContainsMandate(Dir("treuhand-keller")));

    ASSERT_EQ(old.OpenMandateFiles(Dir("metzgerei-gerber")), pendra::kOk);
    long version = 0;
    old.GetVersion(version, 1);
    EXPECT_EQ(version, 2299);

    ASSERT_EQ(secret.OpenMandateFiles(Dir("hotel-alpenblick")), pendra::kOk);
    ScriptedUi ui;
    ui.passwords = {"Alpenblick-2024"};
    EXPECT_EQ(secret.AskPassword(ui), 1);
    EXPECT_EQ(ui.prompts.size(), 1u);
}

TEST_F(DemoTest, ConversionTableFileHasArrowLinesAndComments) {
    std::ifstream in(Dir("cave-favre/quorvex.txt"));
    ASSERT_TRUE(in);
    int pairs = 0, comments = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(";")) {
            ++comments;
        } else if (line.find("==>") != std::string::npos) {
            ++pairs;
        }
    }
    EXPECT_GE(pairs, 3);
    EXPECT_GE(comments, 1);
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(Dir("cave-favre")), pendra::kOk);
    EXPECT_EQ(Rate(mandate, "VFN77"), 0.077f);
}

TEST_F(DemoTest, ExtraStepsRunForEveryMandateAndBuildingTwiceIsRefused) {
    TempDir temp;
    std::vector<std::string> seen;
    mandant::DemoStep step = [&seen](const mandant::DemoMandate& demo, const std::string& dir,
                                     std::string&) {
        seen.push_back(demo.path);
        return Mandate::PathContainsMandate(dir);
    };
    std::ostringstream summary;
    std::string error;
    ASSERT_TRUE(mandant::BuildDemo(temp.Path(), summary, error, {step})) << error;
    EXPECT_EQ(seen.size(), mandant::DemoMandates().size());
    EXPECT_FALSE(mandant::BuildDemo(temp.Path(), summary, error));
    EXPECT_NE(error.find("a mandate exists there already"), std::string::npos) << error;
}

}  // namespace
