// The conversion of a demo mandate whose form workbooks were opened and saved
// in LibreOffice before every step (key names in lower case) gives, step by
// step, the workbooks of the same conversion on the untouched mandate.
#include <gtest/gtest.h>

#include <filesystem>

#include "templates/TemplateSet.h"
#include "workbook/CVCF1.h"
#include "tests/forms/LibreOfficeCase.h"
#include "tests/support/TempDir.h"

namespace {

using formstest::Program;

class LetterCase : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tree : {"plain", "saved"})
            ASSERT_EQ(Program("mwst-mandant", "demo " + root.File(tree)), 0) << tree;
    }

    std::string Mandate(const char* tree, const std::string& name) const {
        return root.File(std::string(tree) + "/" + name);
    }
    std::vector<std::string> Forms(const char* tree, const std::string& name) const {
        std::vector<std::string> files;
        for (const MwstTemplateStep& step : MwstTemplateSteps())
            if (step.formUpdate) files.push_back(Mandate(tree, name) + "/" + step.mandateFile);
        return files;
    }

    // Opens and saves every form workbook of the mandate of the "saved" tree in
    // LibreOffice, runs the command on the mandate in both trees, and compares
    // each workbook that the command wrote in either tree.
    void Step(const std::string& command, const std::string& name) {
        for (const std::string& file : Forms("saved", name)) formstest::SaveAsLibreOfficeWould(file);
        std::vector<std::string> plainBefore, savedBefore;
        for (const std::string& file : Forms("plain", name)) plainBefore.push_back(ReadBytes(file));
        for (const std::string& file : Forms("saved", name)) savedBefore.push_back(ReadBytes(file));
        for (const char* tree : {"plain", "saved"})
            EXPECT_EQ(Program("mwst-batch", command + " --yes " + Mandate(tree, name)), 0) << command << " " << tree;
        const std::set<std::string> ids = formstest::TaxIds(Mandate("plain", name));
        EXPECT_EQ(formstest::TaxIds(Mandate("saved", name)), ids) << command;
        const std::vector<std::string> plain = Forms("plain", name), saved = Forms("saved", name);
        for (std::size_t i = 0; i < plain.size(); ++i) {
            if (ReadBytes(plain[i]) == plainBefore[i] && ReadBytes(saved[i]) == savedBefore[i]) continue;
            ++compared;
            const auto plainRows = formstest::MappingRows(plain[i]), savedRows = formstest::MappingRows(saved[i]);
            ASSERT_EQ(savedRows.size(), plainRows.size()) << command << ": " << saved[i];
            for (std::size_t row = 0; row < plainRows.size(); ++row) {
                EXPECT_EQ(savedRows[row][0], plainRows[row][0]) << command << ": " << saved[i];
                for (std::size_t col = 1; col < 3; ++col)
                    EXPECT_TRUE(formstest::Alike(savedRows[row][col], plainRows[row][col], ids))
                        << command << ": " << saved[i] << " row " << row + 1 << ": " << savedRows[row][col]
                        << " against " << plainRows[row][col];
            }
        }
    }

    TempDir root;
    int compared = 0;
};

TEST_F(LetterCase, BakeryOnTheEffectiveMethod) {
    for (const char* command : {"insert-keys", "remove-new-keys", "insert-keys", "adapt-accounts", "form-2024",
                                "remove-old-keys", "form-2018"})
        Step(command, "baeckerei-mueller");
    EXPECT_GE(compared, 10);
}

TEST_F(LetterCase, JoineryOnTheFlatRateMethod) {
    for (const char* command : {"insert-keys", "form-2024", "form-2018"}) Step(command, "schreinerei-huber");
    EXPECT_GE(compared, 8);
}

}  // namespace
