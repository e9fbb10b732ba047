#include "workbook/FileIo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/CException.h"
#include "workbook/CVCF1.h"
#include "base/TempFileName.h"
#include "tests/support/Fifo.h"
#include "tests/workbook/WorkbookFiles.h"

using namespace workbooktest;

namespace {

size_t FileCount(const TempDir& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

TEST(ReplaceFile, WritesAndReplaces) {
    TempDir dir;
    fileio::ReplaceFile(dir.File("f"), "first");
    fileio::ReplaceFile(dir.File("f"), "second");
    EXPECT_EQ(ReadBytes(dir.File("f")), "second");
    EXPECT_EQ(FileCount(dir), 1u) << "no temporary file stays behind";
}

TEST(ReplaceFile, KeepsTheModeOfTheReplacedFile) {
    TempDir dir;
    fileio::ReplaceFile(dir.File("f"), "first");
    ::chmod(dir.File("f").c_str(), 0640);
    fileio::ReplaceFile(dir.File("f"), "second");
    struct stat st;
    ASSERT_EQ(::stat(dir.File("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(ReplaceFile, FailedWriteLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    const std::string old = "the old content";
    fileio::ReplaceFile(dir.File("f"), old);
    {
        FileSizeLimit limit(64);
        EXPECT_THROW(fileio::ReplaceFile(dir.File("f"), std::string(4096, 'x')), CFileException);
    }
    EXPECT_EQ(ReadBytes(dir.File("f")), old);
    EXPECT_EQ(FileCount(dir), 1u);
}

// A write killed half-way leaves its temporary file; its name says it is ours
// and which file it was to replace, so that a later run can remove it.
TEST(ReplaceFile, TemporaryFileOfAKilledWriteIsRecognisablyOurs) {
    TempDir dir;
    fileio::ReplaceFile(dir.File("MWSTFORM.VTS"), "alt");
    ASSERT_TRUE(KilledWhileWriting(4096, [&] { fileio::ReplaceFile(dir.File("MWSTFORM.VTS"), std::string(100000, 'n')); }));
    EXPECT_EQ(ReadBytes(dir.File("MWSTFORM.VTS")), "alt");
    std::vector<std::string> temporary;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        std::string target;
        if (tempname::IsTemporary(entry.path().filename().string(), &target)) {
            temporary.push_back(entry.path().filename().string());
            EXPECT_EQ(target, "MWSTFORM.VTS");
        }
    }
    EXPECT_EQ(temporary.size(), 1u);
    EXPECT_EQ(FileCount(dir), 2u);
}

TEST(TemporaryNames, OnlyOurMarkWithALetterOrDigitSuffix) {
    std::string target;
    EXPECT_TRUE(tempname::IsTemporary("MWSTFORM.VTS.mwsttmp-123456789", &target));
    EXPECT_EQ(target, "MWSTFORM.VTS");
    EXPECT_TRUE(tempname::IsTemporary("Mwstform.lst.mwsttmp-aB3xYz", &target));
    EXPECT_EQ(target, "Mwstform.lst");
    EXPECT_EQ(tempname::For("/m/MWSTPAU.VTS", "XXXXXX"), "/m/MWSTPAU.VTS.mwsttmp-XXXXXX");
    for (const char* other : {"MWSTFORM.VTS", "MWSTFORM.VTS.tmp123", "Mwstform.lst.a1B2c3", "MWSTFORM.VTS.mwsttmp-",
                              "MWSTFORM.VTS.mwsttmp-ab.c", ".mwsttmp-abc", "MWSTFORM.VTS.mwsttmp-a b"})
        EXPECT_FALSE(tempname::IsTemporary(other)) << other;
}

TEST(ReplaceFile, TargetIsADirectory) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_THROW(fileio::ReplaceFile(dir.File("sub"), "x"), CFileException);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
    EXPECT_EQ(FileCount(dir), 1u);
}

TEST(ReplaceFile, UnwritableDirectory) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into read-only directories";
    TempDir dir;
    fileio::ReplaceFile(dir.File("f"), "old");
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_THROW(fileio::ReplaceFile(dir.File("f"), "new"), CFileException);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(ReadBytes(dir.File("f")), "old");
}

TEST(WorkbookWrite, FailedWriteLeavesTheOldWorkbookReadable) {
    TempDir dir;
    CVCF1 vcf;
    vcf.SetTextRC(1, 1, "old");
    vcf.Write(dir.File("book.vts"), CVCF1::kFileTypeOoxml);
    const std::string before = ReadBytes(dir.File("book.vts"));

    for (int row = 1; row <= 2000; ++row) vcf.SetTextRC(row, 1, "new content " + std::to_string(row * 7919));
    {
        FileSizeLimit limit(before.size());
        const std::string message =
            ThrownMessage<CFileException>([&] { vcf.Write(dir.File("book.vts"), CVCF1::kFileTypeOoxml); });
        EXPECT_NE(message.find("book.vts"), std::string::npos) << message;
    }
    EXPECT_EQ(ReadBytes(dir.File("book.vts")), before);
    EXPECT_EQ(FileCount(dir), 1u);
    CVCF1 again;
    Load(again, dir.File("book.vts"));
    EXPECT_EQ(again.GetTextRC(1, 1), "old");
}

TEST(ReadWholeFile, ReadsBytesExactly) {
    TempDir dir;
    const std::string bytes("a\0b\r\n\xff", 6);
    WriteBytes(dir.File("f"), bytes);
    EXPECT_EQ(fileio::ReadWholeFile(dir.File("f")), bytes);
    EXPECT_THROW(fileio::ReadWholeFile(dir.File("missing")), CFileException);
}

TEST(ReadWholeFile, AFifoIsRefusedWithoutWaiting) {
    TempDir dir;
    ASSERT_TRUE(testsupport::MakeFifo(dir.File("book.vts")));
    std::string message;
    EXPECT_TRUE(testsupport::FinishesWithoutWaitingOn(dir.File("book.vts"), [&] {
        try {
            CVCF1 vcf;
            Load(vcf, dir.File("book.vts"));
        } catch (const CFileException& e) {
            message = e.what();
        }
    }));
    EXPECT_EQ(message, dir.File("book.vts") + " is not a regular file");
}

// A workbook reached through a symbolic link is written into the file the link
// names; the link stays.
TEST(ReplaceFile, WritesThroughASymbolicLink) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("store"));
    WriteBytes(dir.File("store/real.vts"), "old");
    std::filesystem::create_symlink("store/real.vts", dir.File("book.vts"));
    fileio::ReplaceFile(dir.File("book.vts"), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("book.vts")));
    EXPECT_EQ(std::filesystem::read_symlink(dir.File("book.vts")), "store/real.vts");
    EXPECT_EQ(ReadBytes(dir.File("store/real.vts")), "new");
    EXPECT_EQ(FileCount(dir), 2u);
    EXPECT_EQ(static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.File("store")), {})), 1u);
}

}  // namespace
