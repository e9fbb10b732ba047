#include <gtest/gtest.h>

#include <sstream>

#include "core/ScriptedUiSeam.h"

TEST(UiSeam, DefaultButtonFollowsTheFlags) {
    EXPECT_EQ(DefaultButtonOf(MB_OK), IDOK);
    EXPECT_EQ(DefaultButtonOf(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(DefaultButtonOf(MB_ABORTRETRYIGNORE | MB_DEFBUTTON2), IDRETRY);
    EXPECT_EQ(DefaultButtonOf(MB_YESNO | MB_DEFBUTTON3), IDYES) << "out of range: the first";
    EXPECT_TRUE(BoxOffers(MB_ABORTRETRYIGNORE, IDIGNORE));
    EXPECT_FALSE(BoxOffers(MB_YESNO, IDOK));
}

TEST(UiSeam, ScriptedAnswersThenDefaultsAndRecords) {
    ScriptedUiSeam seam;
    std::ostringstream echo;
    seam.echo = &echo;
    seam.QueueAnswer(IDYES);
    EXPECT_EQ(seam.MessageBox({"Frage?", "T", MB_YESNO | MB_DEFBUTTON2}), IDYES);
    EXPECT_EQ(seam.MessageBox({"Frage 2?", "T", MB_YESNO | MB_DEFBUTTON2}), IDNO);
    ASSERT_EQ(seam.boxes.size(), 2u);
    EXPECT_EQ(seam.boxes[1].text, "Frage 2?");
    EXPECT_EQ(echo.str(), "Frage?\nFrage 2?\n");
    seam.QueueText("geheim");
    EXPECT_EQ(seam.InputText({"Passwort", "T", true}), "geheim");
    EXPECT_EQ(seam.InputText({"Passwort", "T", true}), std::nullopt);
    EXPECT_TRUE(seam.inputs[0].masked);
    EXPECT_EQ(seam.BrowseForFolder("/x"), std::nullopt);
    EXPECT_EQ(seam.folderRequests.at(0), "/x");
}
