// The form-formula entry points of the tax key commands on a real mandate:
// the application pair list from its tax keys, where the result is written,
// and what the caller learns when a pass fails.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "base/Format.h"
#include "core/Strings.h"
#include "formula/KeyPair.h"
#include "forms/MwstFormulaUpdater.h"
#include "res/Resource.h"
#include "tests/forms/FormsFixture.h"

namespace fs = std::filesystem;
using formstest::FileBytes;
using formstest::MappingCell;
using formstest::WriteForm;
using Keys = std::vector<std::string>;

namespace {

// VSN77 (7.7 %) and UST25 (2.5 %) are old keys with readable accounts; N81 is
// no old key; OHN77 has no readable account.
const std::vector<formstest::TaxKey> kKeys = {
    {"VSN77", 0.077f, "1000"}, {"UST25", 0.025f, "2000"}, {"N81", 0.081f, "1000"}, {"OHN77", 0.077f, "9999"}};
const std::vector<formstest::Account> kAccounts = {{"1000", 0}, {"2000", 1}};

class EntryPoints : public StartedForms {
protected:
    void SetUp() override {
        StartedForms::SetUp();
        form = InMandate("MWSTFORM.VTS");
    }
    std::string Cell(const std::string& path, long row, long col) const { return MappingCell(path, row, col); }

    const Keys pairs = {keypair::Make("VSN77", "VSN81"), keypair::Make("UST25", "UST26")};
    std::string form;
};

TEST_F(EntryPoints, KeyPairListOfAllKeysOrOfTypeOneAccounts) {
    OpenMandate(kKeys, kAccounts);
    Keys all{"schon da"};
    app->GetTaxArray(all, 1);
    EXPECT_EQ(all, (Keys{"schon da", "UST25^^_^^UST26", "VSN77^^_^^VSN81"}));
    Keys typeOne;
    app->GetTaxArray(typeOne, 0);
    EXPECT_EQ(typeOne, (Keys{"UST25^^_^^UST26"}));
}

TEST_F(EntryPoints, KeyPairListLeavesOutANewIdNoKeyCanCarry) {
    OpenMandate(kKeys, kAccounts);
    // The table's new id is far too long for a key: insert-keys refuses it,
    // so no formula may be given it either.
    std::ofstream(InMandate("quorvex.txt"), std::ios::binary) << "VSN77 ==> " << std::string(1000, 'X') << "\r\n";
    Keys all;
    app->GetTaxArray(all, 1);
    EXPECT_EQ(all, (Keys{"UST25^^_^^UST26"}));
}

TEST_F(EntryPoints, KeyPairListWithoutTaxFileShowsTheLibrarysError) {
    Keys ar;
    app->GetTaxArray(ar, 1);
    EXPECT_TRUE(ar.empty());
    ASSERT_EQ(seam.boxes.size(), 1u);
}

TEST_F(EntryPoints, WorkedExampleOnTheMandatesWorkbook) {
    OpenMandate(kKeys, kAccounts);
    WriteForm(form, {{"II_7_a", "VSN77+UST25", ""}, {"Z1", "VSN77+UST25", ""}, {"II_7_a_spez", "X", ""}});

    EXPECT_TRUE(MwstExtendTaxid(Ctx(), {"VSN77"}, {"VSN81"}, &pairs));
    EXPECT_EQ(Cell(form, 1, 2), "VSN77+UST25") << "the new keys stand in the _spez row only";
    EXPECT_EQ(Cell(form, 2, 2), "VSN77+VSN81+UST25+UST26");
    EXPECT_EQ(Cell(form, 3, 2), "VSN81+UST26");

    EXPECT_TRUE(MwstDeleteTaxid(Ctx(), {"VSN81"}));
    EXPECT_EQ(Cell(form, 1, 2), "VSN77+UST25");
    EXPECT_EQ(Cell(form, 2, 2), "VSN77+UST25");
    EXPECT_EQ(Cell(form, 3, 2), "0");
    EXPECT_EQ(Log(), "");
}

TEST_F(EntryPoints, TemplateStaysAndTheResultBecomesTheMandatesOwnWorkbook) {
    OpenMandate(kKeys, kAccounts, /*flatRate=*/true);
    const std::string shared = InTemplates("MWSTPAU.VTS");
    WriteForm(shared, {{"Z1", "VSN77", ""}});
    const std::string before = FileBytes(shared);

    EXPECT_TRUE(MwstExtendTaxid(Ctx(), {}, {}, &pairs));
    EXPECT_EQ(FileBytes(shared), before);
    EXPECT_EQ(Cell(InMandate("MWSTPAU.VTS"), 1, 2), "VSN77+VSN81");
}

TEST_F(EntryPoints, NoWorkbookAnywhereWritesNothingAndSaysSo) {
    OpenMandate(kKeys, kAccounts);
    formstest::InDirectory here(templatesDir);
    EXPECT_TRUE(MwstExtendTaxid(Ctx(), {"VSN77"}, {"VSN81"}, &pairs));
    EXPECT_TRUE(MwstDeleteTaxid(Ctx(), {"VSN81"}));
    EXPECT_FALSE(fs::exists(form));
    EXPECT_TRUE(fs::is_empty(templatesDir));
    const std::string line = Format(LoadString(IDS_LOG_NO_FORM_WORKBOOK), form);
    EXPECT_EQ(Log(), line + line);
    EXPECT_EQ(app->Failures(), 0);
}

// The working directory's "MWSTFORM.VTS" is nobody's form: it is neither read
// nor extended, and the flat-rate mandate gets no "MWSTPAU.VTS" made from it.
TEST_F(EntryPoints, AWorkbookInTheWorkingDirectoryIsNeverTaken) {
    OpenMandate(kKeys, kAccounts, /*flatRate=*/true);
    WriteForm(form, {{"Z1", "VSN77", ""}});
    const std::string cwd = TempPath("arbeit");
    fs::create_directories(cwd);
    WriteForm(cwd + "/MWSTFORM.VTS", {{"Z1", "VSN77", ""}});
    const std::string foreign = FileBytes(cwd + "/MWSTFORM.VTS");
    const std::string own = FileBytes(form);
    formstest::InDirectory here(cwd);

    app->m_changeFlag = 1;
    EXPECT_TRUE(MwstExtendTaxid(Ctx(), {"VSN77"}, {"VSN81"}, &pairs));
    EXPECT_FALSE(fs::exists(InMandate("MWSTPAU.VTS")));
    EXPECT_EQ(FileBytes(cwd + "/MWSTFORM.VTS"), foreign);
    EXPECT_EQ(FileBytes(form), own);
    EXPECT_EQ(Log(), Format(LoadString(IDS_LOG_NO_FORM_WORKBOOK), InMandate("MWSTPAU.VTS")));
}

// A damaged workbook is left as it is, and the log says which and why: the
// formulas were not adapted, and the failure counts (mwst-batch exits 1).
TEST_F(EntryPoints, CorruptWorkbookIsLeftAsItIsAndReported) {
    OpenMandate(kKeys, kAccounts);
    formstest::WriteFileBytes(form, "keine Tabelle");
    EXPECT_FALSE(MwstExtendTaxid(Ctx(), {"VSN77"}, {"VSN81"}, &pairs));
    EXPECT_FALSE(MwstDeleteTaxid(Ctx(), {"VSN81"}));
    EXPECT_EQ(FileBytes(form), "keine Tabelle");
    const std::string line = "Formeln in " + form + " nicht angepasst: ";
    EXPECT_EQ(Log().rfind(line, 0), 0u) << Log();
    EXPECT_NE(Log().find(line, line.size()), std::string::npos) << Log();
    EXPECT_NE(Log().find(form + ": "), std::string::npos) << "the reason: " << Log();
    EXPECT_EQ(app->Failures(), 2);
}

TEST_F(EntryPoints, WorkbookCopiedFromWindowsIsExtendedInPlace) {
    OpenMandate(kKeys, kAccounts);
    const std::string windows = InMandate("mwstform.vts");
    WriteForm(windows, {{"II_7_a", "VSN77", ""}});
    EXPECT_TRUE(MwstExtendTaxid(Ctx(), {"VSN77"}, {"VSN81"}, &pairs));
    EXPECT_EQ(Cell(windows, 1, 2), "VSN77+VSN81");
    for (const auto& entry : fs::directory_iterator(mandateDir))
        EXPECT_NE(entry.path().filename().string(), "MWSTFORM.VTS") << "no second spelling beside it";
}

// The mandate's own workbook may not be written, so the templates directory's
// copy was taken: the pass result has nowhere to go, and the log says so.
TEST_F(EntryPoints, AWriteProtectedOwnWorkbookIsReportedNotReplaced) {
    OpenMandate(kKeys, kAccounts);
    const std::string own = form;
    WriteForm(own, {{"II_7_a", "VSN77", ""}});
    WriteForm(InTemplates("MWSTFORM.VTS"), {{"II_7_a", "VSN77", ""}});
    ::chmod(own.c_str(), 0444);
    ::chmod(InTemplates("MWSTFORM.VTS").c_str(), 0666);
    const std::string before = FileBytes(own);
    const std::string shared = FileBytes(InTemplates("MWSTFORM.VTS"));
    bool ran = true;
    {
        formstest::AsOrdinaryUser nobody;
        ran = MwstExtendTaxid(Ctx(), {"VSN77"}, {"VSN81"}, &pairs);
    }
    EXPECT_FALSE(ran);
    EXPECT_EQ(FileBytes(own), before);
    EXPECT_EQ(FileBytes(InTemplates("MWSTFORM.VTS")), shared);
    EXPECT_EQ(Log().rfind("Formeln in " + own + " nicht angepasst: " + own + " kann nicht geschrieben werden", 0), 0u)
        << Log();
    EXPECT_EQ(app->Failures(), 1);
}

TEST_F(EntryPoints, ShorterNewKeyListIsReportedAndNothingIsSaved) {
    OpenMandate(kKeys, kAccounts);
    WriteForm(form, {{"II_7_a", "VSN77+UST25", ""}, {"Z1", "VSN77", ""}});
    const std::string before = FileBytes(form);
    app->m_changeFlag = 1;

    EXPECT_FALSE(MwstExtendTaxid(Ctx(), {"VSN77", "UST25"}, {"VSN81"}, &pairs));
    EXPECT_EQ(FileBytes(form), before);
    EXPECT_NE(Log().find("Formeln in " + form + " nicht angepasst: "), std::string::npos) << Log();
    EXPECT_EQ(Log().substr(Log().size() - 2), "\r\n");
}

TEST_F(EntryPoints, InterruptedSaveIsReportedAndKeepsTheOldFile) {
    OpenMandate(kKeys, kAccounts);
    WriteForm(form, {{"Z1", "VSN77", ""}});
    const std::string before = FileBytes(form);

    bool ran = true;
    {
        formstest::FileSizeLimit limit(512);
        ran = MwstExtendTaxid(Ctx(), {}, {}, &pairs);
    }
    EXPECT_FALSE(ran);
    EXPECT_EQ(FileBytes(form), before);
    EXPECT_NE(Log().find("nicht angepasst"), std::string::npos);
}

}  // namespace

namespace {

// The removal of old keys keeps the new keys that the 2024 form sums, even
// for old keys still in use: only the deleted old keys leave the formulas.
TEST_F(EntryPoints, RemovalOfOldKeysTakesOnlyThoseKeysOutOfTheFormulas) {
    OpenMandate(kKeys, kAccounts);  // VSN77 stays (in use), UST25 was deleted
    WriteForm(form, {{"II_7_a", "VSN81+UST25+UST26", "UST25"},
                     {"Z303", "VSN81+VSN77", ""},
                     {"II_7_a_spez", "VSN81+UST26", ""}});
    EXPECT_TRUE(MwstDeleteOldTaxid(Ctx(), {"UST25"}));
    EXPECT_EQ(Cell(form, 1, 2), "VSN81+UST26");
    EXPECT_EQ(Cell(form, 1, 3), "0") << "emptied by the removal: the number 0";
    EXPECT_EQ(Cell(form, 2, 2), "VSN81+VSN77") << "new keys of kept old keys stay";
    EXPECT_EQ(Cell(form, 3, 2), "VSN81+UST26") << "special rows keep their formulas";
}

}  // namespace
