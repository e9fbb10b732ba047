// The about box and its hidden animation.
#include "app/CAboutDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include "res/Resource.h"
#include "tests/support/AppFixture.h"

namespace {

constexpr Qt::KeyboardModifiers kAll = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

TEST(AboutBox, AnimationGrowsFiveAStepAndWrapsAtTheClientHeight) {
    CAboutDlg about;
    about.setFixedSize(200, 120);
    about.OnLButtonDblClk(kAll, about.IconRect().center());
    ASSERT_TRUE(about.IsAnimating());
    ASSERT_TRUE(about.IsTimerActive());
    EXPECT_EQ(about.Position(), 0);
    for (int step = 1; step < 24; ++step) {
        about.OnTimer();
        EXPECT_EQ(about.Position(), 5 * step);
    }
    about.OnTimer();
    EXPECT_EQ(about.Position(), 0) << "after 24 steps it starts again";
    about.OnTimer();
    EXPECT_EQ(about.Position(), 5);
}

TEST(AboutBox, OnlyAllThreeModifiersOnTheIconStartIt) {
    CAboutDlg about;
    const QPoint onIcon = about.IconRect().center();
    about.OnLButtonDblClk(Qt::ControlModifier | Qt::AltModifier, onIcon);
    about.OnLButtonDblClk(Qt::ShiftModifier | Qt::AltModifier, onIcon);
    about.OnLButtonDblClk(Qt::NoModifier, onIcon);
    about.OnLButtonDblClk(kAll, about.IconRect().bottomRight() + QPoint(5, 5));
    EXPECT_FALSE(about.IsAnimating());
    about.OnLButtonDblClk(kAll, onIcon);
    EXPECT_TRUE(about.IsAnimating());
}

TEST(AboutBox, SecondTriggerDoesNothingAndClosingStopsTheTimer) {
    CAboutDlg about;
    about.setFixedSize(200, 120);
    about.DoSecret();
    about.OnTimer();
    about.OnTimer();
    about.DoSecret();
    EXPECT_EQ(about.Position(), 10) << "a second trigger does not restart";
    about.show();
    about.accept();
    EXPECT_FALSE(about.IsTimerActive());
}

TEST(AboutBox, LayoutInDialogUnitsAndTexts) {
    CAboutDlg about;
    EXPECT_EQ(about.size(), about.DialogUnits(0, 0, 217, 81).size());
    EXPECT_EQ(about.IconRect(), about.DialogUnits(10, 5, 20, 20));
    EXPECT_TRUE(LicenceText().contains("LGPL"));
    EXPECT_TRUE(LicenceText().contains("SQLite"));
    EXPECT_TRUE(LicenceText().contains("libpq"));
    EXPECT_TRUE(LicenceText().contains("zlib"));
}

class AboutCommand : public AppFixture {};

TEST_F(AboutCommand, ShowsTheBoxModallyWithItsTexts) {
    WriteSettings("[Culture]\nUICulture=fr-CH\n");
    Start();
    QString title, caption;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        modal = box->isModal();
        caption = box->windowTitle();
        title = box->findChild<QLabel*>("title")->text();
        static_cast<QDialog*>(box)->accept();
    });
    Command(ID_APP_ABOUT);
    EXPECT_TRUE(modal);
    EXPECT_EQ(caption, "Info");
    EXPECT_EQ(title, "TVA conversion 2024");
}

}  // namespace
