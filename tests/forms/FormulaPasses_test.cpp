// The extend, rename and delete passes over the mapping sheet, run through the
// updater on real workbook files; the application pair list is given directly.
#include <sys/stat.h>

#include <filesystem>

#include "base/CException.h"
#include "formula/KeyPair.h"
#include "forms/MwstFormulaUpdater.h"
#include "forms/MwstSheet.h"
#include "tests/forms/FormsFixture.h"

namespace fs = std::filesystem;
using formstest::FileBytes;
using formstest::MappingCell;
using formstest::Row;
using formstest::WriteForm;
using Keys = std::vector<std::string>;

namespace {

Keys Pairs(const std::vector<std::pair<std::string, std::string>>& pairs) {
    Keys out;
    for (const auto& [from, to] : pairs) out.push_back(keypair::Make(from, to));
    return out;
}

class FormulaPass : public StartedForms {
protected:
    void SetUp() override {
        StartedForms::SetUp();
        OpenMandate();
        form = InMandate("MWSTFORM.VTS");
    }

    // One updater run in `mode` over the mandate's workbook.
    void Run(int mode, const Keys* first, const Keys* second, const Keys* allNames, const Keys& appPairs) {
        MwstFormulaUpdater dlg(Ctx());
        dlg.m_mode = mode;
        dlg.m_pFirstArray = first;
        dlg.m_pSecondArray = second;
        dlg.m_pAllNames = allNames;
        dlg.m_applicationPairs = [appPairs](Keys& ar) { ar.insert(ar.end(), appPairs.begin(), appPairs.end()); };
        dlg.DoModal();
    }
    void Extend(const Keys& oldIds, const Keys& newIds, const Keys* allNames, const Keys& appPairs) {
        Run(MwstFormulaUpdater::kModeExtend, &oldIds, &newIds, allNames, appPairs);
    }
    void Delete(const Keys& ids, const Keys& appPairs) {
        Run(MwstFormulaUpdater::kModeDelete, &ids, nullptr, nullptr, appPairs);
    }
    std::string Cell(long row, long col) const { return MappingCell(form, row, col); }

    std::string form;
};

// ---- The worked example ----------------------------------------------------------

TEST_F(FormulaPass, WorkedExampleExtendThenDelete) {
    WriteForm(form, {{"II_7_a", "A+C", "C_x"}, {"Z1", "A+C", "A_y"}, {"II_7_a_spez", "Q", "R"}});
    const Keys pairs = Pairs({{"A", "B"}, {"C", "D"}});
    Extend({"A"}, {"B"}, &pairs, pairs);
    EXPECT_EQ(Cell(1, 2), "A+C") << "the super row keeps the old keys, its _spez row has the new ones";
    EXPECT_EQ(Cell(1, 3), "C_x");
    EXPECT_EQ(Cell(2, 2), "A+B+C+D");
    EXPECT_EQ(Cell(2, 3), "A_y+B_y");
    EXPECT_EQ(Cell(3, 2), "B+D");
    EXPECT_EQ(Cell(3, 3), "D_x");

    Delete({"B"}, pairs);
    EXPECT_EQ(Cell(1, 2), "A+C");
    EXPECT_EQ(Cell(1, 3), "C_x");
    EXPECT_EQ(Cell(2, 2), "A+C");
    EXPECT_EQ(Cell(2, 3), "A_y");
    EXPECT_EQ(Cell(3, 2), "0");
    EXPECT_EQ(Cell(3, 3), "0");
}

// ---- Rows the scan visits ---------------------------------------------------------

TEST_F(FormulaPass, EmptyFirstLabelChangesNothingAndSavesNothing) {
    WriteForm(form, {{"", "A", "A"}, {"Z1", "A", "A"}});
    const std::string before = FileBytes(form);
    const Keys pairs = Pairs({{"A", "B"}});
    app->m_changeFlag = 0;
    Extend({"A"}, {"B"}, &pairs, pairs);
    EXPECT_EQ(FileBytes(form), before);
}

TEST_F(FormulaPass, FlagSetBeforeTheRunSavesAnUnchangedSheet) {
    WriteForm(form, {{"", "A", "A"}});
    app->m_changeFlag = 1;
    Run(99, nullptr, nullptr, nullptr, {});
    CVCF1 saved;
    workbooktest::Load(saved, form);
    EXPECT_EQ(saved.GetViewProperty("ShowFormulas"), 1) << "written back in the editing state";
}

TEST_F(FormulaPass, OtherModeRunsNoJobAndWithoutFlagSavesNothing) {
    WriteForm(form, {{"Z1", "A", ""}});
    const std::string before = FileBytes(form);
    app->m_changeFlag = 0;
    const Keys keys{"A"}, newKeys{"B"};
    Run(7, &keys, &newKeys, nullptr, Pairs({{"A", "B"}}));
    EXPECT_EQ(FileBytes(form), before);
}

TEST_F(FormulaPass, RowBelowTheFirstEmptyLabelIsNeverTouched) {
    WriteForm(form, {{"Z1", "A", ""}, {"", "", ""}, {"Z3", "A", ""}});
    const Keys pairs = Pairs({{"A", "B"}});
    Extend({}, {}, &pairs, pairs);
    EXPECT_EQ(Cell(1, 2), "A+B");
    EXPECT_EQ(Cell(3, 2), "A");
    Delete({}, pairs);
    EXPECT_EQ(Cell(3, 2), "A");
}

TEST_F(FormulaPass, LabelDifferingOnlyInCaseIsAnOrdinaryRow) {
    WriteForm(form, {{"ii_7_a", "A+C", ""}, {"II_7_A_spez", "Q", ""}});
    const Keys pairs = Pairs({{"C", "D"}});
    Extend({"A"}, {"B"}, &pairs, pairs);
    EXPECT_EQ(Cell(1, 2), "A+C+D");
    EXPECT_EQ(Cell(2, 2), "Q");
}

TEST_F(FormulaPass, EmptyCellsOfAVisitedRowBecomeZero) {
    WriteForm(form, {{"Z1", "A", ""}});
    const Keys pairs = Pairs({{"X", "Y"}});
    app->m_changeFlag = 1;
    Extend({}, {}, nullptr, pairs);
    EXPECT_EQ(Cell(1, 2), "A");
    EXPECT_EQ(Cell(1, 3), "0");
}

TEST_F(FormulaPass, RowWithNothingAppliedIsNotWritten) {
    WriteForm(form, {{"II_7_b", "A", ""}, {"Z1", "A", ""}});
    app->m_changeFlag = 1;
    Extend({"A"}, {"B"}, nullptr, {});
    CVCF1 saved;
    workbooktest::Load(saved, form);
    saved.SetSheet(4);
    EXPECT_EQ(saved.GetTypeRC(1, 3), 0) << "the mandate has no pair: the caller's keys alone change no row";
    EXPECT_EQ(saved.GetTypeRC(2, 3), 0);
}

TEST_F(FormulaPass, ConstantsInTheFormulaColumnsStay) {
    CVCF1 book;
    book.SetSheetName(4, "Zuordnung");
    book.SetSheet(4);
    book.SetTextRC(1, 1, "Z1");
    book.SetNumberRC(1, 2, 12.5);
    book.SetTextRC(1, 3, "Bemerkung");
    book.SetSheet(1);
    book.Write(form, CVCF1::kFileTypeOoxml);
    app->m_changeFlag = 1;
    Extend({}, {}, nullptr, Pairs({{"A", "B"}}));
    EXPECT_EQ(Cell(1, 2), "12.5");
    EXPECT_EQ(Cell(1, 3), "Bemerkung");
}

// ---- Super rows and _spez rows -------------------------------------------------------

TEST_F(FormulaPass, EmptyPairListLeavesEveryKeyInTheSuperRow) {
    WriteForm(form, {{"II_9", "A+C", "C"}, {"II_9_spez", "Q", ""}});
    const Keys none;
    Extend({"A"}, {"B"}, &none, Pairs({{"C", "D"}}));
    EXPECT_EQ(Cell(1, 2), "A+C");
    EXPECT_EQ(Cell(2, 2), "0");
    EXPECT_EQ(Cell(2, 3), "0");
}

// A sheet an earlier pass left with new keys in a super row and its _spez row
// counted them twice: the pass puts each once, in the _spez row.
TEST_F(FormulaPass, NewKeysInASuperRowMoveToItsSpezRowOnce) {
    WriteForm(form, {{"II_7_a", "A+B+C", "A_ST+B_ST"}, {"II_7_a_spez", "B", "B_ST"}});
    const Keys pairs = Pairs({{"A", "B"}, {"C", "D"}});
    Extend({}, {}, &pairs, pairs);
    EXPECT_EQ(Cell(1, 2), "A+C");
    EXPECT_EQ(Cell(1, 3), "A_ST");
    EXPECT_EQ(Cell(2, 2), "B+D");
    EXPECT_EQ(Cell(2, 3), "B_ST");
}

TEST_F(FormulaPass, WithoutPairListASpezRowIsExtendedLikeAnyOther) {
    WriteForm(form, {{"II_9", "A", ""}, {"II_9_spez", "C+Q", ""}});
    Extend({"A"}, {"B"}, nullptr, Pairs({{"C", "D"}}));
    EXPECT_EQ(Cell(2, 2), "C+D+Q");
}

TEST_F(FormulaPass, SpezRowWithoutItsSuperRowGetsZero) {
    WriteForm(form, {{"Z1", "A", ""}, {"II_7_c_spez", "A", "C"}});
    const Keys pairs = Pairs({{"A", "B"}});
    Extend({"A"}, {"B"}, &pairs, pairs);
    EXPECT_EQ(Cell(2, 2), "0");
    EXPECT_EQ(Cell(2, 3), "0");
}

TEST_F(FormulaPass, PairRenamesPileUpInListOrder) {
    WriteForm(form, {{"II_7_d", "A", ""}, {"II_7_d_spez", "", ""}});
    const Keys pairs = Pairs({{"A", "B"}, {"B", "C"}});
    Extend({}, {}, &pairs, {});
    EXPECT_EQ(Cell(2, 2), "C");
}

TEST_F(FormulaPass, RepeatedSuperNameKeepsEveryRowAndTheLastIsTheBase) {
    WriteForm(form, {{"II_7_e", "A", ""}, {"II_7_e", "A+C", ""}, {"II_7_e_spez", "", ""}, {"II_7_e_spez", "", ""}});
    const Keys pairs = Pairs({{"A", "B"}, {"C", "D"}});
    Extend({"A"}, {"B"}, &pairs, pairs);
    EXPECT_EQ(Cell(1, 2), "A");
    EXPECT_EQ(Cell(2, 2), "A+C");
    EXPECT_EQ(Cell(3, 2), "B+D");
    EXPECT_EQ(Cell(4, 2), "B+D");
}

TEST_F(FormulaPass, ExtendTwiceGivesWhatOnceGivesAndDeleteUndoesIt) {
    WriteForm(form, {{"II_7_a", "A+C", "C_x"}, {"Z1", "A+C", ""}, {"II_7_a_spez", "", ""}});
    const Keys pairs = Pairs({{"A", "B"}, {"C", "D"}});
    Extend({"A", "C"}, {"B", "D"}, &pairs, pairs);
    const std::vector<std::string> once{Cell(1, 2), Cell(1, 3), Cell(2, 2), Cell(3, 2), Cell(3, 3)};
    EXPECT_EQ(once, (std::vector<std::string>{"A+C", "C_x", "A+B+C+D", "B+D", "D_x"}));
    Extend({"A", "C"}, {"B", "D"}, &pairs, pairs);
    EXPECT_EQ((std::vector<std::string>{Cell(1, 2), Cell(1, 3), Cell(2, 2), Cell(3, 2), Cell(3, 3)}), once);
    Delete({}, pairs);
    EXPECT_EQ(Cell(2, 2), "A+C");
}

TEST_F(FormulaPass, DeleteLeavesOldKeysWhateverKeysAreHandedIn) {
    WriteForm(form, {{"II_7_a", "A+B", ""}, {"Z1", "A+B", ""}, {"II_7_a_spez", "B", "B"}});
    Delete({"A"}, Pairs({{"A", "B"}}));
    EXPECT_EQ(Cell(1, 2), "A");
    EXPECT_EQ(Cell(2, 2), "A");
    EXPECT_EQ(Cell(3, 2), "0");
}

TEST_F(FormulaPass, RenameTreatsEveryRowAlike) {
    WriteForm(form, {{"II_7_a", "A+C", "A_x"}, {"II_7_a_spez", "A", ""}, {"Z1", "C+A", ""}});
    const Keys oldIds{"A", "C"}, newIds{"B", "D"};
    Run(MwstFormulaUpdater::kModeRename, &oldIds, &newIds, nullptr, {});
    EXPECT_EQ(Cell(1, 2), "B+D");
    EXPECT_EQ(Cell(1, 3), "B_x");
    EXPECT_EQ(Cell(2, 2), "B");
    EXPECT_EQ(Cell(3, 2), "D+B");
}

TEST_F(FormulaPass, SheetAndSelectionAreRestored) {
    WriteForm(form, {{"Z1", "A", ""}});
    MwstFormulaUpdater dlg(Ctx());
    dlg.m_mode = MwstFormulaUpdater::kModeExtend;
    dlg.m_applicationPairs = [](Keys& ar) { ar.push_back(keypair::Make("A", "B")); };
    ASSERT_NE(dlg.LoadMandateSheet(), 0);
    dlg.m_mwstform.SetSheet(2);
    dlg.m_mwstform.SetSelection("C3:D4");
    dlg.ExtendTaxid(nullptr, nullptr);
    EXPECT_EQ(dlg.m_mwstform.GetSheet(), 2);
    EXPECT_EQ(dlg.m_mwstform.GetSelection(), "C3:D4");
    dlg.m_mwstform.SetSheet(4);
    EXPECT_EQ(dlg.m_mwstform.GetFormulaRC(1, 2), "A+B");
}

// ---- Failures --------------------------------------------------------------------------

TEST_F(FormulaPass, ShorterSecondListStopsThePassUnsaved) {
    WriteForm(form, {{"II_7_a", "A+C", ""}, {"Z1", "A", ""}});
    const std::string before = FileBytes(form);
    const Keys oldIds{"A", "C"}, newIds{"B"};
    app->m_changeFlag = 1;
    EXPECT_THROW(Run(MwstFormulaUpdater::kModeExtend, &oldIds, &newIds, nullptr, Pairs({{"A", "B"}})),
                 CInvalidArgException);
    EXPECT_THROW(Run(MwstFormulaUpdater::kModeRename, &oldIds, &newIds, nullptr, {}), CInvalidArgException);
    EXPECT_EQ(FileBytes(form), before);
}

// The load failure reaches the caller, who names the file and the reason.
TEST_F(FormulaPass, UnreadableWorkbookIsLeftAlone) {
    formstest::WriteFileBytes(form, "kein Arbeitsblatt");
    app->m_changeFlag = 1;
    const Keys oldIds{"A"}, newIds{"B"};
    EXPECT_THROW(Run(MwstFormulaUpdater::kModeExtend, &oldIds, &newIds, nullptr, Pairs({{"A", "B"}})),
                 CFileException);
    EXPECT_EQ(FileBytes(form), "kein Arbeitsblatt");
}

TEST_F(FormulaPass, ReadOnlyOwnWorkbookIsNotReplacedByTheTemplatesResult) {
    const std::string shared = InTemplates("MWSTFORM.VTS");
    WriteForm(form, {{"Z1", "A", ""}});
    WriteForm(shared, {{"Z1", "A", ""}});
    ::chmod(form.c_str(), 0444);
    ::chmod(shared.c_str(), 0666);
    const std::string ownBefore = FileBytes(form), sharedBefore = FileBytes(shared);
    formstest::AsOrdinaryUser nobody;
    // The result has nowhere to go: the caller is told, nothing is written.
    EXPECT_THROW(Extend({}, {}, nullptr, Pairs({{"A", "B"}})), CFileException);
    EXPECT_EQ(FileBytes(form), ownBefore);
    EXPECT_EQ(FileBytes(shared), sharedBefore);
}

// ---- The text operations of the updater ------------------------------------------------

TEST_F(FormulaPass, MembersSetTheCommandsFlagAndTheFreeRenameNone) {
    MwstFormulaUpdater dlg(Ctx());
    app->m_changeFlag = 0;
    EXPECT_EQ(dlg.RenameFormel("C", "A", "B"), "C");
    EXPECT_EQ(app->m_changeFlag, 0);
    EXPECT_EQ(dlg.ExtendFormel("A", "A", "B"), "A+B");
    EXPECT_EQ(app->m_changeFlag, 1);
    app->m_changeFlag = 0;
    EXPECT_EQ(dlg.DeleteTaxidFormel("A+B", "B"), "A");
    EXPECT_EQ(app->m_changeFlag, 1);
    app->m_changeFlag = 0;
    EXPECT_EQ(RenameFormel("A_x", "A", "B"), "B_x");
    EXPECT_EQ(app->m_changeFlag, 0) << "no flag is reached behind the caller's back";
}

TEST(SuperNames, FixedListInOrder) {
    std::vector<std::string> names{"old"};
    FillSuperNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"II_7_a", "II_7_b", "II_7_c", "II_7_d", "II_7_e", "II_9", "Z302",
                                               "Z312", "Z342"}));
}

TEST(KeyPairs, SplitAtTheFirstSeparator) {
    std::string from, to;
    EXPECT_TRUE(keypair::Split("VSN77^^_^^VSN81", from, to));
    EXPECT_EQ(from, "VSN77");
    EXPECT_EQ(to, "VSN81");
    EXPECT_TRUE(keypair::Split("A^^_^^B^^_^^C", from, to));
    EXPECT_EQ(from, "A");
    EXPECT_EQ(to, "B^^_^^C");
    Keys oldIds, newIds;
    keypair::SplitAll({"A^^_^^B", "kaputt", "^^_^^"}, oldIds, newIds);
    EXPECT_EQ(oldIds, (Keys{"A", ""}));
    EXPECT_EQ(newIds, (Keys{"B", ""}));
}

}  // namespace
