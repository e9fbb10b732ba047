// Record layouts, walks and writes through BFile/BRecord.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/pendra/MandateTestSupport.h"

using namespace testsupport;

namespace {

class RecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = NewMandate(temp_);
        ASSERT_EQ(mandate_.OpenMandateFiles(dir_, 1, true), pendra::kOk);
    }
    TempDir temp_;
    std::string dir_;
    Mandate mandate_;
};

TEST(RecordLayout, SizesAndOffsetsAreTheProductsOnes) {
    Mandate mandate;
    EXPECT_EQ(Tax(&mandate).Size(), 72);
    EXPECT_EQ(Konto(&mandate).Size(), 64);
    EXPECT_EQ(Buch(&mandate).Size(), 84);
    EXPECT_EQ(Tax::kRateOffset, 6u);
    EXPECT_EQ(Tax::kQuoteOffset, 10u);
    EXPECT_EQ(Konto::kTaxIdOffset, 18u);
    EXPECT_EQ(Buch::kAmountOffset, 28u);
    EXPECT_EQ(Buch::kTaxIdOffset, 36u);
}

TEST_F(RecordsTest, StoredRecordsComeBackByteForByte) {
    RecordFile<Tax> tax(mandate_);
    FillTax(tax, "VSN77", 0.077f, true, "Vorsteuer 7.7 %");
    std::memcpy(tax.GetBuffer() + Tax::kKontoOffset, "1170", 4);
    unsigned char written[Tax::kSize];
    std::memcpy(written, tax.GetBuffer(), Tax::kSize);
    ASSERT_EQ(tax.Insert(), pendra::kOk);

    Tax back(&mandate_);
    back.UseFile(&tax.File());
    ASSERT_EQ(back.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(std::memcmp(back.GetBuffer(), written, Tax::kSize), 0);
    EXPECT_EQ(back.GetId(), "VSN77");
    EXPECT_FLOAT_EQ(back.GetPercent(), 0.077f);
    EXPECT_FLOAT_EQ(back.GetQuote(), 1.077f);
    EXPECT_EQ(back.UseNetto(), 1);
    EXPECT_EQ(back.GetKonto(), "1170");
    EXPECT_EQ(back.GetText(), "Vorsteuer 7.7 %");
}

TEST_F(RecordsTest, SixByteIdsHaveNoTerminatorAndLongerOnesAreRefusedNotCut) {
    RecordFile<Tax> tax(mandate_);
    FillTax(tax, "VSN077", 0.077f);
    ASSERT_EQ(tax.Insert(), pendra::kOk);
    EXPECT_EQ(tax.SetId("VSN0770"), pendra::kKeyTooLong);
    EXPECT_EQ(tax.GetId(), "VSN077");  // unchanged by the refused set
    EXPECT_EQ(tax.Read("VSN0770"), pendra::kKeyTooLong);
    EXPECT_EQ(tax.Read("VSN077"), pendra::kOk);

    Konto konto(&mandate_);
    EXPECT_EQ(konto.SetTaxId("VSN0770"), pendra::kKeyTooLong);
    EXPECT_EQ(konto.SetTaxId("VSN077"), pendra::kOk);
    EXPECT_EQ(konto.GetTaxId(), "VSN077");
    EXPECT_EQ(konto.ReadFirstByTaxId("VSN0770"), pendra::kKeyTooLong);
    Buch buch(&mandate_);
    EXPECT_EQ(buch.ExistsWithTaxId("VSN0770"), pendra::kKeyTooLong);
}

TEST_F(RecordsTest, WalkIsInKeyOrderWhateverTheInsertOrder) {
    InsertTaxes(mandate_, {"VSN77", "USN77", "VSB25", "A", "VSN770", "B1"});
    RecordFile<Tax> tax(mandate_, BFile::kModeReadOnly);
    EXPECT_EQ(WalkTaxIds(tax),
              (std::vector<std::string>{"A", "B1", "USN77", "VSB25", "VSN77", "VSN770"}));
    EXPECT_EQ(tax.ReadNext(), pendra::kEndOfFile);
    EXPECT_EQ(tax.ReadNext(), pendra::kEndOfFile);  // the end keeps its position
}

TEST_F(RecordsTest, BookingsWalkInNumericOrderNotByteOrder) {
    RecordFile<Buch> buch(mandate_);
    for (std::int32_t number : {256, 1, -5, 65536, 2}) {
        FillBuch(buch, number, "VSN77");
        ASSERT_EQ(buch.Insert(), pendra::kOk);
    }
    EXPECT_EQ(WalkNumbers(buch), (std::vector<std::int32_t>{-5, 1, 2, 256, 65536}));
    ASSERT_EQ(buch.ReadNumber(256), pendra::kOk);
    EXPECT_EQ(buch.GetData().GetDate(), "20231231");
    EXPECT_EQ(buch.GetData().GetAccount(), "4000");
    EXPECT_DOUBLE_EQ(buch.GetData().GetAmount(), 100.0);
    EXPECT_EQ(buch.GetData().GetTaxId(), "VSN77");
}

TEST_F(RecordsTest, InsertAndDeleteThroughSecondHandleDuringWalk) {
    InsertTaxes(mandate_, {"B", "D", "F", "H"});
    RecordFile<Tax> walk(mandate_, BFile::kModeReadOnly), change(mandate_);

    std::vector<std::string> met;
    ASSERT_EQ(walk.ReadFirst(), pendra::kOk);
    met.push_back(walk.GetId());  // B
    ASSERT_EQ(walk.ReadNext(), pendra::kOk);
    met.push_back(walk.GetId());  // D

    FillTax(change, "A", 0.025f);  // before the position: not met
    ASSERT_EQ(change.Insert(), pendra::kOk);
    FillTax(change, "E", 0.025f);  // behind it: met
    ASSERT_EQ(change.Insert(), pendra::kOk);
    ASSERT_EQ(change.Read("F"), pendra::kOk);  // behind it, deleted: not met
    ASSERT_EQ(change.Delete(), pendra::kOk);
    ASSERT_EQ(change.Read("D"), pendra::kOk);  // the walk's own record, deleted
    ASSERT_EQ(change.Delete(), pendra::kOk);

    for (int s = walk.ReadNext(); s == pendra::kOk; s = walk.ReadNext()) met.push_back(walk.GetId());
    EXPECT_EQ(met, (std::vector<std::string>{"B", "D", "E", "H"}));
}

TEST_F(RecordsTest, WalkSeesChangesOfAnotherConnection) {
    InsertTaxes(mandate_, {"B", "D"});
    Mandate second;
    ASSERT_EQ(second.OpenMandateFiles(dir_, 1, true), pendra::kOk);
    RecordFile<Tax> walk(mandate_, BFile::kModeReadOnly);
    ASSERT_EQ(walk.ReadFirst(), pendra::kOk);  // B; the walk statement stays open

    InsertTaxes(second, {"C"});
    ASSERT_EQ(walk.ReadNext(), pendra::kOk);
    EXPECT_EQ(walk.GetId(), "C");
    ASSERT_EQ(walk.ReadNext(), pendra::kOk);
    EXPECT_EQ(walk.GetId(), "D");
}

TEST_F(RecordsTest, HandlesKeepTheirOwnPositions) {
    InsertTaxes(mandate_, {"A", "B", "C"});
    RecordFile<Tax> a(mandate_), b(mandate_);
    ASSERT_EQ(a.ReadFirst(), pendra::kOk);
    ASSERT_EQ(b.ReadFirst(), pendra::kOk);
    ASSERT_EQ(b.ReadNext(), pendra::kOk);
    ASSERT_EQ(a.ReadNext(), pendra::kOk);
    EXPECT_EQ(a.GetId(), "B");
    ASSERT_EQ(b.ReadNext(), pendra::kOk);
    EXPECT_EQ(b.GetId(), "C");
}

TEST_F(RecordsTest, InsertOfExistingKeyIsRefusedAndChangesNothing) {
    InsertTaxes(mandate_, {"VSN77"});
    RecordFile<Tax> tax(mandate_);
    FillTax(tax, "VSN77", 0.081f);
    EXPECT_EQ(tax.Insert(), pendra::kDuplicateKey);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_FLOAT_EQ(tax.GetPercent(), 0.077f);
}

TEST_F(RecordsTest, UpdateChangesDataAndRefusesAChangedKey) {
    InsertTaxes(mandate_, {"VSN77", "VSN81"});
    RecordFile<Tax> tax(mandate_);
    EXPECT_EQ(tax.Update(), pendra::kNoCurrentRecord);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    float rate = 0.081f;
    std::memcpy(tax.GetBuffer() + Tax::kRateOffset, &rate, sizeof rate);
    tax.SetQuote(1.081f);
    ASSERT_EQ(tax.Update(), pendra::kOk);

    ASSERT_EQ(tax.SetId("VSN81"), pendra::kOk);  // would overwrite the other key
    EXPECT_EQ(tax.Update(), pendra::kBadArgument);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_FLOAT_EQ(tax.GetPercent(), 0.081f);
    EXPECT_FLOAT_EQ(tax.GetQuote(), 1.081f);
    ASSERT_EQ(tax.Read("VSN81"), pendra::kOk);
    EXPECT_FLOAT_EQ(tax.GetPercent(), 0.077f);
}

TEST_F(RecordsTest, FailedKeyedReadLeavesNoRecordToChange) {
    InsertTaxes(mandate_, {"VSN77"});
    RecordFile<Tax> tax(mandate_);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(tax.Read("NONE"), pendra::kKeyNotFound);
    EXPECT_EQ(tax.Delete(), pendra::kNoCurrentRecord);
    EXPECT_EQ(tax.Read("VSN77"), pendra::kOk);
}

TEST_F(RecordsTest, WholeBufferCopyBetweenRecordsOfTheSameType) {
    InsertTaxes(mandate_, {"VSN77"});
    RecordFile<Tax> from(mandate_);
    Tax to(&mandate_);
    to.UseFile(&from.File());
    ASSERT_EQ(from.Read("VSN77"), pendra::kOk);
    std::memcpy(to.GetBuffer(), from.GetBuffer(), static_cast<std::size_t>(from.Size()));
    ASSERT_EQ(to.SetId("VSN81"), pendra::kOk);
    ASSERT_EQ(to.Insert(), pendra::kOk);
    ASSERT_EQ(to.Read("VSN81"), pendra::kOk);
    EXPECT_EQ(std::memcmp(to.GetBuffer() + Tax::kRateOffset, from.GetBuffer() + Tax::kRateOffset,
                          Tax::kSize - Tax::kRateOffset),
              0);
}

TEST_F(RecordsTest, ReadOnlyHandleRefusesEveryWrite) {
    InsertTaxes(mandate_, {"VSN77"});
    RecordFile<Tax> tax(mandate_, BFile::kModeReadOnly);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(tax.Update(), pendra::kAccessDenied);
    EXPECT_EQ(tax.Delete(), pendra::kAccessDenied);
    FillTax(tax, "NEW", 0.081f);
    EXPECT_EQ(tax.Insert(), pendra::kAccessDenied);
    EXPECT_EQ(WalkTaxIds(tax), std::vector<std::string>{"VSN77"});
}

TEST_F(RecordsTest, OpenRefusesUnknownNamesClosedMandatesAndRecordsTheName) {
    BFile file(&mandate_);
    EXPECT_EQ(file.Open(dir_ + "/pendra.db#nothing", 0), pendra::kFileNotFound);
    EXPECT_EQ(mandate_.GetLastName(), dir_ + "/pendra.db#nothing");
    EXPECT_EQ(file.Open("/elsewhere/pendra.db#tax", 0), pendra::kFileNotFound);
    EXPECT_EQ(file.Open(mandate_.GetTaxName(), 17), pendra::kBadArgument);
    EXPECT_FALSE(file.IsOpen());
    ASSERT_EQ(file.Open(mandate_.GetKontoName(), 0), pendra::kOk);
    EXPECT_EQ(mandate_.GetLastName(), dir_ + "/pendra.db#konto");

    Mandate closed;
    BFile none(&closed);
    EXPECT_EQ(none.Open(mandate_.GetTaxName(), 0), pendra::kFileNotOpen);
    Tax tax(&closed);
    EXPECT_EQ(tax.ReadFirst(), pendra::kFileNotOpen);
}

TEST_F(RecordsTest, RecordFilesOfAClosedMandateAnswerNotOpen) {
    InsertTaxes(mandate_, {"VSN77"});
    RecordFile<Tax> tax(mandate_);
    ASSERT_EQ(tax.ReadFirst(), pendra::kOk);
    mandate_.CloseMandateFiles();
    EXPECT_FALSE(tax.File().IsOpen());
    EXPECT_EQ(tax.ReadNext(), pendra::kFileNotOpen);
    EXPECT_EQ(tax.Update(), pendra::kFileNotOpen);
}

TEST_F(RecordsTest, AccountsByTaxIdInNumberOrderWhileBeingChanged) {
    RecordFile<Konto> konto(mandate_);
    InsertKonten(konto, {{"3000", "USN77"}, {"1000", "VSN77"}, {"2000", ""}, {"1100", "VSN77"}, {"4000", "VSN77"}},
                 0);
    // The conversion's loop: change each account's key while walking by the old one.
    std::vector<std::string> converted;
    for (int s = konto.ReadFirstByTaxId("VSN77"); s == pendra::kOk;
         s = konto.ReadNextByTaxId("VSN77")) {
        converted.push_back(konto.GetNumber());
        ASSERT_EQ(konto.SetTaxId("VSN81"), pendra::kOk);
        ASSERT_EQ(konto.Update(), pendra::kOk);
    }
    EXPECT_EQ(converted, (std::vector<std::string>{"1000", "1100", "4000"}));
    EXPECT_EQ(konto.ReadFirstByTaxId("VSN77"), pendra::kKeyNotFound);
    ASSERT_EQ(konto.ReadKonto("3000"), pendra::kOk);
    EXPECT_EQ(konto.GetTaxId(), "USN77");
    EXPECT_EQ(konto.GetType(), 0);
}

TEST_F(RecordsTest, BookingsExistWithTaxIdUsesTheIndex) {
    RecordFile<Buch> buch(mandate_);
    FillBuch(buch, 7, "VSN77");
    ASSERT_EQ(buch.Insert(), pendra::kOk);
    FillBuch(buch, 8, "USN25");
    ASSERT_EQ(buch.Insert(), pendra::kOk);
    EXPECT_EQ(buch.ExistsWithTaxId("VSN77"), pendra::kOk);
    EXPECT_EQ(buch.ExistsWithTaxId("VSN37"), pendra::kKeyNotFound);
    ASSERT_EQ(buch.ReadFirstByTaxId("USN25"), pendra::kOk);
    EXPECT_EQ(buch.GetNumber(), 8);
    EXPECT_EQ(buch.ReadNextByTaxId("USN25"), pendra::kEndOfFile);
}

}  // namespace
