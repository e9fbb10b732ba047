// "Log speichern...": the log as UTF-8 text or PDF, through the save dialog.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <fstream>
#include <sstream>

#include "app/CTheView.h"
#include "base/Format.h"
#include "core/Strings.h"
#include "res/Resource.h"
#include "tests/mandate/AppMandates.h"
#include "tests/support/AppFixture.h"

namespace {

// What the user types into the dialog's file name field.
void TypeFileName(QFileDialog& dialog, const std::string& path) {
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(QString::fromStdString(path));
}

class SaveLog : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        Start();
        app->GetLogView()->AppendLine(">Beginn \"Steuerschlüssel einfügen\" für Mandant /d/Bäckerei\r\n");
        app->GetLogView()->AppendLine("VSN81 wurde eingefügt\r\n");
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
};

}  // namespace

TEST_F(SaveLog, TextIsTheLogExactlyInUtf8) {
    const std::string path = TempPath("log.txt");
    std::string error;
    ASSERT_TRUE(app->SaveLog(path, false, error)) << error;
    EXPECT_EQ(Read(path), Log());
    EXPECT_NE(Read(path).find("Steuerschlüssel"), std::string::npos);
}

TEST_F(SaveLog, PdfHoldsThePrintedPages) {
    const std::string path = TempPath("log.pdf");
    std::string error;
    ASSERT_TRUE(app->SaveLog(path, true, error)) << error;
    const std::string pdf = Read(path);
    ASSERT_GT(pdf.size(), 100u);
    EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
}

TEST_F(SaveLog, AFileThatCannotBeWrittenIsReportedAndNothingIsLeft) {
    const std::string path = TempPath("missing/folder/log.txt");
    std::string error;
    EXPECT_FALSE(app->SaveLog(path, false, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    // Through the command: a box says so, the log stays.
    apptest::WhenModalShown<QFileDialog>([&path](QFileDialog& dialog) {
        TypeFileName(dialog, path);
        static_cast<QDialog&>(dialog).accept();
    });
    const std::string before = Log();
    Command(ID_MANDANT_SAVELOG);
    ASSERT_EQ(seam.boxes.size(), 1u);
    EXPECT_NE(seam.boxes[0].text.find(path), std::string::npos);
    EXPECT_EQ(Log(), before);
}

TEST_F(SaveLog, TheCommandSavesWhereTheDialogSays) {
    const std::string path = TempPath("gespeichert.txt");
    QString title;
    QStringList filters;
    apptest::WhenModalShown<QFileDialog>([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        filters = dialog.nameFilters();
        TypeFileName(dialog, path);
        static_cast<QDialog&>(dialog).accept();
    });
    Command(ID_MANDANT_SAVELOG);
    EXPECT_EQ(title.toStdString(), "Log speichern");
    EXPECT_EQ(filters.size(), 2);
    EXPECT_EQ(Read(path), Log());
    EXPECT_TRUE(seam.boxes.empty());
}

TEST_F(SaveLog, TheMenuOffersItNextToPrinting) {
    EXPECT_TRUE(Enabled(ID_MANDANT_SAVELOG));
    const auto& menu = Resources(Language::German).menu.front().items;
    for (std::size_t i = 0; i + 1 < menu.size(); ++i)
        if (menu[i].id == ID_MANDANT_PRINTLOG) {
            EXPECT_EQ(menu[i + 1].id, ID_MANDANT_SAVELOG);
        }
    const auto& french = Resources(Language::French).menu.front().items;
    bool found = false;
    for (const auto& item : french) found = found || (item.id == ID_MANDANT_SAVELOG && item.text == "En&registrer le log...");
    EXPECT_TRUE(found);
}
