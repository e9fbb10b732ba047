#pragma once
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <string>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/MandateRegistry.h"
#include "core/ScriptedUiSeam.h"

// A started program for one test: its own settings file in a temporary
// directory, a scripted seam answering every box and prompt, CTheApp after
// InitInstance. Settings() may be written before Start().
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the settings file (INI text) that the program reads at start.
    void WriteSettings(const std::string& ini);
    // Creates and starts the application (German unless the settings say otherwise).
    void Start();

    std::string TempPath(const std::string& name) const;
    CMainFrame& Frame() { return *app->GetMainFrame(); }
    // Runs a command as a menu choice does (only when enabled).
    void Command(unsigned id) { Frame().DoCommand(id); }
    bool Enabled(unsigned id) { return Frame().IsCommandEnabled(id); }
    // The log without the date and time line that begins each run.
    std::string Log() const;
    // The window's command context, for calling the engine's entry points.
    CommandContext& Ctx() {
        ctx_.emplace(app->Context());
        return *ctx_;
    }

    QTemporaryDir temp;
    ScriptedUiSeam seam;
    std::unique_ptr<CTheApp> app;
    std::string savedSettingsEnv;

private:
    std::optional<CommandContext> ctx_;
};
