#include <gtest/gtest.h>

#include "taxkeys/TextDecoding.h"

TEST(TextDecoding, ValidUtf8IsKept) {
    EXPECT_EQ(DecodeWindowsText("Grüezi €"), "Grüezi €");
    EXPECT_EQ(DecodeWindowsText("\xEF\xBB\xBFx"), "x");
}

TEST(TextDecoding, Windows1252IsConverted) {
    EXPECT_EQ(DecodeWindowsText("Gr\xFC" "ezi \x80"), "Grüezi €");
    EXPECT_EQ(DecodeWindowsText("\x81"), "\xEF\xBF\xBD") << "undefined byte";
}

TEST(TextDecoding, MalformedSequencesAreNotUtf8) {
    EXPECT_FALSE(IsValidUtf8("\xC3"));          // cut short
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF8\x88\x80\x80\x80"));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
}
