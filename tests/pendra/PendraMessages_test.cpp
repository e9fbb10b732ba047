#include "pendra/PendraMessages.h"

#include <gtest/gtest.h>

#include "tests/pendra/MandateTestSupport.h"
#include "pendra/PendraStatus.h"
#include "base/StringTableFile.h"

extern const std::string_view embedded_pendra_de_txt;
extern const std::string_view embedded_pendra_fr_txt;

namespace {

class PendraMessagesTest : public ::testing::Test {
protected:
    ~PendraMessagesTest() override { SetPendraLanguage("de"); }
};

TEST_F(PendraMessagesTest, EmbeddedTablesParseCleanlyAndHaveTheSameIds) {
    StringTable de = ParseStringTable(embedded_pendra_de_txt);
    StringTable fr = ParseStringTable(embedded_pendra_fr_txt);
    EXPECT_TRUE(de.errors.empty());
    EXPECT_TRUE(fr.errors.empty());
    ASSERT_EQ(de.entries.size(), fr.entries.size());
    for (const auto& [id, text] : de.entries) EXPECT_TRUE(fr.entries.count(id)) << id;
}

TEST_F(PendraMessagesTest, FileCannotBeOpenedInGermanAndFrench) {
    EXPECT_EQ(PendraMessageText(5000, "/m/pendra.db#tax", 30),
              "Die Datei /m/pendra.db#tax kann nicht geöffnet werden (Status 30).");
    SetPendraLanguage("fr");
    EXPECT_EQ(PendraMessageText(5000, "/m/pendra.db#tax", 30),
              "Le fichier /m/pendra.db#tax ne peut pas être ouvert (statut 30).");
}

TEST_F(PendraMessagesTest, EveryStatusHasAText) {
    for (int status : {pendra::kIoError, pendra::kFileNotOpen, pendra::kKeyNotFound,
                       pendra::kDuplicateKey, pendra::kNoCurrentRecord, pendra::kEndOfFile,
                       pendra::kFileNotFound, pendra::kKeyTooLong, pendra::kNotADatabase,
                       pendra::kAccessDenied, pendra::kRecordLocked, pendra::kFileLocked,
                       pendra::kMandateHeldExclusively, pendra::kBadArgument,
                       pendra::kFormatTooOld, pendra::kNotWindows1252, pendra::kPathTooLong,
                       pendra::kServerUnreachable}) {
        for (const char* lang : {"de", "fr"}) {
            SetPendraLanguage(lang);
            EXPECT_EQ(PendraMessageText(PendraStatusMessageId(status)).find("Pendra message"),
                      std::string::npos)
                << lang << " " << status;
        }
    }
}

TEST_F(PendraMessagesTest, ShowErrorGoesThroughTheUiGiven) {
    testsupport::ScriptedUi ui;
    ShowError(ui, 5064);
    ShowError(ui, 5000, "x.db", 12);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0], "Das System kann nicht initialisiert werden.");
    EXPECT_EQ(ui.messages[1], "Die Datei x.db kann nicht geöffnet werden (Status 12).");
    EXPECT_EQ(ui.captions[0], "Datenbibliothek");
}

TEST_F(PendraMessagesTest, MissingArgumentsAreNeverReadFromNowhere) {
    // 5000 has %s and %d; shown without arguments the placeholders stay.
    EXPECT_EQ(PendraMessageText(5000), "Die Datei %s kann nicht geöffnet werden (Status %d).");
    EXPECT_EQ(PendraMessageText(424242), "Pendra message 424242");
}

struct FloatCase {
    double value;
    const char* format;
    const char* expected;
};

class FloatToAsciiTest : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FloatToAsciiTest, FormatsPrintfStyle) {
    EXPECT_EQ(FloatToAscii(GetParam().value, GetParam().format), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FloatToAsciiTest,
    ::testing::Values(FloatCase{7.7, "%g", "7.7"}, FloatCase{0.081 * 100, "%g", "8.1"},
                      FloatCase{2.5, "%.2f", "2.50"}, FloatCase{3.8, "%5.1f %%", "  3.8 %"},
                      FloatCase{1.077, "Faktor %g", "Faktor 1.077"},
                      // Anything but one floating conversion is refused, not guessed.
                      FloatCase{7.7, "%s", ""}, FloatCase{7.7, "%d", ""},
                      FloatCase{7.7, "%g %g", ""}, FloatCase{7.7, "kein Format", ""},
                      FloatCase{7.7, "%n", ""}));

}  // namespace
