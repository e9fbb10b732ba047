#include "base/Windows1252.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace win1252;

namespace {

std::string Byte(unsigned char b) { return std::string(1, static_cast<char>(b)); }

const std::vector<unsigned char> kUndefined = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool IsUndefined(unsigned char b) {
    for (unsigned char u : kUndefined)
        if (u == b) return true;
    return false;
}

}  // namespace

// --- The code page --------------------------------------------------------

TEST(Windows1252, EveryDefinedByteRoundTripsThroughUtf8) {
    for (int b = 1; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        if (IsUndefined(byte)) {
            EXPECT_FALSE(ToCodePoint(byte)) << b;
            continue;
        }
        const std::string utf8 = ToUtf8(Byte(byte));
        EXPECT_TRUE(IsValidUtf8(utf8)) << b;
        EXPECT_EQ(FromUtf8(utf8), Byte(byte)) << b;
        EXPECT_EQ(CharacterCount(utf8), 1u) << b;
    }
}

TEST(Windows1252, TheHighControlRangeIsWindowsNotLatin1) {
    EXPECT_EQ(ToUtf8("\x80"), "€");
    EXPECT_EQ(ToUtf8("\x8A\x8C\x8E\x9F"), "ŠŒŽŸ");
    EXPECT_EQ(ToUtf8("\x9A\x9C\x9E\xFF"), "šœžÿ");
    EXPECT_EQ(ToUtf8("\x84\x93\x94\x96"), "„“”–");
    EXPECT_EQ(FromUtf8("€"), "\x80");
    EXPECT_FALSE(FromUtf8("\xC2\x80")) << "U+0080 is no character of Windows-1252";
}

TEST(Windows1252, UndefinedBytesAreReplacedOrReported) {
    EXPECT_EQ(ToUtf8("a\x81z"), "a\xEF\xBF\xBDz");
    std::string out;
    std::size_t bad = 99;
    EXPECT_FALSE(ToUtf8("ab\x9D", out, bad));
    EXPECT_EQ(bad, 2u);
    EXPECT_TRUE(ToUtf8("NEU\xC4\xC4" "1", out, bad));
    EXPECT_EQ(out, "NEUÄÄ1");
}

TEST(Windows1252, CharactersOutsideTheCodePageHaveNoBytes) {
    EXPECT_FALSE(FromUtf8("Ω"));
    EXPECT_FALSE(FromUtf8("AB→"));
    EXPECT_FALSE(FromUtf8("😀"));
    EXPECT_FALSE(FromUtf8("\xC3")) << "no UTF-8";
    EXPECT_FALSE(IsRepresentable("ĀB"));
    EXPECT_TRUE(IsRepresentable("NEUÄÄ1"));
    EXPECT_EQ(FromUtf8("NEUÄÄ1"), "NEU\xC4\xC4" "1");
    EXPECT_EQ(FromUtf8(""), "");
}

// --- Files from Windows editors (formerly taxkeys' DecodeWindowsText) ------

TEST(DecodeWindowsText, ValidUtf8IsKept) {
    EXPECT_EQ(DecodeWindowsText("Grüezi €"), "Grüezi €");
    EXPECT_EQ(DecodeWindowsText("\xEF\xBB\xBFx"), "x");
}

TEST(DecodeWindowsText, Windows1252IsConverted) {
    EXPECT_EQ(DecodeWindowsText("Gr\xFC" "ezi \x80"), "Grüezi €");
    EXPECT_EQ(DecodeWindowsText("\x81"), "\xEF\xBF\xBD") << "undefined byte";
}

TEST(DecodeWindowsText, MalformedSequencesAreNotUtf8) {
    EXPECT_FALSE(IsValidUtf8("\xC3"));          // cut short
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF8\x88\x80\x80\x80"));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
}

// The checking form, as mwst-mandant reads its input (formerly its TextEncoding).
TEST(DecodeWindowsText, CheckingFormNamesTheFirstByteWithoutCharacter) {
    std::string out;
    std::size_t bad = 0;
    ASSERT_TRUE(DecodeWindowsText("\xEF\xBB\xBFk\xC3\xA4se", out, bad));
    EXPECT_EQ(out, "käse");
    ASSERT_TRUE(DecodeWindowsText("B\xE4" "ckerei \x80 M\xFCller\r\n", out, bad));
    EXPECT_EQ(out, "Bäckerei € Müller\r\n");
    EXPECT_FALSE(DecodeWindowsText("ok\nB\xE4\x8F", out, bad));
    EXPECT_EQ(bad, 5u);
}

// --- Characters ------------------------------------------------------------

TEST(Characters, CountedAndCutAsCharactersNotBytes) {
    EXPECT_EQ(CharacterCount("NEUÄÄ1"), 6u);
    EXPECT_EQ(CharacterCount("Œuvre€"), 6u);
    EXPECT_EQ(FirstCharacters("ABÄ77", 3), "ABÄ");
    EXPECT_EQ(FirstCharacters("ÄBCD", 3), "ÄBC");
    EXPECT_EQ(FirstCharacters("€", 0), "");
    EXPECT_EQ(FirstCharacters("AB", 3), "AB");
    EXPECT_EQ(FirstCharacters("A\xC3" "B", 2), "A\xC3") << "a stray byte is one character";
}

// --- Letter case -----------------------------------------------------------

struct CasePair {
    const char* upper;
    const char* lower;
};

class LetterPairs : public ::testing::TestWithParam<CasePair> {};

TEST_P(LetterPairs, FoldTogether) {
    const CasePair& pair = GetParam();
    EXPECT_TRUE(EqualIgnoringCase(pair.upper, pair.lower)) << pair.upper;
    EXPECT_TRUE(EqualIgnoringCase(std::string("X") + pair.lower + "1",
                                  std::string("x") + pair.upper + "1"));
    EXPECT_EQ(FoldCase(pair.upper), pair.lower);
    const unsigned char up = static_cast<unsigned char>(FromUtf8(pair.upper)->at(0));
    const unsigned char low = static_cast<unsigned char>(FromUtf8(pair.lower)->at(0));
    EXPECT_EQ(ToLower(up), low);
    EXPECT_EQ(ToUpper(low), up);
}

// Every letter pair of Windows-1252.
INSTANTIATE_TEST_SUITE_P(
    Windows1252, LetterPairs,
    ::testing::Values(
        CasePair{"A", "a"}, CasePair{"M", "m"}, CasePair{"Z", "z"}, CasePair{"Š", "š"},
        CasePair{"Œ", "œ"}, CasePair{"Ž", "ž"}, CasePair{"Ÿ", "ÿ"}, CasePair{"À", "à"},
        CasePair{"Á", "á"}, CasePair{"Â", "â"}, CasePair{"Ã", "ã"}, CasePair{"Ä", "ä"},
        CasePair{"Å", "å"}, CasePair{"Æ", "æ"}, CasePair{"Ç", "ç"}, CasePair{"È", "è"},
        CasePair{"É", "é"}, CasePair{"Ê", "ê"}, CasePair{"Ë", "ë"}, CasePair{"Ì", "ì"},
        CasePair{"Í", "í"}, CasePair{"Î", "î"}, CasePair{"Ï", "ï"}, CasePair{"Ð", "ð"},
        CasePair{"Ñ", "ñ"}, CasePair{"Ò", "ò"}, CasePair{"Ó", "ó"}, CasePair{"Ô", "ô"},
        CasePair{"Õ", "õ"}, CasePair{"Ö", "ö"}, CasePair{"Ø", "ø"}, CasePair{"Ù", "ù"},
        CasePair{"Ú", "ú"}, CasePair{"Û", "û"}, CasePair{"Ü", "ü"}, CasePair{"Ý", "ý"},
        CasePair{"Þ", "þ"}),
    [](const ::testing::TestParamInfo<CasePair>& param) { return "pair" + std::to_string(param.index); });

TEST(LetterCase, EveryByteHasAtMostOnePartner) {
    int pairs = 0;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const unsigned char lower = ToLower(byte);
        if (lower != byte) {
            ++pairs;
            EXPECT_EQ(ToUpper(lower), byte) << b;
        }
        EXPECT_EQ(ToLower(ToLower(byte)), lower) << b;
    }
    EXPECT_EQ(pairs, 26 + 4 + 30) << "A-Z, Š Œ Ž Ÿ, À-Þ without ×";
}

TEST(LetterCase, NonLettersAndLettersWithoutPartnerStay) {
    for (const char* text : {"×", "÷", "ß", "µ", "ƒ", "ª", "º", "€", "1", "_", "Ω"}) {
        EXPECT_EQ(FoldCase(text), text) << text;
    }
    EXPECT_FALSE(EqualIgnoringCase("×", "÷"));
    EXPECT_FALSE(EqualIgnoringCase("ß", "ẞ"));
    EXPECT_FALSE(EqualIgnoringCase("ÄB", "AB"));
    EXPECT_EQ(FoldCase("VSN81"), "vsn81");
    EXPECT_EQ(FoldCase("A\xC3" "B"), "a\xC3" "b") << "bytes that are no UTF-8 stay";
}
