#include "base/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/TempFileName.h"
#include "tests/support/FileModes.h"

namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mwst-atomic-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    // Nothing but the files named: no temporary file left behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string dir_;
};

TEST_F(AtomicFileTest, ReplacesTheContentAndKeepsThePermissions) {
    Write("MWSTFORM.VTS", "old");
    ::chmod(Path("MWSTFORM.VTS").c_str(), 0640);
    ASSERT_TRUE(atomicfile::Replace(Path("MWSTFORM.VTS"), std::string("new\0bytes", 9)));
    EXPECT_EQ(Read(Path("MWSTFORM.VTS")), std::string("new\0bytes", 9));
    struct stat st {};
    ASSERT_EQ(::stat(Path("MWSTFORM.VTS").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Names(), std::vector<std::string>{"MWSTFORM.VTS"});
}

TEST_F(AtomicFileTest, ALinkStaysALinkAndItsTargetIsReplaced) {
    Write("real.vts", "old");
    fs::create_symlink("real.vts", Path("MWSTFORM.VTS"));
    ASSERT_TRUE(atomicfile::Replace(Path("MWSTFORM.VTS"), "new"));
    EXPECT_TRUE(fs::is_symlink(Path("MWSTFORM.VTS")));
    EXPECT_EQ(Read(Path("real.vts")), "new");
}

TEST_F(AtomicFileTest, AFailedFillLeavesTheOldFileAndNoTemporaryFile) {
    Write("MWSTFORM.VTS", "old");
    const atomicfile::Result result = atomicfile::Replace(Path("MWSTFORM.VTS"), [](int fd, const std::string& temp) {
        EXPECT_TRUE(tempname::IsTemporary(fs::path(temp).filename().string()));
        (void)atomicfile::WriteAll(fd, "half", temp);
        return atomicfile::Failed(atomicfile::Result::Side::kSource, EIO, "read", "/source");
    });
    EXPECT_FALSE(result);
    EXPECT_EQ(result.side, atomicfile::Result::Side::kSource);
    EXPECT_EQ(result.Describe(), "cannot read /source: Input/output error");
    EXPECT_EQ(Read(Path("MWSTFORM.VTS")), "old");
    EXPECT_EQ(Names(), std::vector<std::string>{"MWSTFORM.VTS"});
}

TEST_F(AtomicFileTest, AFolderThatCannotBeWrittenIsReportedWithTheTarget) {
    Write("MWSTFORM.VTS", "old");
    testsupport::ObeyFileModes obey;
    if (!obey.Obeyed()) GTEST_SKIP() << "file modes cannot be enforced here";
    ::chmod(dir_.c_str(), 0555);
    const atomicfile::Result result = atomicfile::Replace(Path("MWSTFORM.VTS"), "new");
    ::chmod(dir_.c_str(), 0755);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.side, atomicfile::Result::Side::kTarget);
    EXPECT_EQ(result.Describe(), "cannot create a temporary file for " + Path("MWSTFORM.VTS") + ": Permission denied");
    EXPECT_EQ(Read(Path("MWSTFORM.VTS")), "old");
}

TEST_F(AtomicFileTest, AFolderSyncReportsWhatFailedWithTheFolder) {
    EXPECT_TRUE(atomicfile::SyncFolder(dir_));
    for (const std::string& folder : {Path("gone"), Path("MWSTFORM.VTS")}) {
        Write("MWSTFORM.VTS", "a file, no folder");
        const atomicfile::Result result = atomicfile::SyncFolder(folder);
        EXPECT_FALSE(result) << folder;
        EXPECT_EQ(result.side, atomicfile::Result::Side::kTarget);
        EXPECT_EQ(result.path, folder);
        EXPECT_EQ(result.Describe().rfind("cannot open the folder " + folder + ": ", 0), 0u) << result.Describe();
    }
}

}  // namespace
