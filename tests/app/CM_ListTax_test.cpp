// The tax key overview: rows, Ja/Nein, linked selection, opening rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <algorithm>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "app/CTheList.h"
#include "app/CTheView.h"
#include "res/Resource.h"
#include "app/CM_ListTax.h"
#include "mandate/MandateSession.h"
#include "rules/ConversionRules.h"
#include "tests/mandate/AppMandates.h"
#include "tests/support/AppFixture.h"

using apptest::Key;
using apptest::MakeMandate;
using apptest::MandateSpec;

namespace {

std::vector<std::string> RowTexts(QTreeWidget* list) {
    std::vector<std::string> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QStringList columns;
        for (int c = 0; c < list->columnCount(); ++c) columns << list->topLevelItem(i)->text(c);
        rows.push_back(columns.join('\t').toStdString());
    }
    return rows;
}

int SelectedRow(QTreeWidget* list) {
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first());
}

void ClickRow(QTreeWidget* list, int row) {
    const QRect rect = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

class Overview : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        Start();
    }
    std::string OpenWith(const std::vector<Key>& keys, const std::string& table = "") {
        MandateSpec spec;
        spec.keys = keys;
        const std::string dir = MakeMandate(TempPath("m"), spec);
        if (!table.empty()) std::ofstream(dir + "/quorvex.txt") << table;
        Frame().OpenMandate(dir);
        EXPECT_TRUE(app->GetMandate()->IsMandantOpen());
        return dir;
    }
    using Rows = std::vector<std::string>;
};

}  // namespace

TEST_F(Overview, ListsOldKeysAndTheirNewKeys) {
    const std::string dir = OpenWith({{"V25", 0.025f, false, "2201"},
                                      {"BEH37", 0.037f, true, "2202"},
                                      {"VSN77", 0.077f, true, "2200"},
                                      {"UST8", 0.08f, true, ""},
                                      {"VSN81", 0.081f, true, ""},
                                      {"VSS24", 0.077f, true, ""},
                                      {"XVSS76", 0.077f, true, ""},
                                      {"NULL", 0.0f, true, ""}});
    CM_ListTax dialog(Frame().Session().Current(), *app->GetLogView());
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Steuerschlüssel für Mandant " + dir);
    EXPECT_EQ(RowTexts(dialog.LeftList()), (Rows{"BEH37\t3.7%\tnetto\t2202",
                                                 "V25\t2.5%\tbrutto\t2201",
                                                 "VSN77\t7.7%\tnetto\t2200"}));
    EXPECT_EQ(RowTexts(dialog.RightList()), (Rows{"BEH38\t3.8%\t   Nein",
                                                  "V26\t2.6%\t   Nein",
                                                  "VSN81\t8.1%\t   Ja"}));
    EXPECT_EQ(SelectedRow(dialog.LeftList()), 0) << "the first old key is selected";
}

TEST_F(Overview, TwoOldKeysWithTheSameNewIdShowNeinThenJa) {
    OpenWith({{"VSN7", 0.077f, true, ""}, {"VSN77", 0.077f, true, ""}});
    CM_ListTax dialog(Frame().Session().Current(), *app->GetLogView());
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(RowTexts(dialog.RightList()),
              (Rows{"VSN81\t8.1%\t   Nein", "VSN81\t8.1%\t   Ja"}));
}

TEST_F(Overview, AnIdInAnotherLetterCaseIsNotTheNewKeyAndTableEntriesWin) {
    OpenWith({{"A77", 0.077f, true, ""}, {"a81", 0.081f, true, ""}, {"B77", 0.077f, true, ""}},
             "B77 ==> NEU1\n");
    CM_ListTax dialog(Frame().Session().Current(), *app->GetLogView());
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(RowTexts(dialog.RightList()),
              (Rows{"A81\t8.1%\t   nicht konvertiert: A81 besteht nur als a81 (andere "
                    "Gross-/Kleinschreibung)",
                    "NEU1\t8.1%\t   Nein"}));
}

TEST_F(Overview, WithoutOldKeysBothListsAreEmpty) {
    OpenWith({{"UST81", 0.081f, true, ""}});
    CM_ListTax dialog(Frame().Session().Current(), *app->GetLogView());
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(dialog.LeftList()->topLevelItemCount(), 0);
    EXPECT_EQ(dialog.RightList()->topLevelItemCount(), 0);
    EXPECT_EQ(SelectedRow(dialog.LeftList()), -1);
}

TEST_F(Overview, SelectionIsLinkedBothWays) {
    OpenWith({{"A77", 0.077f, true, ""}, {"B77", 0.077f, true, ""}, {"C77", 0.077f, true, ""}});
    CM_ListTax dialog(Frame().Session().Current(), *app->GetLogView());
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ClickRow(dialog.LeftList(), 2);
    EXPECT_EQ(SelectedRow(dialog.RightList()), 2);
    ClickRow(dialog.RightList(), 1);
    EXPECT_EQ(SelectedRow(dialog.LeftList()), 1);
    EXPECT_EQ(SelectedRow(dialog.RightList()), 1);
}

TEST_F(Overview, ChangesNothingInTheMandate) {
    const std::string dir = OpenWith({{"VSN77", 0.077f, true, ""}});
    {
        CM_ListTax dialog(Frame().Session().Current(), *app->GetLogView());
        ASSERT_TRUE(dialog.OnInitDialog());
    }
    Mandate& mandate = *app->GetMandate();
    BFile file(&mandate);
    ASSERT_EQ(file.Open(mandate.GetTaxName(), BFile::kModeReadOnly), pendra::kOk);
    Tax key(&mandate);
    key.UseFile(&file);
    EXPECT_EQ(key.Read("VSN81"), pendra::kKeyNotFound);
    EXPECT_EQ(key.Read("VSN77"), pendra::kOk);
}

TEST_F(Overview, CommandOnTheOpenMandateRunsTheRealDialog) {
    OpenWith({{"VSN77", 0.077f, true, ""}});
    ASSERT_TRUE(Enabled(ID_SHOWKEYS));
    Rows left;
    std::string closeText;
    apptest::WhenModalShown<CM_ListTax>([&](CM_ListTax& dialog) {
        left = RowTexts(dialog.LeftList());
        auto* close = dialog.findChild<QPushButton*>("closeButton");
        closeText = close->text().toStdString();
        QTest::mouseClick(close, Qt::LeftButton);
    });
    Command(ID_SHOWKEYS);
    EXPECT_EQ(left, Rows{"VSN77\t7.7%\tnetto\t"});
    EXPECT_EQ(closeText, "Schliessen");
    EXPECT_TRUE(app->GetMandate()->IsMandantOpen()) << "the open mandate stays open";
}

TEST_F(Overview, CommandFromTheListUsesTheFocusedRowAndClosesAgain) {
    MandateSpec first;
    first.name = "Erste AG";
    first.keys = {{"A77", 0.077f, true, ""}};
    MandateSpec second;
    second.name = "Zweite AG";
    second.keys = {{"B77", 0.077f, true, ""}, {"C77", 0.077f, true, ""}};
    ASSERT_TRUE(app->AddMandate(MakeMandate(TempPath("a"), first)));
    ASSERT_TRUE(app->AddMandate(MakeMandate(TempPath("b"), second)));
    EXPECT_FALSE(Enabled(ID_SHOWKEYS));
    Command(ID_LIST_VIEW);
    app->GetListView()->SetSelected(0, true);
    app->GetListView()->SetFocusedItem(1);
    ASSERT_TRUE(Enabled(ID_SHOWKEYS));
    int rows = -1;
    apptest::WhenModalShown<CM_ListTax>([&](CM_ListTax& dialog) {
        rows = dialog.LeftList()->topLevelItemCount();
        dialog.reject();
    });
    Command(ID_SHOWKEYS);
    EXPECT_EQ(rows, 2) << "the focused row's mandate, not the selected one";
    EXPECT_FALSE(app->GetMandate()->IsMandantOpen());
}

TEST_F(Overview, UnopenableTaxFileShowsTheLibraryErrorAndNoDialog) {
    Mandate closed;
    CM_ListTax dialog(closed, *app->GetLogView());
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    ASSERT_EQ(seam.boxes.size(), 1u);
}

TEST_F(Overview, FrenchEntryTexts) {
    app->GetMainFrame()->close();
    app->ExitInstance();
    app.reset();
    WriteSettings("[Culture]\nUICulture=fr-CH\n");
    Start();
    OpenWith({{"A77", 0.077f, false, ""}, {"B77", 0.077f, true, ""}});
    CM_ListTax dialog(Frame().Session().Current(), *app->GetLogView());
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_EQ(RowTexts(dialog.LeftList()), (Rows{"A77\t7.7%\tbrut\t", "B77\t7.7%\tnet\t"}));
    EXPECT_EQ(RowTexts(dialog.RightList())[0], "A81\t8.1%\t   Non");
    EXPECT_EQ(dialog.windowTitle().toStdString().rfind("Clé TVA pour mandat ", 0), 0u);
}

namespace {

// Every text of `list`, headers included, fits its column with room for the
// view's margins: nothing is cut to "8.10…".
void ExpectColumnsFitTheirTexts(QTreeWidget* list) {
    const QFontMetrics metrics(list->font());
    constexpr int kMargins = 6;
    for (int c = 0; c < list->columnCount(); ++c) {
        int widest = QFontMetrics(list->header()->font()).horizontalAdvance(list->headerItem()->text(c));
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            widest = std::max(widest, metrics.horizontalAdvance(list->topLevelItem(i)->text(c)));
        EXPECT_GE(list->columnWidth(c), widest + kMargins)
            << list->objectName().toStdString() << " column " << c;
    }
}

class OverviewFrench : public Overview {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        WriteSettings("[Culture]\nUICulture=fr-CH\n");
        Start();
    }
};

}  // namespace

TEST_F(Overview, ColumnsAreWideEnoughForTheirWidestTextAndGrowWithTheDialog) {
    OpenWith({{"V25", 0.025f, false, "2201"}, {"BEH37", 0.037f, true, "220200"}, {"VSN77", 0.077f, true, "2200"}});
    CM_ListTax dialog(Frame().Session().Current(), *app->GetLogView());
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ExpectColumnsFitTheirTexts(dialog.LeftList());
    ExpectColumnsFitTheirTexts(dialog.RightList());
    EXPECT_TRUE(dialog.isSizeGripEnabled());
    const int lastColumn = dialog.RightList()->columnCount() - 1;
    const int before = dialog.RightList()->columnWidth(lastColumn);
    const int listBefore = dialog.RightList()->width();
    dialog.resize(dialog.width() + 120, dialog.height() + 40);
    QTest::qWait(50);
    EXPECT_GT(dialog.RightList()->width(), listBefore);
    EXPECT_GT(dialog.RightList()->columnWidth(lastColumn), before) << "the dialog grows, and so does the list";
}

TEST_F(OverviewFrench, ColumnsAreWideEnoughForTheFrenchHeadings) {
    OpenWith({{"VSN77", 0.077f, true, "2200"}});
    CM_ListTax dialog(Frame().Session().Current(), *app->GetLogView());
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.LeftList()->headerItem()->text(1).toStdString(), "Pourcent");
    ExpectColumnsFitTheirTexts(dialog.LeftList());
    ExpectColumnsFitTheirTexts(dialog.RightList());
}
