// The window's choice from a list (the backups a restore offers): the user
// reads each line whole and the chosen line's index comes back.
#include <gtest/gtest.h>

#include <QInputDialog>
#include <QListView>
#include <QScrollBar>

#include "framework/QtUiSeam.h"
#include "tests/mandate/AppMandates.h"
#include "tests/support/AppFixture.h"

namespace {

class ChoiceDialog : public AppFixture {};

TEST_F(ChoiceDialog, LongLinesAreShownWholeAndTheChosenOneIsAnswered) {
    WriteSettings("[Culture]\nUICulture=de-CH\n");
    Start();
    const std::string longLine =
        "2026-12-09 18:55:23    Neue Steuerschlüssel einfügen    "
        "120123456 Bytes    (20261209-185523-461)";
    ChoiceRequest request{
        "Sicherheitskopien des Mandanten /daten/mandanten/baeckerei-mueller:",
        "Sicherheitskopie zurückladen",
        {"2026-12-09 17:51:22    Konti anpassen    60672 Bytes    (20261209-175122-914)",
         longLine}};
    bool wholeLines = false;
    apptest::WhenModalShown<QInputDialog>([&wholeLines](QInputDialog& dialog) {
        QListView* list = dialog.findChild<QListView*>();
        ASSERT_NE(list, nullptr);
        const int needed =
            list->fontMetrics().horizontalAdvance(list->model()->index(1, 0).data().toString());
        wholeLines =
            list->viewport()->width() >= needed && list->horizontalScrollBar()->maximum() == 0;
        list->setCurrentIndex(list->model()->index(1, 0));
        dialog.accept();
    });
    QtUiSeam qtSeam;
    const std::optional<std::size_t> chosen = qtSeam.ChooseItem(request);
    EXPECT_TRUE(wholeLines) << "no line is cut off";
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, 1u);
}

TEST_F(ChoiceDialog, CancelledOrEmptyAnswersNothing) {
    Start();
    apptest::WhenModalShown<QInputDialog>([](QInputDialog& dialog) { dialog.reject(); });
    QtUiSeam qtSeam;
    EXPECT_FALSE(qtSeam.ChooseItem({"?", "MWST", {"eins", "zwei"}}).has_value());
    EXPECT_FALSE(qtSeam.ChooseItem({"?", "MWST", {}}).has_value())
        << "nothing to choose: no dialog";
}

}  // namespace
