// Runs the real mwst-vts program as users and template authors do.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "workbook/CVCF1.h"
#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"
#include "tests/workbook/WorkbookFiles.h"

using namespace workbooktest;

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class MwstVts : public ::testing::Test {
protected:
    // Runs mwst-vts with the (shell-quoted) arguments, optionally feeding stdin from a file.
    Result Run(const std::string& args, const std::string& stdinFile = "/dev/null") {
        std::string command = "'" MWST_TEST_BIN_DIR "/mwst-vts' " + args + " <'" + stdinFile + "' >'" +
                              dir_.File("out") + "' 2>'" + dir_.File("err") + "'";
        int status = std::system(command.c_str());
        Result r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadBytes(dir_.File("out"));
        r.err = ReadBytes(dir_.File("err"));
        return r;
    }
    std::string Path(const std::string& name) { return dir_.File(name); }
    std::string Quoted(const std::string& name) { return "'" + dir_.File(name) + "'"; }
    Result Build(const std::string& workbook, const std::string& text) {
        return Run("build " + Quoted(workbook) + " " + Quoted(text));
    }
    // The text file `text` holding `content`, built into `workbook`.
    Result Build(const std::string& workbook, const std::string& text, const std::string& content) {
        WriteBytes(Path(text), content);
        return Build(workbook, text);
    }

    TempDir dir_;
};

const char* const kTemplate = R"TXT(# a VAT form in miniature
workbook
active 2
sheet 1 "Ziffern"
selection B2:C3
view ShowGridLines 0
view AllowDesigner 1
cell 1 1 text "II_7_a"
cell 1 2 formula "VSN77+VSB77_x+ABC"
cell 1 3 formula "A++C"
cell 1 4 formula "(A+C)"
cell 1 5 formula "=odd"
cell 1 6 formula "A-C+B"
cell 2 1 text "  Umsatz <brutto> & \"netto\" äöü  "
cell 2 2 text "tab\there\nnew line \\ back"
cell 3 2 number 0
cell 3 3 number 7.7
sheet 2 "Saldo"
view ShowTabs 2
cell 1 1 formula "Ziffern!B3*2" cached number 0
sheet 5 "Fünf"
name VERSION "2018"
name TEXT " <&> "
)TXT";

TEST_F(MwstVts, BuildDumpBuildDumpIsStable) {
    Result built = Build("a.vts", "t1.txt", kTemplate);
    ASSERT_EQ(built.exitCode, 0) << built.err;
    Result dump1 = Run("dump " + Quoted("a.vts"));
    ASSERT_EQ(dump1.exitCode, 0) << dump1.err;
    WriteBytes(Path("t2.txt"), dump1.out);
    ASSERT_EQ(Run("build " + Quoted("b.vts"), Path("t2.txt")).exitCode, 0) << "build reads stdin without TEXT";
    Result dump2 = Run("dump " + Quoted("b.vts"));
    ASSERT_EQ(dump2.exitCode, 0) << dump2.err;
    EXPECT_EQ(dump1.out, dump2.out);

    CVCF1 vcf;
    Load(vcf, Path("b.vts"));
    EXPECT_EQ(vcf.GetSheet(), 2);
    EXPECT_EQ(vcf.GetNumSheets(), 5);
    vcf.SetSheet(1);
    EXPECT_EQ(vcf.GetFormulaRC(1, 2), "VSN77+VSB77_x+ABC");
    EXPECT_EQ(vcf.GetFormulaRC(1, 3), "A++C");
    EXPECT_EQ(vcf.GetFormulaRC(1, 4), "(A+C)");
    EXPECT_EQ(vcf.GetFormulaRC(1, 5), "=odd");
    EXPECT_EQ(vcf.GetFormulaRC(1, 6), "A-C+B");
    EXPECT_EQ(vcf.GetTextRC(2, 1), "  Umsatz <brutto> & \"netto\" äöü  ");
    EXPECT_EQ(vcf.GetTextRC(2, 2), "tab\there\nnew line \\ back");
    EXPECT_EQ(vcf.GetSelection(), "B2:C3");
    EXPECT_EQ(vcf.GetViewProperty("AllowDesigner"), 1);
    EXPECT_EQ(vcf.GetDefinedName("VERSION"), "2018");
    EXPECT_EQ(vcf.GetDefinedName("TEXT"), " <&> ");
    EXPECT_EQ(vcf.GetSheetName(5), "Fünf");
}

TEST_F(MwstVts, DumpShowsOneLinePerCell) {
    ASSERT_EQ(Build("a.vts", "t.txt", kTemplate).exitCode, 0);
    Result dump = Run("dump " + Quoted("a.vts"));
    EXPECT_EQ(dump.out.rfind("workbook\nactive 2\n", 0), 0u) << dump.out;
    EXPECT_NE(dump.out.find("\nsheet 1 \"Ziffern\"\nselection B2:C3\nview AllowDesigner 1\n"), std::string::npos);
    EXPECT_NE(dump.out.find("\ncell 2 2 text \"tab\\there\\nnew line \\\\ back\"\n"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("\ncell 3 2 number 0\n"), std::string::npos);
    EXPECT_NE(dump.out.find("\nsheet 4 \"Sheet4\"\n"), std::string::npos) << "omitted sheets exist empty";
    EXPECT_NE(dump.out.find("\nname VERSION \"2018\"\n"), std::string::npos);
}

TEST_F(MwstVts, BuildsFormatsColumnWidthsAndPrintSettings) {
    ASSERT_EQ(Build("a.vts", "t.txt",
                    "workbook\nsheet 1 \"Formular\"\ncolumn B width 48\npage A4 portrait fit\n"
                    "cell A1 text \"Titel\"\nformat A1 title\ncell D6 formula \"Zuordnung!B1\"\n"
                    "format D6 amount\n")
                  .exitCode,
              0);
    Parts parts = Unzip(Path("a.vts"));
    const std::string sheet = parts["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find(R"(<col min="2" max="2" width="48" customWidth="1"/>)"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find(R"(paperSize="9" orientation="portrait" fitToWidth="1" fitToHeight="1")"), std::string::npos);
    EXPECT_NE(sheet.find(R"(<c r="D6" s="3"><f>Zuordnung!B1</f></c>)"), std::string::npos) << sheet;
    EXPECT_NE(parts["xl/styles.xml"].find("#,##0.00"), std::string::npos);
    CVCF1 vcf;
    Load(vcf, Path("a.vts"));
    EXPECT_EQ(vcf.GetWorkbook().SheetAt(1).Format({1, 1}), 2);
    Result dump = Run("dump " + Quoted("a.vts"));
    EXPECT_EQ(dump.out.find("format"), std::string::npos) << "the dump shows the content";
}

TEST_F(MwstVts, BadLineWritesNothingAndNamesTheLine) {
    WriteBytes(Path("old.vts"), "old bytes");
    Result r = Build("old.vts", "bad.txt", "workbook\nsheet 1\ncell 1 1 text \"ok\"\ncell 1 0 text \"x\"\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("bad.txt:4: column 0 is out of range"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing written"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(Path("old.vts")), "old bytes");
    Result fresh = Build("new.vts", "bad.txt");
    EXPECT_EQ(fresh.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(Path("new.vts")));
}

TEST_F(MwstVts, BadLineFromStandardInput) {
    WriteBytes(Path("bad.txt"), "workbook\nbogus\n");
    Result r = Run("build " + Quoted("a.vts"), Path("bad.txt"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("<stdin>:2: unknown statement \"bogus\""), std::string::npos) << r.err;
}

TEST_F(MwstVts, DumpOfABadFileFails) {
    WriteBytes(Path("garbage.vts"), "garbage");
    Result r = Run("dump " + Quoted("garbage.vts"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("garbage.vts"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    Result missing = Run("dump " + Quoted("missing.vts"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("missing.vts"), std::string::npos) << missing.err;
}

TEST_F(MwstVts, MissingTextFileFails) {
    Result r = Build("a.vts", "none.txt");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("none.txt"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(Path("a.vts")));
}

TEST_F(MwstVts, UsageErrorsExitWithTwo) {
    for (const char* args : {"", "dump", "dump a b", "build", "build a b c", "frobnicate x"}) {
        Result r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("usage: mwst-vts"), std::string::npos) << args;
    }
    Result help = Run("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: mwst-vts"), std::string::npos);
}

}  // namespace
