#include "tests/support/AppFixture.h"

#include <cstdlib>
#include <fstream>
#include <regex>

#include "app/CTheView.h"
#include "core/BrisolSettings.h"
#include "framework/AppSeam.h"

void AppFixture::SetUp() {
    ASSERT_TRUE(temp.isValid());
    if (const char* env = std::getenv("MWST_SETTINGS")) savedSettingsEnv = env;
    setenv("MWST_SETTINGS", TempPath("brisol.ini").c_str(), 1);
    WriteSettings("[Culture]\nUICulture=de-CH\n");
    AppSeam::Install(&seam);
}

void AppFixture::TearDown() {
    if (app) {
        if (app->GetMainFrame()) app->GetMainFrame()->close();
        app->ExitInstance();
        app.reset();
    }
    AppSeam::Install(nullptr);
    setenv("MWST_SETTINGS", savedSettingsEnv.c_str(), 1);
    BrisolSettings::Reload();
}

void AppFixture::WriteSettings(const std::string& ini) {
    std::ofstream(TempPath("brisol.ini")) << ini;
    BrisolSettings::Reload();
}

void AppFixture::Start() {
    app = std::make_unique<CTheApp>();
    ASSERT_EQ(app->InitInstance(), 1);
}

std::string AppFixture::TempPath(const std::string& name) const {
    return temp.path().toStdString() + "/" + name;
}

std::string AppFixture::Log() const {
    // Each run's first line carries the clock's date and time: no fixed
    // expectation can hold it, so the log is compared without it.
    const std::regex runLine(R"((Lauf vom|Probelauf vom|Exécution du|Simulation du) \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d[^\r]*\r\n)");
    return std::regex_replace(app->GetLogView()->GetText(), runLine, "");
}
