// The formula transfer from a mandate's form workbook into a template: when it
// writes, what it carries over, the key exchange, and where the result goes.
#include <sys/stat.h>

#include <filesystem>

#include "formula/KeyPair.h"
#include "forms/MwstDummy2.h"
#include "tests/forms/FormsFixture.h"

namespace fs = std::filesystem;
using formstest::FileBytes;
using formstest::MappingCell;
using formstest::Row;
using formstest::Version;
using formstest::WriteForm;

namespace {

class Transfer : public FormsFixture {
protected:
    void SetUp() override {
        FormsFixture::SetUp();
        StartWithTemplates("");
        source = InTemplates("MWST2018eff.vts");
        target = InMandate("MWSTFORM.VTS");
    }

    int Run(int invert = 0) {
        dlg.m_sourceName = source;
        dlg.m_targetName = target;
        dlg.m_invert = invert;
        dlg.m_mandate = app->GetMandate();
        EXPECT_EQ(dlg.DoModal(), MwstDummy2::IDOK);
        return dlg.m_result;
    }

    static std::string Cell(const std::string& path, long row, long col) { return MappingCell(path, row, col); }

    MwstDummy2 dlg;
    std::string source, target;
};

TEST_F(Transfer, EqualVersionsSucceedAndTouchNothing) {
    OpenMandate();
    WriteForm(source, {{"Z1", "NEU", ""}}, "2018");
    WriteForm(target, {{"Z1", "ALT", ""}}, "2018");
    const std::string before = FileBytes(target);

    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(FileBytes(target), before);
}

TEST_F(Transfer, WithoutMandateWorkbookTheTemplateIsCopiedAsItIs) {
    OpenMandate();
    WriteForm(source, {{"Z1", "VSN77", ""}}, "2018");

    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(FileBytes(target), FileBytes(source));
    EXPECT_TRUE(dlg.m_failure.empty());
}

TEST_F(Transfer, UnreadableTemplateFailsAndWritesNothing) {
    OpenMandate();
    WriteForm(target, {{"Z1", "ALT", ""}}, "2018");
    const std::string before = FileBytes(target);

    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(FileBytes(target), before);
    EXPECT_NE(dlg.m_failure.find(source), std::string::npos) << dlg.m_failure;
}

TEST_F(Transfer, TargetFormulasReplaceTheTemplatesAndEmptyCellsBecomeZero) {
    OpenMandate();
    WriteForm(source, {{"Z302", "USN77", "USN77_ST"}, {"Z312", "USN25", "USN25_ST"}, {"Z342", "USN37", ""}},
              "2018");
    WriteForm(target, {{"Z303", "USN81+USN77", ""}, {"Z313", "", "USN26_ST"}}, "2024");

    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Version(target), "2018");
    EXPECT_EQ(Cell(target, 1, 1), "Z302") << "labels stay the template's";
    EXPECT_EQ(Cell(target, 1, 2), "USN81+USN77");
    EXPECT_EQ(Cell(target, 1, 3), "0") << "an empty cell becomes 0 where the template had a formula";
    EXPECT_EQ(Cell(target, 2, 2), "0");
    EXPECT_EQ(Cell(target, 2, 3), "USN26_ST");
    EXPECT_EQ(Cell(target, 3, 2), "USN37") << "rows below the mandate's last row keep the template's";
}

TEST_F(Transfer, TemplatesOfVersion2001And2024KeepTheirOwnFormulas) {
    OpenMandate();
    for (const char* version : {"2001", "2024"}) {
        WriteForm(source, {{"Z303", "USN81", "USN81_ST"}}, version);
        WriteForm(target, {{"Z302", "EIGENE", ""}}, "2018");

        EXPECT_EQ(Run(), 1) << version;
        EXPECT_EQ(Version(target), version);
        EXPECT_EQ(Cell(target, 1, 2), "USN81") << version;
        EXPECT_EQ(Cell(target, 1, 3), "USN81_ST") << version;
    }
}

TEST_F(Transfer, EmptyFirstLabelTransfersNothingButSavesTheTemplate) {
    OpenMandate();
    WriteForm(source, {{"Z302", "USN77", ""}}, "2018");
    WriteForm(target, {{"", "EIGENE", ""}, {"Z303", "EIGENE", ""}}, "2024");

    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Version(target), "2018");
    EXPECT_EQ(Cell(target, 1, 2), "USN77");
}

TEST_F(Transfer, InvertExchangesOldAndNewKeysOfTurnoverKeys) {
    // USN77 and USN25 book to an account of type 1, VSN77 to one of type 0:
    // only the first two are exchanged.
    OpenMandate({{"USN77", 0.077f, "2200"}, {"USN25", 0.025f, "2200"}, {"VSN77", 0.077f, "1170"}},
                {{"2200", 1}, {"1170", 0}});
    std::vector<std::string> pairs;
    app->GetTaxArray(pairs, 0);
    std::vector<std::string> oldIds, newIds;
    keypair::SplitAll(pairs, oldIds, newIds);
    ASSERT_EQ(oldIds.size(), 2u);

    WriteForm(source, {{"A", "", ""}, {"B", "", ""}, {"C", "", ""}}, "2018");
    WriteForm(target, {{"A", "USN81+USN77_ST+VSN81", "USN26+USN25"}, {"B", "TEMP0+TEMP1", ""}, {"C", "VSN77", ""}},
              "2024");

    EXPECT_EQ(Run(1), 1);
    EXPECT_EQ(Cell(target, 1, 2), "USN77+USN81_ST+VSN81");
    EXPECT_EQ(Cell(target, 1, 3), "USN25+USN26");
    EXPECT_EQ(Cell(target, 2, 2), newIds[0] + "+" + newIds[1]) << "a temporary name comes out as its pair's new id";
    EXPECT_EQ(Cell(target, 3, 2), "VSN77");
}

TEST_F(Transfer, WithoutInvertKeysStayAsTheyAre) {
    OpenMandate({{"USN77", 0.077f, "2200"}}, {{"2200", 1}});
    WriteForm(source, {{"A", "", ""}}, "2018");
    WriteForm(target, {{"A", "USN81+USN77", ""}}, "2024");

    EXPECT_EQ(Run(0), 1);
    EXPECT_EQ(Cell(target, 1, 2), "USN81+USN77");
}

TEST_F(Transfer, ResultAlwaysLandsInTheMandateDirectory) {
    OpenMandate();
    const std::string elsewhere = TempPath("anderswo");
    fs::create_directories(elsewhere);
    target = elsewhere + "/MWSTPAU.VTS";
    WriteForm(source, {{"Z1", "", ""}}, "2018");
    WriteForm(target, {{"Z1", "EIGENE", ""}}, "2024");
    const std::string before = FileBytes(target);

    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(FileBytes(target), before);
    EXPECT_EQ(Cell(InMandate("MWSTPAU.VTS"), 1, 2), "EIGENE");
    EXPECT_EQ(Version(InMandate("MWSTPAU.VTS")), "2018");
}

TEST_F(Transfer, DamagedMandateWorkbookFailsWithTheReasonAndStaysAsItWas) {
    OpenMandate();
    WriteForm(source, {{"Z1", "", ""}}, "2018");
    formstest::WriteFileBytes(target, "kein Arbeitsmappe");

    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(FileBytes(target), "kein Arbeitsmappe");
    EXPECT_NE(dlg.m_failure.find("Die Arbeitsmappe konnte nicht verarbeitet werden"), std::string::npos)
        << dlg.m_failure;
}

TEST_F(Transfer, WithoutOpenMandateNothingIsWritten) {
    WriteForm(source, {{"Z1", "", ""}}, "2018");

    EXPECT_EQ(Run(), 0);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(dlg.m_failure, "Kein Mandant geöffnet");
}

TEST(TransferOutputName, TheTargetsFileNameInTheMandateDirectory) {
    EXPECT_EQ(MwstTransferOutputName("/m", "/a/b/MWSTFORM.VTS"), "/m/MWSTFORM.VTS");
    EXPECT_EQ(MwstTransferOutputName("/m", "MWSTFORM.VTS"), "/m/MWSTFORM.VTS");
    EXPECT_EQ(MwstTransferOutputName("/m", "/MWSTPAU.VTS"), "/m//MWSTPAU.VTS");
}

// A mandate copied from Windows keeps its spelling; no second file appears.
TEST_F(Transfer, ResultReplacesTheMandatesFileInItsOwnLetterCase) {
    OpenMandate();
    WriteForm(source, {{"Z1", "A", ""}}, "2018");
    WriteForm(InMandate("mwstform.vts"), {{"Z1", "B", ""}}, "2001");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(dlg.m_outputName, InMandate("mwstform.vts"));
    EXPECT_EQ(MappingCell(InMandate("mwstform.vts"), 1, 2), "B");
    EXPECT_FALSE(fs::exists(InMandate("MWSTFORM.VTS")));
    EXPECT_EQ(MwstTransferOutputName(mandateDir, "/anderswo/MWSTFORM.VTS"), InMandate("mwstform.vts"));
}

}  // namespace
