// The menus, toolbar and accelerators that were built match the resources.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QToolBar>
#include <set>

#include "core/Strings.h"
#include "res/Resource.h"
#include "res/ResourceData.h"
#include "tests/support/AppFixture.h"

namespace {

struct ShownItem {
    unsigned id;
    QString text;
};

std::vector<std::vector<ShownItem>> MenusOf(CMainFrame& frame, QStringList& titles) {
    std::vector<std::vector<ShownItem>> menus;
    for (QAction* top : frame.menuBar()->actions()) {
        titles << top->text();
        std::vector<ShownItem> items;
        for (QAction* a : top->menu()->actions()) {
            const unsigned id = a->isSeparator() ? 0 : a->objectName().mid(8).toUInt();
            items.push_back({id, a->isSeparator() ? QString() : a->text()});
        }
        menus.push_back(items);
    }
    return menus;
}

class CommandTable : public AppFixture {};

TEST_F(CommandTable, GermanMenuAsTheResourcesGiveIt) {
    Start();
    QStringList titles;
    const auto menus = MenusOf(Frame(), titles);
    EXPECT_EQ(titles, (QStringList{"&Mandant", "&Ansichten", "&Konvertierung", "&?"}));
    const auto& expected = Resources(Language::German).menu;
    ASSERT_EQ(menus.size(), expected.size());
    for (std::size_t m = 0; m < menus.size(); ++m) {
        ASSERT_EQ(menus[m].size(), expected[m].items.size()) << "menu " << m;
        for (std::size_t i = 0; i < menus[m].size(); ++i) {
            EXPECT_EQ(menus[m][i].id, expected[m].items[i].id);
            EXPECT_EQ(menus[m][i].text.toStdString(), expected[m].items[i].text);
        }
    }
    // Spot checks of the texts with their mnemonics and shortcut texts.
    EXPECT_EQ(menus[0][0].text, QString::fromUtf8("Ö&ffnen...\tStrg+O"));
    EXPECT_EQ(menus[2][0].text, QString::fromUtf8("&Steuerschlüssel anzeigen"));
}

TEST_F(CommandTable, SeparatorsStandWhereTheTableSaysAndCommandsInOrder) {
    Start();
    QStringList titles;
    const auto menus = MenusOf(Frame(), titles);
    auto ids = [](const std::vector<ShownItem>& items) {
        std::vector<unsigned> out;
        for (const auto& i : items) out.push_back(i.id);
        return out;
    };
    // 32841 "Sicherheitskopie zurückladen...", 32830 "Protokoll speichern...", 32840 "Probelauf".
    EXPECT_EQ(ids(menus[0]), (std::vector<unsigned>{32773, 32774, 32841, 32798, 32799, 32800, 0, 32812, 32801,
                                                     32802, 0, 32813, 32830, 32814, 0, 57665}));
    EXPECT_EQ(ids(menus[1]), (std::vector<unsigned>{32796, 32797}));
    EXPECT_EQ(ids(menus[2]), (std::vector<unsigned>{32803, 0, 32793, 32806, 0, 32809, 32811, 0,
                                                     32817, 32815, 0, 32816, 0, 32840}));
    EXPECT_EQ(ids(menus[3]), (std::vector<unsigned>{32790, 57664}));
}

TEST_F(CommandTable, FrenchMenuTitles) {
    WriteSettings("[Culture]\nUICulture=fr-CH\n");
    Start();
    QStringList titles;
    const auto menus = MenusOf(Frame(), titles);
    EXPECT_EQ(titles, (QStringList{"&Mandat", "&Vues", "&Conversion", "&?"}));
    EXPECT_EQ(menus[0][0].text, QString::fromUtf8("&Ouvrir mandat...\tCtrl+O"));
    EXPECT_EQ(menus[3][1].text, QString::fromUtf8("&Info de TVA conv..."));
}

TEST_F(CommandTable, ToolbarButtonsInOrder) {
    Start();
    std::vector<unsigned> ids;
    for (QAction* a : Frame().ToolBar()->actions())
        ids.push_back(a->isSeparator() ? 0 : a->objectName().mid(8).toUInt());
    EXPECT_EQ(ids, (std::vector<unsigned>{32773, 32774, 0, 32813, 0, 32803}));
    for (QAction* a : Frame().ToolBar()->actions()) {
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
        }
    }
    EXPECT_EQ(Frame().ToolBar()->iconSize(), QSize(16, 15));
}

// On a screen with two or three device pixels per point the icons are drawn
// from their larger renderings, not blown up from 16 pixels.
TEST_F(CommandTable, IconsHaveLargerRenderingsForDenseScreens) {
    Start();
    for (QAction* a : Frame().ToolBar()->actions()) {
        if (a->isSeparator()) continue;
        const QList<QSize> sizes = a->icon().availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(48, 48))) << a->objectName().toStdString();
        EXPECT_GE(a->icon().pixmap(QSize(16, 15), 2.0).width(), 30) << "device pixels at twice the density";
    }
    const QList<QSize> appSizes = QApplication::windowIcon().availableSizes();
    EXPECT_TRUE(appSizes.contains(QSize(256, 256))) << "the application icon's largest rendering";
}

TEST_F(CommandTable, AcceleratorsAreBoundToTheirCommands) {
    Start();
    auto keysOf = [&](unsigned id) { return Frame().CommandAction(id)->shortcuts(); };
    EXPECT_TRUE(keysOf(ID_MARKALL).contains(QKeySequence("Ctrl+A")));
    EXPECT_TRUE(keysOf(ID_MAN_OPEN).contains(QKeySequence("Ctrl+O")));
    EXPECT_TRUE(keysOf(ID_HELP_FINDER).contains(QKeySequence("F1")));
    EXPECT_TRUE(keysOf(ID_CONTEXT_HELP).contains(QKeySequence("Shift+F1")));
    EXPECT_TRUE(keysOf(ID_SHOWKEYS).contains(QKeySequence(Qt::ALT | Qt::Key_Return)));
    EXPECT_TRUE(keysOf(ID_SHOWKEYS).contains(QKeySequence(Qt::ALT | Qt::Key_Enter)));
    EXPECT_TRUE(keysOf(ID_MANDANT_SAVELOG).contains(QKeySequence("Ctrl+S")));
    EXPECT_TRUE(keysOf(ID_MANDANT_PRINTLOG).contains(QKeySequence("Ctrl+P")));
    EXPECT_TRUE(keysOf(ID_APP_EXIT).contains(QKeySequence("Ctrl+Q")));
}

TEST_F(CommandTable, StatusPromptBeforeNewlineTooltipAfterIt) {
    Start();
    QAction* open = Frame().CommandAction(ID_MAN_OPEN);
    EXPECT_EQ(open->statusTip(), QString::fromUtf8("Öffnet einen Mandaten und erstellt eine Sicherheitskopie"));
    EXPECT_EQ(open->toolTip(), QString::fromUtf8("Öffnen"));
    // Commands without a prompt string have none.
    EXPECT_TRUE(Frame().CommandAction(ID_MANDANT_PRINTLOG)->statusTip().isEmpty());
    EXPECT_EQ(Frame().CommandAction(ID_HILFETHEMEN)->statusTip(), QString::fromUtf8("Zeigt die Online-Hilfe an"));
}

TEST(Resources, BothLanguagesCarryTheSameIdsAndParseCleanly) {
    const auto& de = Resources(Language::German);
    const auto& fr = Resources(Language::French);
    EXPECT_TRUE(de.errors.empty()) << de.errors.front();
    EXPECT_TRUE(fr.errors.empty()) << fr.errors.front();
    std::set<int> deIds, frIds;
    for (const auto& [id, text] : de.strings) deIds.insert(id);
    for (const auto& [id, text] : fr.strings) frIds.insert(id);
    EXPECT_EQ(deIds, frIds);
    ASSERT_EQ(de.menu.size(), fr.menu.size());
    for (std::size_t m = 0; m < de.menu.size(); ++m) {
        ASSERT_EQ(de.menu[m].items.size(), fr.menu[m].items.size());
        for (std::size_t i = 0; i < de.menu[m].items.size(); ++i)
            EXPECT_EQ(de.menu[m].items[i].id, fr.menu[m].items[i].id);
    }
}

TEST(Resources, EveryIdTheShellUsesExistsInBothLanguages) {
    const int used[] = {IDR_MAINFRAME, IDS_STATUS_OK, IDS_NO_MANDATE, IDS_TITLE,
                        IDS_HELP_CAPTION, IDS_COLUMN_DIRECTORY, IDS_COLUMN_NAME, IDS_ERROR_CAPTION};
    for (Language lang : {Language::German, Language::French})
        for (int id : used) EXPECT_TRUE(Resources(lang).strings.count(id)) << id;
}

TEST(Resources, ColumnHeadersKeepTheirBlanks) {
    const auto& de = Resources(Language::German).strings;
    EXPECT_EQ(de.at(IDS_COLUMN_DIRECTORY), "Verzeichnis" + std::string(42, ' '));
    EXPECT_EQ(de.at(IDS_COLUMN_NAME), "Name" + std::string(30, ' '));
    const auto& fr = Resources(Language::French).strings;
    EXPECT_EQ(fr.at(IDS_COLUMN_DIRECTORY), "Répertoire" + std::string(42, ' '));
    EXPECT_EQ(fr.at(IDS_COLUMN_NAME), "Nom" + std::string(30, ' '));
}

TEST(Resources, MenuParserReportsOddLines) {
    std::vector<std::string> errors;
    const auto menu = ParseMenu("ITEM 1 \"x\"\nPOPUP \"&A\"\nITEM x \"y\"\nITEM 5 \"unterminated\nBOGUS\nITEM 7 \"ok\"\nEND\n",
                                errors);
    ASSERT_EQ(menu.size(), 1u);
    ASSERT_EQ(menu[0].items.size(), 1u);
    EXPECT_EQ(menu[0].items[0].id, 7u);
    EXPECT_EQ(errors.size(), 4u);
}

}  // namespace
