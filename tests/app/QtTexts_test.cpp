// Qt's own texts follow the culture: standard buttons, the folder dialog, key
// names; and the about box's licences page speaks the program's language.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QKeySequence>
#include <QMessageBox>
#include <QTextBrowser>

#include "app/CAboutDlg.h"
#include "framework/QtUiSeam.h"
#include "tests/mandate/AppMandates.h"
#include "tests/support/AppFixture.h"

namespace {

class QtTexts : public AppFixture {
protected:
    void StartIn(const std::string& culture) {
        WriteSettings("[Culture]\nUICulture=" + culture + "\n");
        Start();
    }
    // The buttons of a yes/no box as the user reads them (mnemonics left out).
    QStringList YesNoButtons() {
        QtUiSeam qtSeam;
        QStringList texts;
        apptest::WhenModalShown<QMessageBox>([&texts](QMessageBox& box) {
            for (QAbstractButton* button : box.buttons()) texts << button->text().remove('&');
            box.reject();
        });
        qtSeam.MessageBox({"?", "MWST", MB_YESNO | MB_ICONQUESTION});
        texts.sort();
        return texts;
    }
    QString FolderDialogTitle() {
        QtUiSeam qtSeam;
        QString title;
        apptest::WhenModalShown<QFileDialog>([&title](QFileDialog& dialog) {
            title = dialog.windowTitle();
            dialog.reject();
        });
        qtSeam.BrowseForFolder(temp.path().toStdString());
        return title;
    }
};

}  // namespace

TEST_F(QtTexts, FrenchButtonsAndFolderDialog) {
    StartIn("fr-CH");
    EXPECT_EQ(YesNoButtons(), (QStringList{"Non", "Oui"}));
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder"), QStringLiteral("Dossier"));
    const QString title = FolderDialogTitle();
    EXPECT_FALSE(title.isEmpty());
    EXPECT_NE(title, QStringLiteral("Find Directory"));
    EXPECT_TRUE(title.contains(QStringLiteral("répertoire"), Qt::CaseInsensitive) ||
                title.contains(QStringLiteral("dossier"), Qt::CaseInsensitive))
        << title.toStdString();
    EXPECT_EQ(QKeySequence(Qt::ALT | Qt::Key_Return).toString(QKeySequence::NativeText),
              QString::fromUtf8("Alt+Entrée"));
}

TEST_F(QtTexts, GermanButtonsAndKeyNames) {
    StartIn("de-CH");
    EXPECT_EQ(YesNoButtons(), (QStringList{"Ja", "Nein"}));
    EXPECT_NE(FolderDialogTitle(), QStringLiteral("Find Directory"));
    const QString keys = QKeySequence(Qt::ALT | Qt::Key_Return).toString(QKeySequence::NativeText);
    EXPECT_EQ(keys, QStringLiteral("Alt+Eingabe"));
}

TEST_F(QtTexts, ASecondStartInTheOtherLanguageSwitchesQtsTexts) {
    StartIn("fr-CH");
    app->GetMainFrame()->close();
    app->ExitInstance();
    app.reset();
    StartIn("de-CH");
    EXPECT_EQ(YesNoButtons(), (QStringList{"Ja", "Nein"}));
}

TEST_F(QtTexts, LicencesPageInFrench) {
    StartIn("fr-CH");
    EXPECT_TRUE(LicenceText().contains(QStringLiteral("Ce programme utilise")));
    EXPECT_TRUE(LicenceText().contains(QStringLiteral("TVA conversion 2024")));
    EXPECT_FALSE(LicenceText().contains(QStringLiteral("This program")));
    CAboutDlg about;
    QString title;
    QString text;
    apptest::WhenModalShown<QDialog>([&](QDialog& page) {
        title = page.windowTitle();
        if (auto* browser = page.findChild<QTextBrowser*>()) text = browser->toPlainText();
        page.reject();
    });
    auto* licences = about.findChild<QAbstractButton*>(QStringLiteral("licences"));
    ASSERT_NE(licences, nullptr);
    licences->click();
    EXPECT_EQ(title, QStringLiteral("Licences"));
    EXPECT_TRUE(text.contains(QStringLiteral("domaine public"))) << text.toStdString();
}

TEST_F(QtTexts, LicencesPageInGerman) {
    StartIn("de-CH");
    EXPECT_TRUE(LicenceText().contains(QStringLiteral("Dieses Programm verwendet")));
    EXPECT_TRUE(LicenceText().contains(QStringLiteral("/usr/share/doc/")));
}
