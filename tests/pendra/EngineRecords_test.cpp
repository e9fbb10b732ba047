// The record operations on both storage engines, file (SQLite) and SQL
// (PostgreSQL): every caller must see the same results whichever holds the mandate.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/pendra/EngineTestSupport.h"
#include "pendra/MIniSetHelper.h"
#include "pendra/StorageEngine.h"

using namespace testsupport;

namespace {

class EngineRecords : public BothEnginesTest {
protected:
    void Prepare() override {
        dir_ = Create("Test AG");
        ASSERT_EQ(mandate_.OpenMandateFiles(dir_), pendra::kOk);
        ASSERT_EQ(mandate_.IsSQLMandate(), sql_ ? 1 : 0);
    }

    std::string dir_;
    Mandate mandate_;
    Mandate elsewhere_;  // opened by a test as another program would open the mandate
};

TEST_P(EngineRecords, RecordsComeBackByteForByte) {
    RecordFile<Tax> tax(mandate_);
    FillTax(tax, "VSN77", 0.077f, true, "Vorsteuer 7.7 %");
    unsigned char written[Tax::kSize];
    std::memcpy(written, tax.GetBuffer(), Tax::kSize);
    ASSERT_EQ(tax.Insert(), pendra::kOk);
    Tax back(&mandate_);
    back.UseFile(&tax.File());
    ASSERT_EQ(back.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(std::memcmp(back.GetBuffer(), written, Tax::kSize), 0);
}

TEST_P(EngineRecords, TextKeysWalkBytewiseAndMissingKeysAreReported) {
    InsertTaxes(mandate_, {"VSN81", "USt77", "A", "\xC3\x84X", "U", "USt"});
    RecordFile<Tax> tax(mandate_);
    EXPECT_EQ(WalkTaxIds(tax), (std::vector<std::string>{"A", "U", "USt", "USt77", "VSN81", "\xC3\x84X"}));
    EXPECT_EQ(tax.ReadNext(), pendra::kEndOfFile);
    EXPECT_EQ(tax.Read("NONE"), pendra::kKeyNotFound);
    EXPECT_EQ(tax.Read("USt"), pendra::kOk);
    EXPECT_EQ(tax.ReadNext(), pendra::kOk);
    EXPECT_EQ(tax.GetId(), "USt77");
}

// Ids are six characters of Windows-1252 whatever the letters, stored one
// byte a character: in the key record, the account's and the booking's tax id
// and the columns behind keyed reads and the tax id walks.
TEST_P(EngineRecords, SixCharacterUmlautIdIsStoredAndFoundEverywhere) {
    RecordFile<Tax> tax(mandate_);
    RecordFile<Konto> konto(mandate_);
    RecordFile<Buch> buch(mandate_);
    FillTax(tax, "NEUÄÄ1", 0.081f, true, "Umsatz ÄÄ");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tax.GetBuffer()), 6), "NEU\xC4\xC4" "1");
    ASSERT_EQ(tax.Insert(), pendra::kOk);
    FillTax(tax, "Œuvré", 0.081f);
    ASSERT_EQ(tax.Insert(), pendra::kOk);
    InsertKonten(konto, {{"3000", "NEUÄÄ1"}, {"3200", "NEUÄÄ1"}, {"3100", "Œuvré"}});
    FillBuch(buch, 5, "NEUÄÄ1");
    ASSERT_EQ(buch.Insert(), pendra::kOk);

    Tax back(&mandate_);
    back.UseFile(&tax.File());
    ASSERT_EQ(back.Read("NEUÄÄ1"), pendra::kOk);
    EXPECT_EQ(back.GetId(), "NEUÄÄ1");
    EXPECT_EQ(back.GetText(), "Umsatz ÄÄ");
    EXPECT_EQ(back.Read("neuää1"), pendra::kKeyNotFound) << "keyed reads are exact";
    EXPECT_EQ(WalkTaxIds(back), (std::vector<std::string>{"NEUÄÄ1", "Œuvré"}))
        << "Œ is 0x8C, Ä 0xC4: the walk follows the stored bytes";

    std::vector<std::string> met;
    for (int s = konto.ReadFirstByTaxId("NEUÄÄ1"); s == pendra::kOk; s = konto.ReadNextByTaxId("NEUÄÄ1")) {
        met.push_back(konto.GetNumber());
        EXPECT_EQ(konto.GetTaxId(), "NEUÄÄ1");
    }
    EXPECT_EQ(met, (std::vector<std::string>{"3000", "3200"}));
    EXPECT_EQ(WalkNumbers(konto, "Œuvré"), std::vector<std::string>{"3100"});

    EXPECT_EQ(buch.ExistsWithTaxId("NEUÄÄ1"), pendra::kOk);
    EXPECT_EQ(buch.ExistsWithTaxId("NEUÄÄ"), pendra::kKeyNotFound);
    ASSERT_EQ(buch.ReadFirstByTaxId("NEUÄÄ1"), pendra::kOk);
    EXPECT_EQ(buch.GetNumber(), 5);
    EXPECT_EQ(buch.GetData().GetTaxId(), "NEUÄÄ1");

    ASSERT_EQ(elsewhere_.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Tax> seen(elsewhere_, BFile::kModeReadOnly);
    ASSERT_EQ(seen.Read("NEUÄÄ1"), pendra::kOk);
    EXPECT_EQ(seen.GetId(), "NEUÄÄ1");
}

// An id that does not fit is refused, never cut and never stored as invalid text.
TEST_P(EngineRecords, IdsThatDoNotFitAreRefused) {
    RecordFile<Tax> tax(mandate_);
    RecordFile<Konto> konto(mandate_);
    RecordFile<Buch> buch(mandate_);
    FillTax(tax, "VSN77", 0.077f);
    unsigned char before[Tax::kSize];
    std::memcpy(before, tax.GetBuffer(), Tax::kSize);
    EXPECT_EQ(tax.SetId("NEUÄÄ12"), pendra::kKeyTooLong);
    EXPECT_EQ(tax.SetId("ÄÄÄÄÄÄÄ"), pendra::kKeyTooLong);
    EXPECT_EQ(tax.SetId("ΩMEGA"), pendra::kNotWindows1252);
    EXPECT_EQ(tax.SetId("AB\xC3" "81"), pendra::kNotWindows1252) << "half a letter is no text";
    EXPECT_EQ(std::memcmp(tax.GetBuffer(), before, Tax::kSize), 0) << "the buffer is untouched";
    ASSERT_EQ(tax.Insert(), pendra::kOk);
    EXPECT_EQ(tax.Read("NEUÄÄ12"), pendra::kKeyTooLong);
    EXPECT_EQ(tax.Read("ΩMEGA"), pendra::kNotWindows1252);

    FillKonto(konto, "3000", 1, "VSN77");
    EXPECT_EQ(konto.SetTaxId("NEUÄÄ12"), pendra::kKeyTooLong);
    EXPECT_EQ(konto.SetTaxId("€→"), pendra::kNotWindows1252);
    EXPECT_EQ(konto.GetTaxId(), "VSN77");
    EXPECT_EQ(konto.SetTaxId("€UR€81"), pendra::kOk) << "€ is one character of Windows-1252";
    EXPECT_EQ(konto.ReadFirstByTaxId("NEUÄÄ12"), pendra::kKeyTooLong);
    EXPECT_EQ(buch.ExistsWithTaxId("NEUÄÄ12"), pendra::kKeyTooLong);
    EXPECT_EQ(buch.ExistsWithTaxId("ΩMEGA"), pendra::kNotWindows1252);
}

TEST_P(EngineRecords, IntegerKeysWalkAsSignedNumbers) {
    RecordFile<Buch> buch(mandate_);
    for (std::int32_t number : {300, -5, 70000, 1, 0}) {
        FillBuch(buch, number, "VSN77");
        ASSERT_EQ(buch.Insert(), pendra::kOk) << number;
    }
    EXPECT_EQ(WalkNumbers(buch), (std::vector<std::int32_t>{-5, 0, 1, 300, 70000}));
}

TEST_P(EngineRecords, DuplicateInsertUpdateAndDelete) {
    RecordFile<Tax> tax(mandate_);
    FillTax(tax, "VSN77", 0.077f);
    ASSERT_EQ(tax.Insert(), pendra::kOk);
    FillTax(tax, "VSN77", 0.081f);
    EXPECT_EQ(tax.Insert(), pendra::kDuplicateKey);

    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    tax.SetQuote(1.081f);
    ASSERT_EQ(tax.Update(), pendra::kOk);
    Tax other(&mandate_);
    other.UseFile(&tax.File());
    ASSERT_EQ(other.Read("VSN77"), pendra::kOk);
    EXPECT_FLOAT_EQ(other.GetQuote(), 1.081f);

    ASSERT_EQ(other.Delete(), pendra::kOk);
    EXPECT_EQ(other.Read("VSN77"), pendra::kKeyNotFound);
    EXPECT_EQ(tax.Update(), pendra::kKeyNotFound);  // deleted behind its back
}

TEST_P(EngineRecords, TaxIdIndexWalksAndExistence) {
    RecordFile<Konto> konto(mandate_);
    InsertKonten(konto, {{"3000", "USt77"}, {"1170", "VSN77"}, {"3200", "USt77"}, {"2200", "USt25"}});
    EXPECT_EQ(WalkNumbers(konto, "USt77"), (std::vector<std::string>{"3000", "3200"}));

    RecordFile<Buch> buch(mandate_);
    FillBuch(buch, 7, "VSN77");
    ASSERT_EQ(buch.Insert(), pendra::kOk);
    EXPECT_EQ(buch.ExistsWithTaxId("VSN77"), pendra::kOk);
    EXPECT_EQ(buch.ExistsWithTaxId("VSN81"), pendra::kKeyNotFound);
}

TEST_P(EngineRecords, ManyTaxIdsAskedAtOnceAnswerAsEachAskedAlone) {
    RecordFile<Buch> buch(mandate_);
    const std::string sixUmlauts = "\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84";
    std::int32_t number = 0;
    for (const std::string& id : {std::string("VSN77"), std::string("USN25"), sixUmlauts, std::string("vsn81")}) {
        FillBuch(buch, ++number, id);
        ASSERT_EQ(buch.Insert(), pendra::kOk);
    }
    // Each id asked and its answer alone: found, missing, another letter case,
    // six umlauts, too long, no Windows-1252 character, empty, one asked twice.
    const std::vector<std::pair<std::string, int>> asked{
        {"VSN77", pendra::kOk},     {"VSN81", pendra::kKeyNotFound},      {"vsn81", pendra::kOk},
        {"USN26", pendra::kKeyNotFound}, {sixUmlauts, pendra::kOk},       {"VSN7777", pendra::kKeyTooLong},
        {"\xE2\x86\x92X", pendra::kNotWindows1252}, {"", pendra::kKeyNotFound}, {"USN25", pendra::kOk},
        {"VSN77", pendra::kOk}};
    std::vector<std::string> ids;
    std::vector<int> alone;
    for (const auto& [id, expected] : asked) {
        ids.push_back(id);
        alone.push_back(buch.ExistsWithTaxId(id));
        EXPECT_EQ(alone.back(), expected) << id;
    }
    std::vector<int> together{99};
    ASSERT_EQ(buch.ExistsWithTaxIds(ids, together), pendra::kOk);
    EXPECT_EQ(together, alone);
    ASSERT_EQ(buch.ExistsWithTaxIds({}, together), pendra::kOk);
    EXPECT_TRUE(together.empty());
}

TEST_P(EngineRecords, DeleteUnderTheRecordLockReleasesIt) {
    InsertTaxes(mandate_, {"VSN77", "VSN81"});
    RecordFile<Tax> holder(mandate_), other(mandate_);
    holder.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(holder.Read("VSN77"), pendra::kOk);
    ASSERT_EQ(holder.Delete(), pendra::kOk);
    EXPECT_EQ(holder.Read("VSN77"), pendra::kKeyNotFound);

    // The id is free again for everybody, in this process and in another session.
    FillTax(other, "VSN77", 0.081f);
    ASSERT_EQ(other.Insert(), pendra::kOk);
    EXPECT_EQ(other.Update(), pendra::kOk);
    ASSERT_EQ(elsewhere_.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Tax> remote(elsewhere_);
    ASSERT_EQ(remote.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(remote.Update(), pendra::kOk);
    EXPECT_EQ(remote.Delete(), pendra::kOk);

    // A lock taken by the waiting read and a delete of another record: the lock stays.
    holder.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(holder.Read("VSN81"), pendra::kOk);
    ASSERT_EQ(remote.Read("VSN81"), pendra::kOk);
    EXPECT_EQ(remote.Update(), pendra::kRecordLocked);
    EXPECT_EQ(holder.UnlockSingle(), pendra::kOk);
    EXPECT_EQ(remote.Update(), pendra::kOk);
}

TEST_P(EngineRecords, RecordInsertedBehindTheWalkIsMet) {
    InsertTaxes(mandate_, {"A", "C"});
    RecordFile<Tax> walker(mandate_);
    Tax writer(&mandate_);
    writer.UseFile(&walker.File());
    ASSERT_EQ(walker.ReadFirst(), pendra::kOk);
    FillTax(writer, "B", 0.026f);
    ASSERT_EQ(writer.Insert(), pendra::kOk);
    ASSERT_EQ(walker.ReadNext(), pendra::kOk);
    EXPECT_EQ(walker.GetId(), "B");
}

TEST_P(EngineRecords, LockedRecordRefusesOtherHandlesAndOtherMandateObjects) {
    InsertTaxes(mandate_, {"VSN77"});
    RecordFile<Tax> holder(mandate_), other(mandate_);
    holder.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(holder.Read("VSN77"), pendra::kOk);
    ASSERT_EQ(other.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(other.Update(), pendra::kRecordLocked);
    EXPECT_EQ(other.Delete(), pendra::kRecordLocked);
    ASSERT_EQ(elsewhere_.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Tax> remote(elsewhere_);
    ASSERT_EQ(remote.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(remote.Update(), pendra::kRecordLocked);

    ASSERT_EQ(holder.Update(), pendra::kOk);  // releases the lock
    EXPECT_EQ(other.Update(), pendra::kOk);
    EXPECT_EQ(remote.Update(), pendra::kOk);
}

TEST_P(EngineRecords, InsideABatchARecordLockedElsewhereRefusesTheWriteAndTheBatchGoesOn) {
    InsertTaxes(mandate_, {"VSN77", "VSN81", "VSN25"});
    ASSERT_EQ(elsewhere_.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Tax> remote(elsewhere_);
    remote.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(remote.Read("VSN77"), pendra::kOk);

    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    RecordFile<Tax> tax(mandate_);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(tax.Delete(), pendra::kRecordLocked);
    EXPECT_EQ(tax.Update(), pendra::kRecordLocked);
    ASSERT_EQ(tax.Read("VSN81"), pendra::kOk);
    EXPECT_EQ(tax.Delete(), pendra::kOk);
    ASSERT_EQ(tax.Read("VSN25"), pendra::kOk);
    tax.SetQuote(1.5f);
    EXPECT_EQ(tax.Update(), pendra::kOk);
    FillTax(tax, "VSN26", 0.026f);
    EXPECT_EQ(tax.Insert(), pendra::kOk);
    ASSERT_EQ(batch->Commit(), pendra::kOk);
    EXPECT_EQ(WalkTaxIds(tax), (std::vector<std::string>{"VSN25", "VSN26", "VSN77"}));
    ASSERT_EQ(tax.Read("VSN25"), pendra::kOk);
    EXPECT_EQ(tax.GetQuote(), 1.5f);

    // The writes took no lock they kept: the remote holder may let go and write.
    ASSERT_EQ(remote.Update(), pendra::kOk);
    ASSERT_EQ(remote.Read("VSN25"), pendra::kOk);
    EXPECT_EQ(remote.Update(), pendra::kOk);
}

TEST_P(EngineRecords, SettingsAreStoredAndListed) {
    EXPECT_EQ(mandate_.GetIniLong(0, 27, -1), -1);
    ASSERT_EQ(mandate_.SetIniLong(0, 27, 1), pendra::kOk);
    ASSERT_EQ(mandate_.SetIniLong(0, 27, 5000000000L), pendra::kOk);
    ASSERT_EQ(mandate_.SetIniLong(0, 3, 7), pendra::kOk);
    EXPECT_EQ(mandate_.GetIniLong(0, 27, -1), 5000000000L);
    std::vector<MandateSetting> settings;
    ASSERT_EQ(mandate_.Engine()->ReadSettings(settings), pendra::kOk);
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_EQ(settings[0].key, 3);
    EXPECT_EQ(settings[1].value, 5000000000L);
}

TEST_P(EngineRecords, BatchNotCommittedLeavesNothing) {
    {
        auto batch = Batch(mandate_);
        ASSERT_TRUE(batch);
        InsertTaxes(mandate_, {"A", "B"});
    }
    RecordFile<Tax> tax(mandate_);
    EXPECT_EQ(tax.ReadFirst(), pendra::kEndOfFile);
    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    InsertTaxes(mandate_, {"A", "B"});
    FillTax(tax, "A", 0.1f);
    EXPECT_EQ(tax.Insert(), pendra::kDuplicateKey);  // the batch goes on after a failed write
    ASSERT_EQ(batch->Commit(), pendra::kOk);
    EXPECT_EQ(WalkTaxIds(tax), (std::vector<std::string>{"A", "B"}));
}

TEST_P(EngineRecords, ExclusiveHolderKeepsOthersOutUntilReleased) {
    MIniSetHelper exclusive(&mandate_, false);
    ASSERT_EQ(exclusive.OpenExclusive(), pendra::kOk);
    Mandate other;
    EXPECT_EQ(other.OpenMandateFiles(dir_), pendra::kMandateHeldExclusively);
    exclusive.Close();
    ASSERT_EQ(other.OpenMandateFiles(dir_), pendra::kOk);
    MIniSetHelper again(&mandate_, false);
    EXPECT_EQ(again.OpenExclusive(), pendra::kMandateHeldExclusively);
    EXPECT_EQ(mandate_.IsMandantOpen(), 1);  // the refused holder keeps its shared use
    InsertTaxes(mandate_, {"A"});
}

TEST_P(EngineRecords, ReadOnlyMandateRefusesWrites) {
    MandateCreateOptions options;
    options.readOnly = true;
    Mandate archive;
    ASSERT_EQ(archive.OpenMandateFiles(Create("Archiv AG", options)), pendra::kOk);
    EXPECT_EQ(archive.IsReadOnly(), 1);
    RecordFile<Tax> tax(archive);
    FillTax(tax, "A", 0.1f);
    EXPECT_EQ(tax.Insert(), pendra::kAccessDenied);
    EXPECT_EQ(archive.SetIniLong(0, 1, 1), pendra::kAccessDenied);
}

TEST_P(EngineRecords, MetaDataIsRead) {
    MandateCreateOptions options;
    options.dataVersion = 2200;
    options.password = "geheim";
    const std::string dir = Create("Alt AG", options);
    Mandate old;
    ASSERT_EQ(old.OpenMandateFiles(dir), pendra::kOk);
    EXPECT_EQ(old.GetName(), "Alt AG");
    long version = 0;
    ASSERT_EQ(old.GetVersion(version), 1);
    EXPECT_EQ(version, 2200);
    EXPECT_FALSE(old.Engine()->Meta().passwordHash.empty());
    EXPECT_TRUE(Mandate::PathContainsMandate(dir));
}

INSTANTIATE_TEST_SUITE_P(BothEngines, EngineRecords, BothEngines(), EngineName);

}  // namespace
