#include <gtest/gtest.h>

#include <QRect>

#include "app/CTheApp.h"

// The main window takes the middle three quarters of the work area.
TEST(Placement, FullHdWorkArea) {
    EXPECT_EQ(CTheApp::MainWindowPlacement(1920, 1040), QRect(240, 130, 1440, 780));
}

TEST(Placement, IntegerArithmeticMultipliesBeforeDividing) {
    // 1366 * 3 / 4 = 1024 (dividing first would give 1023).
    EXPECT_EQ(CTheApp::MainWindowPlacement(1366, 766), QRect(170, 95, 1024, 574));
    EXPECT_EQ(CTheApp::MainWindowPlacement(7, 7), QRect(0, 0, 5, 5));
}
