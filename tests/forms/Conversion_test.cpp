// The whole conversion of demo mandates with the real programs: mwst-mandant
// builds the demo tree, mwst-batch runs the commands in their order (show the
// keys, insert new keys, adapt accounts, activate the 2024 form, remove old
// keys) and back to the 2018 form; then the mandate data and the workbooks.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>

#include "templates/TemplateSet.h"
#include "workbook/CVCF1.h"
#include "base/TempFileName.h"
#include "pendra/BFile.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "tests/forms/FormsTestSupport.h"
#include "tests/forms/LibreOfficeCase.h"
#include "tests/support/TempDir.h"
#include "tests/support/CommaLocale.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = MWST_TEST_BIN_DIR;

struct ProgramRun {
    int exitCode = -1;
    std::string out;
};

// A program of ours with its arguments; standard input is empty, so a run
// that waited for an answer would end instead of hanging.
ProgramRun Program(const std::string& name, const std::string& args, const std::string& environment = "") {
    const std::string command = environment + kBin + "/" + name + " " + args + " </dev/null 2>/dev/null";
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    run.exitCode = ::pclose(pipe);
    return run;
}

ProgramRun Batch(const std::string& command, const std::string& dirs) { return Program("mwst-batch", command + " --yes " + dirs); }

// mwst-batch under the locale `locale` (LC_ALL), as a user of that region runs it.
ProgramRun BatchUnder(const std::string& locale, const std::string& command, const std::string& dirs) {
    return Program("mwst-batch", command + " --yes " + dirs, "LC_ALL=" + locale + " ");
}

int ExitStatus(const ProgramRun& run) { return WIFEXITED(run.exitCode) ? WEXITSTATUS(run.exitCode) : -1; }

using formstest::TaxIds;

std::string AccountKey(const std::string& dir, const std::string& number) {
    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk) << dir;
    BFile file(&mandate);
    EXPECT_EQ(file.Open(mandate.GetKontoName(), BFile::kModeReadOnly), pendra::kOk);
    Konto konto(&mandate);
    konto.UseFile(&file);
    EXPECT_EQ(konto.ReadKonto(number), pendra::kOk) << number;
    return konto.GetTaxId();
}

using formstest::MappingRows;
using formstest::Version;

std::string Template(int year, std::size_t step) {
    return kBin + "/" + MwstTemplateName(MwstTemplateSteps()[step], year);
}

class Conversion : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Program("mwst-mandant", "demo " + root.File("demo")).exitCode, 0);
        bakery = root.File("demo/baeckerei-mueller");
        joinery = root.File("demo/schreinerei-huber");
    }

    // Every workbook of the mandate carries `year`'s version; every companion is the year's.
    void ExpectYear(const std::string& dir, int year) {
        const auto& steps = MwstTemplateSteps();
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const std::string file = dir + "/" + steps[i].mandateFile;
            if (steps[i].formUpdate)
                EXPECT_EQ(Version(file), std::to_string(year)) << file;
            else
                EXPECT_EQ(ReadBytes(file), ReadBytes(Template(year, i))) << file;
        }
    }

    TempDir root;
    std::string bakery, joinery;
};

TEST_F(Conversion, DemoMandatesStartOnThe2018Form) {
    for (const auto& entry : fs::recursive_directory_iterator(root.File("demo"))) {
        if (entry.path().filename() != "pendra.db") continue;
        const std::string dir = entry.path().parent_path().string();
        for (std::size_t i = 0; i < MwstTemplateSteps().size(); ++i)
            EXPECT_EQ(ReadBytes(dir + "/" + MwstTemplateSteps()[i].mandateFile), ReadBytes(Template(2018, i))) << dir;
    }
}

TEST_F(Conversion, WholeConversionOfABakery) {
    EXPECT_EQ(Batch("show-keys", bakery).exitCode, 0);
    EXPECT_EQ(Batch("insert-keys", bakery).exitCode, 0);
    EXPECT_EQ(Batch("adapt-accounts", bakery).exitCode, 0);
    const ProgramRun forms = Batch("form-2024", bakery);
    EXPECT_EQ(forms.exitCode, 0);
    for (const MwstTemplateStep& step : MwstTemplateSteps())
        EXPECT_NE(forms.out.find("Formular aktualisiert (" + bakery + "/" + step.mandateFile + ")\r\n"),
                  std::string::npos)
            << forms.out;
    EXPECT_NE(forms.out.find(">Ende \"MWST-Formular 2024 aktivieren\" für Mandant " + bakery + "\r\n\r\n"),
              std::string::npos)
        << forms.out;
    ExpectYear(bakery, 2024);
    // The 2024 template brings its own formulas: the mandate has them exactly.
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(MappingRows(bakery + "/" + MwstTemplateSteps()[i].mandateFile), MappingRows(Template(2024, i))) << i;

    const ProgramRun removal = Batch("remove-old-keys", bakery);
    EXPECT_EQ(removal.exitCode, 0);
    EXPECT_NE(removal.out.find(">Alte Steuerschlüssel entfernt für Mandant " + bakery), std::string::npos)
        << removal.out;

    const std::set<std::string> ids = TaxIds(bakery);
    for (const char* id : {"USN81", "USB81", "USN26", "USN38", "VSN81", "VSB81", "VIN81", "VSN26", "VSB26", "VSN38"})
        EXPECT_EQ(ids.count(id), 1u) << "new key " << id;
    for (const char* id : {"USN77", "USN25", "VSN77", "VSB77", "VSN25"})
        EXPECT_EQ(ids.count(id), 1u) << "old key still booked " << id;
    for (const char* id : {"USB77", "USN37", "VSB25", "VSN37", "VIN77"})
        EXPECT_EQ(ids.count(id), 0u) << "unused old key " << id;
    EXPECT_EQ(AccountKey(bakery, "3010"), "USN81");
    EXPECT_EQ(AccountKey(bakery, "3000"), "USN26");
    EXPECT_EQ(AccountKey(bakery, "4400"), "VSN81");
    EXPECT_EQ(AccountKey(bakery, "1500"), "VIN81");
    ExpectYear(bakery, 2024);
}

TEST_F(Conversion, BackTo2018RestoresTheTurnoverFormulasOfBothMethods) {
    const std::string both = bakery + " " + joinery;
    EXPECT_EQ(Batch("insert-keys", both).exitCode, 0);
    EXPECT_EQ(Batch("form-2024", both).exitCode, 0);
    ExpectYear(joinery, 2024);
    const ProgramRun back = Batch("form-2018", both);
    EXPECT_EQ(back.exitCode, 0);
    EXPECT_NE(back.out.find(">Ende \"MWST-Formular 2018 aktivieren\" für Mandant " + joinery), std::string::npos)
        << back.out;
    ExpectYear(bakery, 2018);
    ExpectYear(joinery, 2018);

    // Turnover keys book to an account of type 1: their 2024 ids are exchanged
    // back, so those rows are the 2018 template's again, labels included; 200
    // holds both periods' turnover, as on the 2024 form.
    const auto form = MappingRows(bakery + "/MWSTFORM.VTS");
    const auto original = MappingRows(Template(2018, 0));
    ASSERT_EQ(form.size(), original.size());
    EXPECT_EQ(form[0][1], "USN77+USB77+USN25+USN37+USN81+USB81+USN26+USN38+USN00+UEX00");
    for (std::size_t row = 1; row < 6; ++row) {
        EXPECT_EQ(form[row][0], original[row][0]) << row;
        EXPECT_EQ(form[row][1], original[row][1]) << row;
    }
    EXPECT_EQ(form[3][2], "USN77_ST+USB77_ST");
    // Input tax keys book to an account of type 0 and keep their 2024 ids.
    EXPECT_EQ(form[7][0], "II_7_a");
    EXPECT_EQ(form[7][1], "VSN81+VSB81");
}

}  // namespace

namespace {

// ---- Locales, damaged, read-only and Windows-copied mandates ---------------

// QApplication adopts the user's locale: under a decimal comma the rate texts
// must still find the old keys, and the workbook must still be extended.
TEST_F(Conversion, UnderADecimalCommaLocaleTheKeysAreConverted) {
    const auto comma = commalocale::Find();
    if (!comma) GTEST_SKIP() << commalocale::kMissing;
    const ProgramRun overview = BatchUnder(*comma, "show-keys", bakery);
    EXPECT_EQ(overview.exitCode, 0);
    EXPECT_NE(overview.out.find("\t7.7%\t"), std::string::npos) << overview.out;
    EXPECT_EQ(overview.out.find("7,7"), std::string::npos) << overview.out;

    const ProgramRun insertion = BatchUnder(*comma, "insert-keys", bakery);
    EXPECT_EQ(insertion.exitCode, 0) << insertion.out;
    EXPECT_NE(insertion.out.find("VIN81 wurde eingefügt"), std::string::npos) << insertion.out;
    const std::set<std::string> ids = TaxIds(bakery);
    for (const char* id : {"USN81", "USN26", "USN38", "VSN81", "VSB26"}) EXPECT_EQ(ids.count(id), 1u) << id;
    EXPECT_NE(MappingRows(bakery + "/MWSTFORM.VTS"), MappingRows(Template(2018, 0))) << "formulas extended";
    EXPECT_EQ(ExitStatus(BatchUnder(*comma, "adapt-accounts", bakery)), 0);
    EXPECT_EQ(AccountKey(bakery, "4400"), "VSN81");
}

// A damaged workbook stops the key commands before any record changes; the
// form activation replaces it by the template, the backup keeping it.
TEST_F(Conversion, ADamagedWorkbookFailsTheRunAndIsNamed) {
    const std::string form = bakery + "/MWSTFORM.VTS";
    WriteBytes(form, "keine Tabelle");
    const std::set<std::string> before = TaxIds(bakery);
    const ProgramRun insertion = Batch("insert-keys", bakery);
    EXPECT_EQ(ExitStatus(insertion), 1) << insertion.out;
    EXPECT_NE(insertion.out.find("Das MWST-Formular " + form + " kann nicht gelesen werden: "), std::string::npos)
        << insertion.out;
    EXPECT_EQ(TaxIds(bakery), before) << "no key inserted";
    EXPECT_FALSE(fs::exists(bakery + "/.mwst-formpass")) << "no pass pending";
    EXPECT_EQ(ReadBytes(form), "keine Tabelle");
    const ProgramRun activation = Batch("form-2024", bakery);
    EXPECT_EQ(ExitStatus(activation), 0) << activation.out;
    EXPECT_NE(activation.out.find("Formular " + form + " passt nicht zur Vorlage"), std::string::npos)
        << activation.out;
    EXPECT_EQ(ReadBytes(form), ReadBytes(Template(2024, 0)));
}

TEST_F(Conversion, AReadOnlyMandateKeepsItsForms) {
    ASSERT_EQ(Program("mwst-mandant", "read-only " + bakery + " on").exitCode, 0);
    const ProgramRun forms = Batch("form-2024", bakery);
    EXPECT_EQ(ExitStatus(forms), 1);
    EXPECT_NE(forms.out.find("Der Mandant " + bakery + " ist schreibgeschützt"), std::string::npos) << forms.out;
    ExpectYear(bakery, 2018);
}

// Copied from Windows: every workbook and companion under another spelling.
TEST_F(Conversion, AMandateCopiedFromWindowsIsConvertedInPlace) {
    const auto& steps = MwstTemplateSteps();
    std::vector<std::string> spelled;
    for (const MwstTemplateStep& step : steps) {
        std::string lower = step.mandateFile;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        fs::rename(bakery + "/" + step.mandateFile, bakery + "/" + lower);
        spelled.push_back(bakery + "/" + lower);
    }
    // Files only: the run's backup folder is a new entry by design.
    const auto count = [&] {
        return std::count_if(fs::directory_iterator(bakery), fs::directory_iterator(),
                             [](const fs::directory_entry& entry) { return entry.is_regular_file(); });
    };
    const auto files = count();
    EXPECT_EQ(Batch("insert-keys", bakery).exitCode, 0);
    EXPECT_NE(MappingRows(spelled[0]), MappingRows(Template(2018, 0))) << "formulas extended in place";
    EXPECT_EQ(Batch("form-2024", bakery).exitCode, 0);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].formUpdate)
            EXPECT_EQ(Version(spelled[i]), "2024") << spelled[i];
        else
            EXPECT_EQ(ReadBytes(spelled[i]), ReadBytes(Template(2024, i))) << spelled[i];
        EXPECT_FALSE(fs::exists(bakery + "/" + steps[i].mandateFile)) << steps[i].mandateFile;
    }
    EXPECT_EQ(count(), files) << "no file doubled";
}

TEST_F(Conversion, StrayTemporaryFilesAreRemovedByTheNextRun) {
    const std::string stray = tempname::For(bakery + "/MWSTFORM.VTS", "123456789");
    const std::string other = bakery + "/MWSTFORM.VTS.bak";
    WriteBytes(stray, "halb");
    WriteBytes(other, "Sicherung");
    // show-keys only reads and leaves the folder as it is; a run that holds the mandate cleans up.
    EXPECT_EQ(Batch("show-keys", bakery).exitCode, 0);
    EXPECT_TRUE(fs::exists(stray));
    EXPECT_EQ(Batch("insert-keys", bakery).exitCode, 0);
    EXPECT_FALSE(fs::exists(stray));
    EXPECT_EQ(ReadBytes(other), "Sicherung");
}

}  // namespace
