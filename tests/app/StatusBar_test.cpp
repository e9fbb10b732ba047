// Title and status panes follow the open mandate.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>

#include "mandate/MandateSession.h"
#include "pendra/MIniSetHelper.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "res/Resource.h"
#include "tests/support/AppFixture.h"

namespace {

class StatusBar : public AppFixture {
protected:
    int TextWidth(const std::string& text) {
        return QFontMetrics(Frame().statusBar()->font()).horizontalAdvance(QString::fromStdString(text));
    }
    std::string OpenTestMandate(const std::string& name) {
        const std::string dir = TempPath("m1");
        MandateCreateOptions options;
        options.name = name;
        EXPECT_EQ(CreateMandate(dir, options), 0);
        EXPECT_EQ(app->GetMandate()->OpenMandateFiles(dir, 1, true), 0);
        return dir;
    }
};

TEST_F(StatusBar, NoMandateOpen) {
    Start();
    EXPECT_EQ(Frame().GetWindowText(), "MWST Konvertierung 2024");
    EXPECT_EQ(Frame().StatusPaneText(0), "OK");
    EXPECT_EQ(Frame().StatusPaneText(1), "Kein Mandant geöffnet");
    EXPECT_EQ(Frame().StatusPaneText(2), "");
    // Each pane is its text in a frame with a little room, so that the panes stand apart.
    EXPECT_GT(Frame().StatusPaneChrome(), 0);
    EXPECT_EQ(Frame().StatusPaneWidth(0), TextWidth("OK") + Frame().StatusPaneChrome());
    EXPECT_EQ(Frame().StatusPaneWidth(1), TextWidth("Kein Mandant geöffnet") + Frame().StatusPaneChrome());
    for (int pane = 0; pane < 3; ++pane) {
        auto* label = Frame().statusBar()->findChild<QLabel*>(QStringLiteral("pane%1").arg(pane));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->frameShape(), QFrame::Panel) << pane;
        EXPECT_GT(label->frameWidth(), 0) << pane;
    }
}

TEST_F(StatusBar, FrenchPanes) {
    WriteSettings("[Culture]\nUICulture=fr-CH\n");
    Start();
    EXPECT_EQ(Frame().GetWindowText(), "TVA conversion 2024");
    EXPECT_EQ(Frame().StatusPaneText(1), "Aucun mandant ouvert");
}

TEST_F(StatusBar, OpenMandateShowsNameAndDirectoryThenCloseRestores) {
    Start();
    const std::string dir = OpenTestMandate("Bäckerei Müller AG");
    Frame().UpdateStatusbar();
    EXPECT_EQ(Frame().StatusPaneText(1), "Bäckerei Müller AG");
    EXPECT_EQ(Frame().StatusPaneText(2), dir);
    EXPECT_EQ(Frame().StatusPaneWidth(1), TextWidth("Bäckerei Müller AG") + Frame().StatusPaneChrome());
    Frame().SetWindowText("MWST Konvertierung 2024 - Bäckerei Müller AG");
    Command(ID_MAN_CLOSE);
    EXPECT_FALSE(app->GetMandate()->IsMandantOpen());
    EXPECT_EQ(Frame().GetWindowText(), "MWST Konvertierung 2024");
    EXPECT_EQ(Frame().StatusPaneText(1), "Kein Mandant geöffnet");
    EXPECT_EQ(Frame().StatusPaneText(2), "");
}

TEST_F(StatusBar, ClosingTheWindowClosesTheMandateAndItsExclusiveAccess) {
    Start();
    const std::string dir = OpenTestMandate("Muster AG");
    ASSERT_EQ(Frame().Session().Exclusive().OpenExclusive(), 0);
    ASSERT_TRUE(MIniSetHelper::IsGlobalBtrieveFileInstanceOpen());
    Frame().close();
    EXPECT_FALSE(app->GetMandate()->IsMandantOpen());
    EXPECT_FALSE(MIniSetHelper::IsGlobalBtrieveFileInstanceOpen());
    EXPECT_FALSE(Frame().IsWindowAlive());
    // Another user can take the mandate exclusively now.
    Mandate other(0);
    ASSERT_EQ(other.OpenMandateFiles(dir, 1, true), 0);
    MIniSetHelper helper(&other, false);
    EXPECT_EQ(helper.OpenExclusive(), 0);
    helper.Close();
    other.CloseMandateFiles();
    EXPECT_TRUE(seam.boxes.empty()) << "no save question";
}

}  // namespace
