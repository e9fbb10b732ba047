#include "base/Format.h"

#include <gtest/gtest.h>

TEST(Format, StringsAndNumbers) {
    EXPECT_EQ(Format("Konto %s: %s mit %s ersetzt\r\n", std::string("1000"), "VSN77", std::string("VSN81")),
              "Konto 1000: VSN77 mit VSN81 ersetzt\r\n");
    EXPECT_EQ(Format("Konvertierungslog Seite %d.", 12), "Konvertierungslog Seite 12.");
    EXPECT_EQ(Format("%g", 7.7), "7.7");
}

TEST(Format, TextWithoutDirectivesAndLongResults) {
    EXPECT_EQ(Format(">Ende \"Steuerschlüssel einfügen\" -> gesperrt\r\n\r\n"),
              ">Ende \"Steuerschlüssel einfügen\" -> gesperrt\r\n\r\n");
    const std::string longText(5000, 'x');
    EXPECT_EQ(Format("[%s]", longText), "[" + longText + "]");
    EXPECT_EQ(Format(""), "");
}
