// Each command's enabled state follows its update rule at all times.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "app/CTheList.h"
#include "pendra/MIniSetHelper.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "res/Resource.h"
#include "tests/support/AppFixture.h"

namespace {

const unsigned kConversionCommands[] = {ID_NEW_KEYS,        ID_NEW_KEYS_REVERSE, ID_UPDATE_ACCOUNTS,
                                        ID_UNDO_UPDATE_ACCOUNTS, ID_FORM2018, ID_FORM2024,
                                        ID_REMOVE_KEYS};

class UpdateRules : public AppFixture {
protected:
    void OpenTestMandate() {
        const std::string dir = TempPath("m1");
        MandateCreateOptions options;
        options.name = "Muster AG";
        ASSERT_EQ(CreateMandate(dir, options), 0);
        ASSERT_EQ(app->GetMandate()->OpenMandateFiles(dir, 1, true), 0);
    }
    void FillList(int rows) {
        for (int i = 0; i < rows; ++i) app->GetListView()->AddItem(i, 0, "/d/" + std::to_string(i));
    }
};

TEST_F(UpdateRules, MarkingCommandsAreDisabledWhileTheLogIsShown) {
    Start();
    FillList(3);
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 0);
    EXPECT_FALSE(Enabled(ID_MARKALL));
    EXPECT_FALSE(Enabled(ID_MARKNONE));
    // Ctrl+A reaches the command, which does nothing while it is disabled.
    QApplication::setActiveWindow(&Frame());
    QTest::keyClick(&Frame(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(app->GetListView()->GetSelectedCount(), 0);
}

TEST_F(UpdateRules, MarkingFollowsTheSelectionOfTheShownList) {
    Start();
    app->SwitchView(1);
    EXPECT_FALSE(Enabled(ID_MARKALL)) << "no rows";
    EXPECT_FALSE(Enabled(ID_MARKNONE)) << "no rows";
    FillList(3);
    CTheList* list = app->GetListView();
    list->SetSelected(0, true);
    list->SetSelected(2, true);
    EXPECT_TRUE(Enabled(ID_MARKALL));
    EXPECT_TRUE(Enabled(ID_MARKNONE));
    Command(ID_MARKALL);
    EXPECT_EQ(list->GetSelectedCount(), 3);
    EXPECT_FALSE(Enabled(ID_MARKALL));
    Command(ID_MARKNONE);
    EXPECT_EQ(list->GetSelectedCount(), 0);
    EXPECT_FALSE(Enabled(ID_MARKNONE));
}

TEST_F(UpdateRules, ViewCommandsAreDisabledForTheViewShown) {
    Start();
    EXPECT_FALSE(Enabled(ID_EDIT_VIEW));
    EXPECT_TRUE(Enabled(ID_LIST_VIEW));
    Command(ID_LIST_VIEW);
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 1);
    EXPECT_TRUE(Enabled(ID_EDIT_VIEW));
    EXPECT_FALSE(Enabled(ID_LIST_VIEW));
    Command(ID_EDIT_VIEW);
    EXPECT_EQ(app->GetMainFrame()->CurrentView(), 0);
}

TEST_F(UpdateRules, ConversionCommandsNeedAnOpenMandateOrASelectedRowInTheShownList) {
    Start();
    for (unsigned id : kConversionCommands) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(ID_SHOWKEYS));
    EXPECT_FALSE(Enabled(ID_MAN_CLOSE));

    FillList(2);
    app->GetListView()->SetSelected(1, true);
    for (unsigned id : kConversionCommands) EXPECT_FALSE(Enabled(id)) << "list hidden " << id;
    app->SwitchView(1);
    for (unsigned id : kConversionCommands) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(ID_SHOWKEYS));
    app->GetListView()->SetSelected(1, false);
    for (unsigned id : kConversionCommands) EXPECT_FALSE(Enabled(id)) << "nothing selected " << id;

    OpenTestMandate();
    for (unsigned id : kConversionCommands) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(ID_SHOWKEYS));
    EXPECT_TRUE(Enabled(ID_MAN_CLOSE));
}

TEST_F(UpdateRules, SearchCommandsFollowTheSearchFlag) {
    Start();
    EXPECT_TRUE(Enabled(ID_SEARCH));
    EXPECT_FALSE(Enabled(ID_BREAK_SEARCH));
    app->SetSearchRunning(true);
    EXPECT_FALSE(Enabled(ID_SEARCH));
    EXPECT_TRUE(Enabled(ID_BREAK_SEARCH));
    // Everything else keeps its own rule during a search.
    EXPECT_TRUE(Enabled(ID_MAN_INSERT));
    EXPECT_TRUE(Enabled(ID_MAN_OPEN));
    app->SetSearchRunning(false);
}

TEST_F(UpdateRules, AlwaysEnabledCommands) {
    Start();
    for (unsigned id : {ID_MAN_OPEN, ID_MAN_INSERT, ID_MANDANT_CLEARLIST, ID_MANDANT_PRINTLOG,
                        ID_MANDANT_CLEARLOG, ID_APP_EXIT, ID_HILFETHEMEN, ID_APP_ABOUT,
                        ID_HELP_FINDER, ID_CONTEXT_HELP})
        EXPECT_TRUE(Enabled(id)) << id;
}

TEST_F(UpdateRules, MenuActionsTakeTheirStateBeforeAMenuOpens) {
    Start();
    Frame().UpdateCommandStates();
    EXPECT_FALSE(Frame().CommandAction(ID_MAN_CLOSE)->isEnabled());
    OpenTestMandate();
    Frame().UpdateCommandStates();
    EXPECT_TRUE(Frame().CommandAction(ID_MAN_CLOSE)->isEnabled());
}

TEST_F(UpdateRules, AltEnterReachesTheOverviewCommand) {
    Start();
    std::vector<unsigned> reached;
    Frame().SetCommandObserver([&](unsigned id) { reached.push_back(id); });
    QApplication::setActiveWindow(&Frame());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
    // The overview is disabled without a mandate; only its arrival is checked here.
    Frame().CommandAction(ID_SHOWKEYS)->setEnabled(true);
    QTest::keyClick(&Frame(), Qt::Key_Return, Qt::AltModifier);
    ASSERT_FALSE(reached.empty());
    EXPECT_EQ(reached.back(), ID_SHOWKEYS);
    EXPECT_TRUE(seam.boxes.empty()) << "disabled: the command did not run";
}

}  // namespace

namespace {

class ListAccelerators : public AppFixture {};

TEST_F(ListAccelerators, AltEnterWorksWhileTheListHasTheFocus) {
    Start();
    app->GetListView()->AddItem(0, 0, "/d/0");
    app->SwitchView(1);
    app->GetListView()->SetSelected(0, true);
    std::vector<unsigned> reached;
    Frame().SetCommandObserver([&](unsigned id) { reached.push_back(id); });
    QApplication::setActiveWindow(&Frame());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
    QWidget* tree = app->GetListView()->Widget();
    tree->setFocus();
    Frame().UpdateCommandStates();
    // Disabled here so that the overview does not open; its arrival is what counts.
    Frame().SetCommandObserver([&](unsigned id) { reached.push_back(id); });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::AltModifier);
    ASSERT_FALSE(reached.empty());
    EXPECT_EQ(reached.back(), ID_SHOWKEYS);
}

}  // namespace
