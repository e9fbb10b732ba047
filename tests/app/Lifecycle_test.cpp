// Start-up, view switching, the pump and the exit code.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "app/CTheList.h"
#include "app/CTheView.h"
#include "framework/AppSeam.h"
#include "core/BrisolSettings.h"
#include "mandate/MandateSession.h"
#include "pendra/Mandate.h"
#include "res/Resource.h"
#include "tests/support/AppFixture.h"

namespace {

class Lifecycle : public AppFixture {};

TEST_F(Lifecycle, StartsWithTheLogShownAndTheListHidden) {
    Start();
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 0);
    EXPECT_EQ(app->GetLogView(), Frame().GetActiveView());
    EXPECT_TRUE(app->GetLogView()->Widget()->isVisible());
    EXPECT_FALSE(app->GetListView()->Widget()->isVisible());
    EXPECT_EQ(app->GetMandate(), &Frame().Session().Current());
}

TEST_F(Lifecycle, SearchRootComesFromTheProductSetting) {
    WriteSettings("[Culture]\nUICulture=de-CH\n[initial]\nmandant=/data/mandanten\n");
    Start();
    EXPECT_EQ(app->Registry().SearchRoot(), "/data/mandanten");
}

TEST_F(Lifecycle, SwitchViewReturnsTheViewShownBeforeAndPumps) {
    Start();
    const long before = app->PumpSteps();
    CView* old = app->SwitchView(1);
    EXPECT_EQ(old, app->GetLogView());
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
    EXPECT_EQ(Frame().GetActiveView(), app->GetListView());
    EXPECT_TRUE(app->GetListView()->Widget()->isVisible());
    EXPECT_FALSE(app->GetLogView()->Widget()->isVisible());
    EXPECT_EQ(app->PumpSteps() - before, 1000);
}

TEST_F(Lifecycle, SwitchingToTheShownViewPumpsNothing) {
    Start();
    app->SwitchView(1);
    const long before = app->PumpSteps();
    EXPECT_EQ(app->SwitchView(1), app->GetListView());
    EXPECT_EQ(app->PumpSteps(), before);
    EXPECT_EQ(app->SwitchView(7), nullptr);
}

TEST_F(Lifecycle, ExitCodeIsOne) {
    Start();
    QTimer::singleShot(0, [&] { Frame().close(); });
    EXPECT_EQ(app->Run(), 1);
    EXPECT_EQ(app->GetMandate(), nullptr);
}

TEST_F(Lifecycle, QuitArrivingWhileACommandPumpsStillEndsTheProgram) {
    Start();
    bool pumpedOn = false;
    QTimer::singleShot(0, [&] {
        // A long command: the quit arrives during its pump steps.
        QTimer::singleShot(0, [] { QCoreApplication::quit(); });
        for (int i = 0; i < 50; ++i) app->OnIdle(1);
        pumpedOn = true;
    });
    EXPECT_EQ(app->Run(), 1);
    EXPECT_TRUE(pumpedOn);
}

TEST_F(Lifecycle, ExitMenuClosesTheWindow) {
    Start();
    Command(ID_APP_EXIT);
    EXPECT_FALSE(Frame().IsWindowAlive());
}

TEST_F(Lifecycle, MissingSettingsFileMeansEmptyValues) {
    WriteSettings("");
    setenv("MWST_SETTINGS", TempPath("does-not-exist.ini").c_str(), 1);
    BrisolSettings::Reload();
    Start();
    EXPECT_EQ(app->Registry().SearchRoot(), "");
    EXPECT_EQ(Frame().GetWindowText(), "MWST Konvertierung 2024");
}

TEST(AppSeam, WithoutAnInstalledSeamNothingBlocks) {
    AppSeam::Install(nullptr);
    EXPECT_FALSE(AppSeam::Installed());
    EXPECT_EQ(AppSeam::Current().MessageBox({"x", "y", MB_ABORTRETRYIGNORE | MB_DEFBUTTON2}), IDRETRY);
}

}  // namespace
