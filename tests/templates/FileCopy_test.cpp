// The plain copy of template files and the template set's names: a copy never
// leaves half a file, and the names are exactly those the program looks for.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "base/TempFileName.h"
#include "templates/FileCopy.h"
#include "templates/TemplateSet.h"
#include "tests/support/TempDir.h"
#include "tests/support/Fifo.h"
#include "tests/workbook/WorkbookFiles.h"

namespace fs = std::filesystem;

namespace {

// Files left beside the target: only the expected ones, no temporary file.
std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

using workbooktest::FileSizeLimit;

TEST(FileCopy, CopiesByteForByteOverAnExistingFileKeepingItsPermissions) {
    TempDir dir;
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    WriteBytes(dir.File("quelle"), bytes);
    WriteBytes(dir.File("ziel"), "alt");
    ::chmod(dir.File("ziel").c_str(), 0640);

    ASSERT_TRUE(MwstCopyFile(dir.File("quelle"), dir.File("ziel")));
    EXPECT_EQ(ReadBytes(dir.File("ziel")), bytes);
    EXPECT_EQ(fs::status(dir.File("ziel")).permissions(), fs::perms(0640));
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"quelle", "ziel"}));
}

TEST(FileCopy, MissingSourceLeavesTheTargetAsItWas) {
    TempDir dir;
    WriteBytes(dir.File("ziel"), "alt");

    const FileCopyResult copied = MwstCopyFile(dir.File("fehlt"), dir.File("ziel"));
    EXPECT_FALSE(copied);
    EXPECT_EQ(copied.failure, FileCopyResult::Failure::kSource);
    EXPECT_EQ(copied.error, ENOENT);
    EXPECT_EQ(ReadBytes(dir.File("ziel")), "alt");
    EXPECT_EQ(copied.Describe(dir.File("fehlt"), dir.File("ziel")),
              "cannot read " + dir.File("fehlt") + ": No such file or directory");
}

TEST(FileCopy, TargetInAMissingDirectoryFailsOnTheTargetSide) {
    TempDir dir;
    WriteBytes(dir.File("quelle"), "neu");

    const FileCopyResult copied = MwstCopyFile(dir.File("quelle"), dir.File("nirgends/ziel"));
    EXPECT_EQ(copied.failure, FileCopyResult::Failure::kTarget);
    EXPECT_EQ(copied.error, ENOENT);
}

TEST(FileCopy, DirectoryAsSourceIsRefused) {
    TempDir dir;
    fs::create_directory(dir.File("ordner"));
    EXPECT_EQ(MwstCopyFile(dir.File("ordner"), dir.File("ziel")).failure, FileCopyResult::Failure::kSource);
    EXPECT_FALSE(fs::exists(dir.File("ziel")));
}

TEST(FileCopy, AFifoAsSourceIsRefusedWithoutWaiting) {
    TempDir dir;
    ASSERT_TRUE(testsupport::MakeFifo(dir.File("MWST2018eff.vts")));
    WriteBytes(dir.File("ziel"), "alt");
    FileCopyResult copied;
    EXPECT_TRUE(testsupport::FinishesWithoutWaitingOn(dir.File("MWST2018eff.vts"), [&] {
        copied = MwstCopyFile(dir.File("MWST2018eff.vts"), dir.File("ziel"));
    }));
    EXPECT_EQ(copied.failure, FileCopyResult::Failure::kSource);
    EXPECT_EQ(ReadBytes(dir.File("ziel")), "alt");
}

TEST(FileCopy, ATargetThatIsALinkStaysALink) {
    TempDir dir;
    WriteBytes(dir.File("quelle"), "neu");
    WriteBytes(dir.File("echt.vts"), "alt");
    fs::create_symlink("echt.vts", dir.File("MWSTFORM.VTS"));
    ASSERT_TRUE(MwstCopyFile(dir.File("quelle"), dir.File("MWSTFORM.VTS")));
    EXPECT_TRUE(fs::is_symlink(dir.File("MWSTFORM.VTS")));
    EXPECT_EQ(ReadBytes(dir.File("echt.vts")), "neu");
}

TEST(FileCopy, InterruptedCopyLeavesTheOldFileWholeAndNoHalfFile) {
    TempDir dir;
    WriteBytes(dir.File("quelle"), std::string(100000, 'n'));
    WriteBytes(dir.File("ziel"), "alt");
    FileCopyResult copied;
    {
        FileSizeLimit limit(4096);
        copied = MwstCopyFile(dir.File("quelle"), dir.File("ziel"));
    }
    EXPECT_EQ(copied.failure, FileCopyResult::Failure::kTarget);
    EXPECT_EQ(ReadBytes(dir.File("ziel")), "alt");
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"quelle", "ziel"}));
}

TEST(FileCopy, TemporaryFileOfAKilledCopyIsRecognisablyOurs) {
    TempDir dir;
    WriteBytes(dir.File("quelle"), std::string(100000, 'n'));
    WriteBytes(dir.File("Mwstform.lst"), "alt");
    ASSERT_TRUE(KilledWhileWriting(4096, [&] { MwstCopyFile(dir.File("quelle"), dir.File("Mwstform.lst")); }));
    EXPECT_EQ(ReadBytes(dir.File("Mwstform.lst")), "alt");
    const std::vector<std::string> names = Entries(dir.Path());
    ASSERT_EQ(names.size(), 3u);
    std::string target;
    EXPECT_TRUE(tempname::IsTemporary(names[1], &target)) << names[1];
    EXPECT_EQ(target, "Mwstform.lst");
}

TEST(TemplateSet, NamesOfTheYearAndTheMandateFilesInProcessingOrder) {
    struct Expected {
        const char* templateName;
        const char* mandateFile;
        bool formUpdate;
    };
    const Expected expected[] = {
        {"mwst/MWST2024eff.vts", "MWSTFORM.VTS", true},  {"mwst/MWST2024pau.vts", "MWSTPAU.VTS", true},
        {"mwst/_MWST2024eff.vts", "_MWSTFRM.VTS", true}, {"mwst/_MWST2024pau.vts", "_MWSTPAU.VTS", true},
        {"mwst/Mwst2024eff.vls", "Mwstform.vls", false}, {"mwst/Mwst2024eff.lst", "Mwstform.lst", false},
        {"mwst/Mwst2024pau.vls", "Mwstpau.vls", false},  {"mwst/Mwst2024pau.lst", "Mwstpau.lst", false},
    };
    const auto& steps = MwstTemplateSteps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(MwstTemplateName(steps[i], 2024), expected[i].templateName) << i;
        EXPECT_EQ(std::string(steps[i].mandateFile), expected[i].mandateFile) << i;
        EXPECT_EQ(steps[i].formUpdate, expected[i].formUpdate) << i;
    }
    EXPECT_EQ(MwstTemplateName(steps[2], 2018), "mwst/_MWST2018eff.vts");
}

TEST(TemplateSet, EveryInstalledTemplateIsBesideThePrograms) {
    for (int year : {2018, 2024})
        for (const MwstTemplateStep& step : MwstTemplateSteps()) {
            const std::string path = std::string(MWST_TEST_BIN_DIR) + "/" + MwstTemplateName(step, year);
            EXPECT_TRUE(fs::is_regular_file(path)) << path;
        }
}

TEST(TemplateSet, ProgramPathCanBePointedElsewhereAndBack) {
    const std::string real = MwstProgramPath();
    EXPECT_EQ(fs::path(real).parent_path().string(), MWST_TEST_BIN_DIR);
    MwstSetProgramPath("/opt/mwst/mwst-konvertierung");
    EXPECT_EQ(MwstProgramPath(), "/opt/mwst/mwst-konvertierung");
    MwstSetProgramPath("");
    EXPECT_EQ(MwstProgramPath(), real);
}

TEST(TemplateSet, InstallCopiesTheYearsSetIntoTheMandate) {
    TempDir dir;
    ASSERT_TRUE(fs::create_directory(dir.File("mandant")));
    std::string error;
    ASSERT_TRUE(MwstInstallTemplateSet(2018, dir.File("mandant"), error)) << error;
    for (const MwstTemplateStep& step : MwstTemplateSteps())
        EXPECT_EQ(ReadBytes(dir.File(std::string("mandant/") + step.mandateFile)),
                  ReadBytes(std::string(MWST_TEST_BIN_DIR) + "/" + MwstTemplateName(step, 2018)))
            << step.mandateFile;
}

TEST(TemplateSet, InstallWithoutTemplatesNamesTheMissingFile) {
    TempDir dir;
    MwstSetProgramPath(dir.File("leer/programm"));
    std::string error;
    EXPECT_FALSE(MwstInstallTemplateSet(2018, dir.Path().string(), error));
    MwstSetProgramPath("");
    EXPECT_EQ(error, "cannot read " + dir.File("leer/mwst/MWST2018eff.vts") + ": No such file or directory");
}

}  // namespace

namespace {

// ---- Mandate files in any letter case, and stray temporary files ----------

TEST(MandateFilePath, ExactSpellingWhenPresentOrWhenThereIsNone) {
    TempDir dir;
    const std::string m = dir.Path().string();
    EXPECT_EQ(MwstMandateFilePath(m, "MWSTFORM.VTS"), m + "/MWSTFORM.VTS");
    WriteBytes(dir.File("MWSTFORM.VTS"), "x");
    WriteBytes(dir.File("mwstform.vts"), "y");
    EXPECT_EQ(MwstMandateFilePath(m, "MWSTFORM.VTS"), m + "/MWSTFORM.VTS");
}

TEST(MandateFilePath, AWindowsSpellingIsTheMandatesFile) {
    TempDir dir;
    const std::string m = dir.Path().string();
    WriteBytes(dir.File("mwstform.vts"), "x");
    WriteBytes(dir.File("MWSTFORM.LST"), "y");
    EXPECT_EQ(MwstMandateFilePath(m, "MWSTFORM.VTS"), m + "/mwstform.vts");
    EXPECT_EQ(MwstMandateFilePath(m, "Mwstform.lst"), m + "/MWSTFORM.LST");
    EXPECT_EQ(MwstMandateFilePath(m, "Mwstpau.lst"), m + "/Mwstpau.lst");
}

TEST(MandateFilePath, OfSeveralOtherSpellingsTheFirstInByteOrder) {
    TempDir dir;
    const std::string m = dir.Path().string();
    for (const char* name : {"mwstform.vts", "Mwstform.VTS", "MWSTFORM.vts"}) WriteBytes(dir.File(name), name);
    EXPECT_EQ(MwstMandateFilePath(m, "MWSTFORM.VTS"), m + "/MWSTFORM.vts");
}

TEST(MandateFilePath, ADirectoryOfThatNameIsNoFile) {
    TempDir dir;
    fs::create_directory(dir.File("mwstpau.vts"));
    EXPECT_EQ(MwstMandateFilePath(dir.Path().string(), "MWSTPAU.VTS"), dir.Path().string() + "/MWSTPAU.VTS");
}

TEST(StrayTempFiles, OnlyOursBesideAMandateFileAreRemoved) {
    TempDir dir;
    const std::vector<std::string> ours = {"MWSTFORM.VTS.mwsttmp-123456789",
                                           "Mwstform.lst.mwsttmp-AbC123", "mwstpau.vts.mwsttmp-x1",
                                           "_MWSTPAU.VTS.mwsttmp-7",
                                           // a staged restore copy, cut off while it was written
                                           "Mwstpau.vls.mwsttmp-restore.mwsttmp-278340220"};
    const std::vector<std::string> others = {
        "MWSTFORM.VTS",          "MWSTFORM.VTS.tmp123",
        "Mwstform.lst.backup",   "notes.txt.mwsttmp-abc123",
        "MWSTFORM.VTS.mwsttmp-", "MWSTFORM.VTS.mwsttmp-ab.c",
        "pendra.db.mwsttmp-abc", "notes.txt.mwsttmp-restore.mwsttmp-1"};
    for (const std::string& name : ours) WriteBytes(dir.File(name), "halb");
    for (const std::string& name : others) WriteBytes(dir.File(name), "bleibt");
    fs::create_directory(dir.File("MWSTPAU.VTS.mwsttmp-dir1"));
    fs::create_symlink(dir.File("MWSTFORM.VTS"), dir.File("_MWSTFRM.VTS.mwsttmp-link1"));

    EXPECT_EQ(MwstRemoveStrayTempFiles(dir.Path().string()), 5);
    std::vector<std::string> expected = others;
    expected.push_back("MWSTPAU.VTS.mwsttmp-dir1");
    expected.push_back("_MWSTFRM.VTS.mwsttmp-link1");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(dir.Path()), expected);
    EXPECT_EQ(MwstRemoveStrayTempFiles(dir.File("fehlt")), 0);
}

TEST(StrayTempFiles, BesideFurtherFilesOfOursWhenNamed) {
    TempDir dir;
    WriteBytes(dir.File(".journal.mwsttmp-42"), "halb");
    EXPECT_EQ(MwstRemoveStrayTempFiles(dir.Path().string()), 0);
    EXPECT_EQ(MwstRemoveStrayTempFiles(dir.Path().string(), {".journal"}), 1);
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

}  // namespace
