#include "base/RegularFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/Fifo.h"

namespace {

class RegularFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "mwst-base-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string dir_;
};

TEST_F(RegularFileTest, ReadsARegularFileWhole) {
    std::ofstream(Path("f"), std::ios::binary) << std::string("a\0b", 3);
    std::string bytes, error;
    ASSERT_TRUE(regularfile::ReadWhole(Path("f"), bytes, error, 100)) << error;
    EXPECT_EQ(bytes, std::string("a\0b", 3));
    EXPECT_TRUE(regularfile::IsRegular(Path("f"), regularfile::Links::kFollow));
}

TEST_F(RegularFileTest, AFifoIsRefusedAtOnce) {
    ASSERT_TRUE(testsupport::MakeFifo(Path("quorvex.txt")));
    std::string bytes, error;
    bool read = true;
    EXPECT_TRUE(testsupport::FinishesWithoutWaitingOn(Path("quorvex.txt"), [&] {
        read = regularfile::ReadWhole(Path("quorvex.txt"), bytes, error, 100);
    }));
    EXPECT_FALSE(read);
    EXPECT_EQ(error, Path("quorvex.txt") + " is not a regular file");
    EXPECT_FALSE(regularfile::IsRegular(Path("quorvex.txt"), regularfile::Links::kFollow));
}

TEST_F(RegularFileTest, FoldersDevicesMissingFilesAndOversizeAreNamed) {
    std::string bytes, error;
    EXPECT_FALSE(regularfile::ReadWhole(dir_, bytes, error, 100));
    EXPECT_EQ(error, dir_ + " is a folder, not a file");
    EXPECT_FALSE(regularfile::ReadWhole("/dev/null", bytes, error, 100));
    EXPECT_EQ(error, "/dev/null is not a regular file");
    EXPECT_FALSE(regularfile::ReadWhole(Path("missing"), bytes, error, 100));
    EXPECT_EQ(error, "cannot open " + Path("missing") + ": No such file or directory");
    std::ofstream(Path("big")) << std::string(3u << 20, 'x');
    EXPECT_FALSE(regularfile::ReadWhole(Path("big"), bytes, error, 1u << 20));
    EXPECT_EQ(error, Path("big") + " is larger than 1 MiB");
}

TEST_F(RegularFileTest, TheDescriptorReadsNormally) {
    std::ofstream(Path("f")) << "text";
    std::string error;
    int fd = regularfile::OpenForReading(Path("f"), error);
    ASSERT_GE(fd, 0) << error;
    char buffer[8];
    EXPECT_EQ(::read(fd, buffer, sizeof buffer), 4);
    ::close(fd);
}

// A link is taken as the check says: followed anywhere, not followed, or
// followed only to a regular file inside the folder.
TEST_F(RegularFileTest, ALinkCountsAsTheCheckSays) {
    namespace fs = std::filesystem;
    const std::string outside = dir_ + "-outside";
    std::ofstream(outside) << "x";
    std::ofstream(Path("f")) << "x";
    fs::create_directory(Path("sub"));
    fs::create_symlink(Path("f"), Path("to-inside"));
    fs::create_symlink(outside, Path("to-outside"));
    fs::create_symlink(Path("sub"), Path("to-folder"));
    fs::create_symlink(Path("missing"), Path("to-nowhere"));
    struct Case {
        const char* name;
        bool followed, notFollowed, inside;
    };
    for (const Case& c : {Case{"f", true, true, true}, Case{"to-inside", true, false, true},
                          Case{"to-outside", true, false, false}, Case{"to-folder", false, false, false},
                          Case{"to-nowhere", false, false, false}, Case{"sub", false, false, false},
                          Case{"missing", false, false, false}}) {
        EXPECT_EQ(regularfile::IsRegular(Path(c.name), regularfile::Links::kFollow), c.followed) << c.name;
        EXPECT_EQ(regularfile::IsRegular(Path(c.name), regularfile::Links::kNotFollowed), c.notFollowed) << c.name;
        EXPECT_EQ(regularfile::IsRegularInside(dir_, Path(c.name)), c.inside) << c.name;
    }
    fs::remove(outside);
}

}  // namespace
