// Where the template sets are looked for: in the folder "mwst" beside the
// program first (a build tree, an unpacked archive), then in the data folder
// of an installed copy, found relative to the program's folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/InstallLayout.h"
#include "templates/TemplateSet.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// A program folder `prefix`/bin in a scratch tree; the program itself need not exist.
class TemplateLookup : public ::testing::Test {
protected:
    void SetUp() override {
        bin = dir.File("usr/bin");
        fs::create_directories(bin);
        MwstSetProgramPath(bin + "/mwst-konvertierung");
    }
    void TearDown() override { MwstSetProgramPath(""); }

    // The build's template sets copied to `folder`/mwst.
    static void PutTemplatesInto(const std::string& folder) {
        fs::create_directories(folder);
        fs::copy(std::string(MWST_TEST_BIN_DIR) + "/mwst", folder + "/mwst", fs::copy_options::recursive);
    }
    std::string InstalledDataDir() const { return fs::path(MwstInstalledDataDir(bin)).lexically_normal().string(); }

    TempDir dir;
    std::string bin;
};

TEST_F(TemplateLookup, InstalledDataFolderLiesBelowThePrefix) {
    // By the GNU directories, <prefix>/share/mwst-konvertierung for <prefix>/bin.
    EXPECT_EQ(fs::path(InstalledDataDir()).filename(), "mwst-konvertierung");
    EXPECT_EQ(InstalledDataDir().rfind(dir.File("usr/"), 0), 0u) << InstalledDataDir();
}

TEST_F(TemplateLookup, FoundInTheInstalledDataFolder) {
    PutTemplatesInto(MwstInstalledDataDir(bin));
    const MwstTemplateStep& step = MwstTemplateSteps()[0];
    EXPECT_EQ(fs::path(MwstTemplatePath(step, 2024)).lexically_normal().string(),
              InstalledDataDir() + "/mwst/MWST2024eff.vts");

    ASSERT_TRUE(fs::create_directory(dir.File("mandant")));
    std::string error;
    ASSERT_TRUE(MwstInstallTemplateSet(2018, dir.File("mandant"), error)) << error;
    for (const MwstTemplateStep& s : MwstTemplateSteps())
        EXPECT_EQ(ReadBytes(dir.File(std::string("mandant/") + s.mandateFile)),
                  ReadBytes(std::string(MWST_TEST_BIN_DIR) + "/" + MwstTemplateName(s, 2018)))
            << s.mandateFile;
}

TEST_F(TemplateLookup, BesideTheProgramComesFirst) {
    PutTemplatesInto(MwstInstalledDataDir(bin));
    PutTemplatesInto(bin);
    EXPECT_EQ(MwstTemplateBaseDirectory(), bin + "/");
    EXPECT_EQ(MwstTemplatePath(MwstTemplateSteps()[4], 2018), bin + "/mwst/Mwst2018eff.vls");
}

TEST_F(TemplateLookup, WithoutEitherTheFolderBesideTheProgramIsNamed) {
    EXPECT_EQ(MwstTemplateBaseDirectory(), bin + "/");
    std::string error;
    ASSERT_TRUE(fs::create_directory(dir.File("mandant")));
    EXPECT_FALSE(MwstInstallTemplateSet(2024, dir.File("mandant"), error));
    EXPECT_NE(error.find(bin + "/mwst/MWST2024eff.vts"), std::string::npos) << error;
}

TEST(TemplateLookupOfThisProgram, TheBuildTreeHasItsTemplatesBesideThePrograms) {
    EXPECT_EQ(MwstTemplateBaseDirectory(), std::string(MWST_TEST_BIN_DIR) + "/");
}

TEST(InstalledLibraryFolder, LiesBelowThePrefixBesideTheDataFolder) {
    const fs::path lib = fs::path(MwstInstalledLibraryDir("/opt/m/bin/")).lexically_normal();
    EXPECT_EQ(lib.filename(), "mwst-konvertierung");
    EXPECT_EQ(lib.string().rfind("/opt/m/", 0), 0u) << lib;
    EXPECT_NE(lib, fs::path(MwstInstalledDataDir("/opt/m/bin")).lexically_normal());
}

}  // namespace
