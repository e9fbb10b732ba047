// Checks that LibreOffice opens our workbooks and that we read what it saves.
// Skipped where LibreOffice is not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "forms/vcf/CVCF1.h"
#include "tests/forms/TempDir.h"

namespace {

std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return "";
}

class LibreOffice : public ::testing::Test {
protected:
    void SetUp() override {
        office_ = FindOnPath("soffice");
        if (office_.empty()) office_ = FindOnPath("libreoffice");
        if (office_.empty()) GTEST_SKIP() << "LibreOffice (soffice/libreoffice) is not on PATH";
    }

    // Converts `file` with the LibreOffice filter `to` into dir_/out; false on failure.
    bool Convert(const std::string& file, const std::string& to) {
        std::string command = "timeout 180 '" + office_ + "' -env:UserInstallation=file://" + dir_.File("profile") +
                              " --headless --norestore --convert-to '" + to + "' --outdir '" + dir_.File("out") +
                              "' '" + file + "' >'" + dir_.File("log") + "' 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::string WriteSample() {
        CVCF1 vcf;
        vcf.SetSheetName(1, "Ziffern");
        vcf.SetSheetName(2, "Zweite");
        vcf.SetTextRC(1, 1, "II_7_a");
        vcf.SetNumberRC(2, 1, 20);
        vcf.SetNumberRC(2, 2, 22);
        vcf.SetFormulaRC(3, 1, "A2+B2");
        vcf.SetTextRC(4, 1, "Ümlaut & <x>");
        vcf.SetFormulaRC(5, 1, "VERSION*2");
        vcf.SetDefinedName("VERSION", "2018");
        vcf.SetSheet(2);
        vcf.SetTextRC(1, 1, "zwei");
        vcf.SetFormulaRC(1, 2, "Ziffern!A2*3");
        vcf.SetSheet(1);
        // The .xlsx name only helps LibreOffice pick its filter for the output file name.
        std::string path = dir_.File("sample.xlsx");
        vcf.Write(path, CVCF1::kFileTypeOoxml);
        return path;
    }

    std::string office_;
    TempDir dir_;
};

TEST_F(LibreOffice, OpensSheetsTextsAndFormulas) {
    std::string sample = WriteSample();
    // Filter options: comma separated, UTF-8, every sheet into its own file (-1).
    ASSERT_TRUE(Convert(sample, "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1"))
        << ReadBytes(dir_.File("log"));
    std::string first = ReadBytes(dir_.File("out/sample-Ziffern.csv"));
    std::string second = ReadBytes(dir_.File("out/sample-Zweite.csv"));
    EXPECT_NE(first.find("II_7_a"), std::string::npos) << first;
    EXPECT_NE(first.find("Ümlaut & <x>"), std::string::npos) << first;
    EXPECT_NE(first.find("\n42"), std::string::npos) << "A2+B2 computed: " << first;
    EXPECT_NE(first.find("\n4036"), std::string::npos) << "the defined name resolved: " << first;
    EXPECT_NE(second.find("zwei,60"), std::string::npos) << second;
    EXPECT_TRUE(std::filesystem::exists(dir_.File("out/sample-Sheet3.csv")));
    EXPECT_TRUE(std::filesystem::exists(dir_.File("out/sample-Sheet4.csv")));
}

TEST_F(LibreOffice, WhatItSavesReadsBack) {
    std::string sample = WriteSample();
    std::filesystem::create_directory(dir_.File("in"));
    std::string copy = dir_.File("in/resaved.vts");
    std::filesystem::copy_file(sample, copy);
    ASSERT_TRUE(Convert(copy, "xlsx")) << ReadBytes(dir_.File("log"));
    CVCF1 vcf;
    short type = 0;
    vcf.Read(dir_.File("out/resaved.xlsx"), type);
    EXPECT_EQ(vcf.GetNumSheets(), 4);
    EXPECT_EQ(vcf.GetSheetName(1), "Ziffern");
    EXPECT_EQ(vcf.GetTextRC(1, 1), "II_7_a");
    EXPECT_EQ(vcf.GetTextRC(4, 1), "Ümlaut & <x>");
    EXPECT_EQ(vcf.GetFormulaRC(3, 1), "A2+B2");
    EXPECT_EQ(vcf.GetTextRC(3, 1), "42") << "LibreOffice stores the computed result";
    EXPECT_EQ(vcf.GetDefinedName("VERSION"), "2018");
    vcf.SetSheet(2);
    EXPECT_EQ(vcf.GetFormulaRC(1, 2), "Ziffern!A2*3");
}

}  // namespace
