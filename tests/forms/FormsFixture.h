#pragma once
// A started program with a temporary directory open to every user, a templates
// directory setting, and helpers to open a mandate for the form functions.
#include <unistd.h>

#include <filesystem>
#include <string>

#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/support/AppFixture.h"

class FormsFixture : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        formstest::OpenToEveryone(temp.path().toStdString());
        mandateDir = TempPath("mandant");
        templatesDir = TempPath("vorlagen");
        std::filesystem::create_directories(templatesDir);
        formstest::OpenToEveryone(templatesDir);
    }
    void TearDown() override {
        if (Mandate* mandate = Open()) mandate->CloseMandateFiles();
        AppFixture::TearDown();
    }

    // Starts the program with the templates directory set (empty: not set).
    void StartWithTemplates(const std::string& dir) {
        std::string ini = "[Culture]\nUICulture=de-CH\n";
        if (!dir.empty()) ini += "[Vorlagen]\nverzeichnis=" + dir + "\n";
        WriteSettings(ini);
        Start();
    }

    // Creates the mandate (with keys and accounts) and opens it as the program's mandate.
    void OpenMandate(const std::vector<formstest::TaxKey>& keys = {},
                     const std::vector<formstest::Account>& accounts = {}, bool flatRate = false) {
        formstest::CreateMandateWith(mandateDir, keys, accounts, flatRate);
        formstest::OpenToEveryone(mandateDir);
        ASSERT_EQ(Open()->OpenMandateFiles(mandateDir), pendra::kOk);
    }

    // The mandate the commands work on (open or not).
    Mandate* Open() const { return app ? app->GetMandate() : nullptr; }
    std::string InMandate(const std::string& name) const { return mandateDir + "/" + name; }
    std::string InTemplates(const std::string& name) const { return templatesDir + "/" + name; }

    std::string mandateDir;
    std::string templatesDir;
};

// The program started with the templates directory set.
class StartedForms : public FormsFixture {
protected:
    void SetUp() override {
        FormsFixture::SetUp();
        StartWithTemplates(templatesDir);
    }
};
