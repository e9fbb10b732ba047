// A form workbook whose key names a spreadsheet program wrote in another
// letter case: where it meets the mandate (a pass, a transfer) every key takes
// the mandate's spelling again, and the passes give what they give on the
// workbook as it was before.
#include <filesystem>

#include "forms/KeyCase.h"
#include "formula/KeyPair.h"
#include "forms/MwstDummy2.h"
#include "forms/MwstFormulaUpdater.h"
#include "tests/forms/FormsFixture.h"
#include "tests/forms/LibreOfficeCase.h"

namespace fs = std::filesystem;
using formstest::MappingCell;
using formstest::Row;
using formstest::WriteForm;
using Keys = std::vector<std::string>;

namespace {

KeySpelling Spelling(const Keys& ids) {
    KeySpelling spelling;
    for (const std::string& id : ids) spelling.Add(id);
    return spelling;
}

TEST(MatchKeyCase, KeyPartsTakeTheKnownSpelling) {
    const KeySpelling ids = Spelling({"USN81", "USB81", "USN00", "Vsn7ä"});
    EXPECT_EQ(MatchKeyCase("usn81+USB81+usn00", ids), "USN81+USB81+USN00");
    EXPECT_EQ(MatchKeyCase("usn81_st+usb81_st", ids), "USN81_ST+USB81_ST") << "the whole name was lowered";
    EXPECT_EQ(MatchKeyCase("usn81_St+uSb81_st", ids), "USN81_St+USB81_st") << "a suffix in mixed case stays";
    EXPECT_EQ(MatchKeyCase("VSN7Ä_x+vsn7ä", ids), "Vsn7ä_x+Vsn7ä");
    EXPECT_EQ(MatchKeyCase("xvss76_st+usn81x+usn8", ids), "xvss76_st+usn81x+usn8") << "no known key, no change";
    EXPECT_EQ(MatchKeyCase("usn81++_st+5+", ids), "USN81++_st+5+") << "empty terms and constants stay";
    EXPECT_EQ(MatchKeyCase("(usn81+usn00)", ids), "(usn81+usn00)") << "a bracket is part of the term";
    EXPECT_EQ(MatchKeyCase("", ids), "");
}

TEST(MatchKeyCase, TheFirstSpellingOfAnIdStays) {
    KeySpelling ids = Spelling({"USN81"});
    ids.Add("usn81");
    ids.AddPairs({keypair::Make("usn77", "usn81"), "no pair"});
    EXPECT_EQ(MatchKeyCase("Usn81+USN77", ids), "USN81+usn77");
}

// ---- On the mandate ---------------------------------------------------------------

// Old keys at 7.7 % with accounts of type 1 (turnover) and 0 (input tax), and
// keys at no old rate.
const std::vector<formstest::TaxKey> kKeys = {{"USN77", 0.077f, "3000"}, {"USB77", 0.077f, "3000"},
                                              {"VSN77", 0.077f, "4000"}, {"VSB77", 0.077f, "4000"},
                                              {"USN00", 0.0f, "3000"},   {"VSS24", 0.024f, "4000"},
                                              {"XVSS76", 0.076f, "4000"}};
const std::vector<formstest::Account> kAccounts = {{"3000", 1}, {"4000", 0}};

const std::vector<Row> kForm2018 = {
    {"Z200", "USN77+USB77+USN00", ""},
    {"Z303", "USN77+USB77", "USN77_ST+USB77_ST"},
    {"II_7_a", "VSN77+VSB77", "VSN77_ST+VSB77_ST"},
    {"II_7_a_spez", "", ""},
    {"II_7_e", "VSS24+XVSS76+FREMD1", "VSS24_ST+XVSS76_ST"},
};

class KeyCase : public StartedForms {
protected:
    void SetUp() override {
        StartedForms::SetUp();
        OpenMandate(kKeys, kAccounts);
        form = InMandate("MWSTFORM.VTS");
    }

    std::vector<std::string> Sheet4(const std::string& path) {
        std::vector<std::string> cells;
        for (long row = 1; !MappingCell(path, row, 1).empty(); ++row)
            for (long col = 1; col <= 3; ++col) cells.push_back(MappingCell(path, row, col));
        return cells;
    }

    // The mapping sheet after inserting the new keys, on the form as written
    // or as LibreOffice saved it.
    std::vector<std::string> AfterInsertion(bool savedByLibreOffice) {
        WriteForm(form, kForm2018);
        if (savedByLibreOffice) {
            EXPECT_GT(formstest::SaveAsLibreOfficeWould(form), 0);
        }
        Keys pairs;
        app->GetTaxArray(pairs, 1);
        Keys oldIds, newIds;
        keypair::SplitAll(pairs, oldIds, newIds);
        EXPECT_TRUE(MwstExtendTaxid(Ctx(), oldIds, newIds, &pairs));
        return Sheet4(form);
    }

    std::string form;
};

TEST_F(KeyCase, InsertionOnAWorkbookSavedByLibreOfficeGivesTheSameFormulas) {
    const std::vector<std::string> plain = AfterInsertion(false);
    EXPECT_EQ(plain[4], "USN77+USN81+USB77+USB81");
    EXPECT_EQ(plain[5], "USN77_ST+USN81_ST+USB77_ST+USB81_ST");
    EXPECT_EQ(plain[10], "VSN81+VSB81") << "the _spez row gets the super row's new keys";
    std::vector<std::string> expected = plain;
    expected[13] = "VSS24+XVSS76+fremd1";  // a name the mandate does not know keeps the case it was saved in
    EXPECT_EQ(AfterInsertion(true), expected);
}

TEST_F(KeyCase, RemovalOfNewKeysOnAWorkbookSavedByLibreOffice) {
    AfterInsertion(false);
    formstest::SaveAsLibreOfficeWould(form);
    EXPECT_EQ(MappingCell(form, 2, 3), "usn77_st+usn81_st+usb77_st+usb81_st");
    EXPECT_TRUE(MwstDeleteTaxid(Ctx(), {}));
    EXPECT_EQ(MappingCell(form, 2, 2), "USN77+USB77");
    EXPECT_EQ(MappingCell(form, 2, 3), "USN77_ST+USB77_ST");
    EXPECT_EQ(MappingCell(form, 5, 2), "VSS24+XVSS76+fremd1") << "a name the mandate does not know stays as saved";
}

TEST_F(KeyCase, APassThatChangesNothingElseStillSavesTheMandatesSpelling) {
    WriteForm(form, kForm2018);
    formstest::SaveAsLibreOfficeWould(form);
    MwstFormulaUpdater dlg(Ctx());
    dlg.m_mode = MwstFormulaUpdater::kModeRename;
    const Keys none;
    dlg.m_pFirstArray = &none;
    dlg.m_pSecondArray = &none;
    app->m_changeFlag = 0;
    dlg.DoModal();
    EXPECT_EQ(MappingCell(form, 1, 2), "USN77+USB77+USN00");
    EXPECT_EQ(MappingCell(form, 3, 3), "VSN77_ST+VSB77_ST");
}

TEST_F(KeyCase, TheVersionQueryWritesNothing) {
    WriteForm(form, kForm2018);
    formstest::SaveAsLibreOfficeWould(form);
    const std::string before = formstest::FileBytes(form);
    EXPECT_EQ(MwstGetVersion(form), 2018u);
    EXPECT_EQ(formstest::FileBytes(form), before);
}

TEST_F(KeyCase, KeysOfThePassListsCountAsKnown) {
    // A key removed from the mandate is still named by the pass that takes it out.
    WriteForm(form, {{"Z1", "alt9+USN77", ""}});
    EXPECT_TRUE(MwstDeleteOldTaxid(Ctx(), {"ALT9"}));
    EXPECT_EQ(MappingCell(form, 1, 2), "USN77");
}

TEST_F(KeyCase, TransferBackTo2018FromAWorkbookSavedByLibreOffice) {
    const std::string source = InTemplates("MWST2018eff.vts");
    auto transfer = [&](bool savedByLibreOffice) {
        WriteForm(source, kForm2018, "2018");
        WriteForm(form,
                  {{"Z200", "USN81+USB81+USN00", ""},
                   {"Z303", "USN81+USB81", "USN81_ST+USB81_ST"},
                   {"II_7_a", "VSN81+VSB81", "VSN81_ST+VSB81_ST"},
                   {"II_7_a_spez", "VSN77+VSB77", "VSN77_ST+VSB77_ST"}},
                  "2024");
        if (savedByLibreOffice) formstest::SaveAsLibreOfficeWould(form);
        MwstDummy2 dlg;
        dlg.m_mandate = app->GetMandate();
        dlg.m_sourceName = source;
        dlg.m_targetName = form;
        dlg.m_invert = 1;
        dlg.DoModal();
        EXPECT_EQ(dlg.m_result, 1) << dlg.m_failure;
        return Sheet4(form);
    };
    const std::vector<std::string> plain = transfer(false);
    EXPECT_EQ(plain[5], "USN77_ST+USB77_ST") << "turnover keys are exchanged back";
    EXPECT_EQ(transfer(true), plain);
}

}  // namespace
