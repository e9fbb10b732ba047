// Walks while the walk's own transaction changes the file, on both storage
// engines: the SQL engine reads walks in batches, and must meet exactly the
// records the file engine meets (a record is met when it carries the key or
// tax id at the moment the walk reaches it).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <thread>

#include "tests/pendra/ChildProcess.h"
#include "tests/pendra/EngineTestSupport.h"
#include "pendra/PgTable.h"
#include "pendra/StorageEngine.h"

using namespace testsupport;

namespace {

// More records than several batches of the SQL engine hold.
constexpr int kAccounts = 3 * PgTable::kFirstBatch + PgTable::kMaxBatch + 40;

std::string Number(int index, const char* suffix = "") {
    char text[16];
    std::snprintf(text, sizeof text, "A%05d%s", index, suffix);
    return text;
}

class EngineWalks : public BothEnginesTest {
protected:
    void Prepare() override {
        ASSERT_EQ(mandate_.OpenMandateFiles(Create("Walk AG")), pendra::kOk);
        ASSERT_EQ(mandate_.IsSQLMandate(), sql_ ? 1 : 0);
        walk_ = std::make_unique<RecordFile<Konto>>(mandate_);
        other_ = std::make_unique<RecordFile<Konto>>(mandate_);
        // Even accounts on the old key, odd ones on another.
        auto batch = Batch(mandate_);
        ASSERT_TRUE(batch);
        for (int i = 0; i < kAccounts; ++i) Put(Number(i), i % 2 == 0 ? "OLD" : "KEEP");
        ASSERT_EQ(batch->Commit(), pendra::kOk);
    }

    // Inserts or changes account `number` through the other handle.
    void Put(const std::string& number, const std::string& taxId) {
        if (other_->ReadKonto(number) == pendra::kOk) {
            ASSERT_EQ(other_->SetTaxId(taxId), pendra::kOk);
            ASSERT_EQ(other_->Update(), pendra::kOk) << number;
            return;
        }
        FillKonto(*other_, number, 1, taxId);
        ASSERT_EQ(other_->Insert(), pendra::kOk) << number;
    }
    void Remove(const std::string& number) {
        ASSERT_EQ(other_->ReadKonto(number), pendra::kOk) << number;
        ASSERT_EQ(other_->Delete(), pendra::kOk) << number;
    }
    std::vector<std::string> AccountsWith(const std::string& taxId) { return WalkNumbers(*other_, taxId); }

    Mandate mandate_;
    std::unique_ptr<RecordFile<Konto>> walk_, other_;
};

// The account commands' walk: over the tax id index, each account read under
// its wait lock and moved to the new key, inside one transaction; meanwhile
// the same transaction changes accounts ahead of the walk and behind it.
TEST_P(EngineWalks, TaxIdWalkMeetsEachAccountOnceAsItIsWhenReached) {
    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    std::vector<std::string> met;
    walk_->SetLockFlag(BRecord::kWaitLock);
    for (int s = walk_->ReadFirstByTaxId("OLD"); s == pendra::kOk; s = walk_->ReadNextByTaxId("OLD")) {
        ASSERT_EQ(walk_->GetTaxId(), "OLD") << walk_->GetNumber();
        met.push_back(walk_->GetNumber());
        ASSERT_EQ(walk_->SetTaxId("NEW"), pendra::kOk);
        ASSERT_EQ(walk_->Update(), pendra::kOk);
        if (met.size() == 10) {
            Put(Number(200), "OTHER");         // ahead, leaves the old key: not met
            Put(Number(201), "OLD");           // ahead, comes to the old key: met
            Put(Number(150, "x"), "OLD");      // inserted ahead: met
            Put(Number(5, "x"), "OLD");        // inserted behind: not met
            Remove(Number(100));               // deleted ahead: not met
            Put(Number(kAccounts - 2), "KEEP");  // the last old one, in a later batch
        }
        if (met.size() == 120) Put(Number(4), "OLD");  // back to the old key behind: not met
        walk_->SetLockFlag(BRecord::kWaitLock);
    }
    walk_->UnlockSingle();

    std::vector<std::string> expected;
    for (int i = 0; i < kAccounts - 2; i += 2) {
        if (i == 100 || i == 200) continue;
        expected.push_back(Number(i));
        if (i == 150) expected.push_back(Number(150, "x"));
        if (i == 200 - 2) expected.push_back(Number(201));
    }
    EXPECT_EQ(met, expected);
    EXPECT_EQ(AccountsWith("OLD"), (std::vector<std::string>{Number(4), Number(5, "x")}));
    ASSERT_EQ(batch->Commit(), pendra::kOk);
    EXPECT_EQ(AccountsWith("NEW").size(), expected.size() - 1);
    EXPECT_EQ(AccountsWith("OLD"), (std::vector<std::string>{Number(4), Number(5, "x")}));
}

// A walk over the whole file while the same transaction inserts and deletes
// records ahead and behind, and updates the ones it meets.
TEST_P(EngineWalks, WholeFileWalkMeetsInsertsAheadAndNotDeletedOnes) {
    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    std::vector<std::string> met;
    for (int s = walk_->ReadFirst(); s == pendra::kOk; s = walk_->ReadNext()) {
        met.push_back(walk_->GetNumber());
        ASSERT_EQ(walk_->SetTaxId("SEEN"), pendra::kOk);
        ASSERT_EQ(walk_->Update(), pendra::kOk);
        if (met.size() == 3) {
            Put(Number(500, "x"), "OLD");  // ahead: met
            Put(Number(1, "x"), "OLD");    // behind: not met
            Remove(Number(400));
            Remove(Number(kAccounts - 1));  // the very last one
        }
    }
    std::vector<std::string> expected;
    for (int i = 0; i < kAccounts - 1; ++i) {
        if (i == 400) continue;
        expected.push_back(Number(i));
        if (i == 500) expected.push_back(Number(500, "x"));
    }
    EXPECT_EQ(met, expected);
    EXPECT_EQ(walk_->ReadNext(), pendra::kEndOfFile);
    EXPECT_EQ(AccountsWith("SEEN").size(), expected.size());
    batch.reset();  // rolled back: the walk sees the file as it was
    met.clear();
    for (int s = walk_->ReadFirst(); s == pendra::kOk; s = walk_->ReadNext()) {
        met.push_back(walk_->GetNumber());
        EXPECT_NE(walk_->GetTaxId(), "SEEN");
    }
    EXPECT_EQ(met.size(), static_cast<std::size_t>(kAccounts));
}

// Booking numbers walk as signed numbers, also across batches and changes.
TEST_P(EngineWalks, IntegerKeysWalkInNumberOrderAcrossBatches) {
    RecordFile<Buch> buch(mandate_);
    Buch writer(&mandate_);
    writer.UseFile(&buch.File());
    for (std::int32_t number = -150; number < 150; ++number) {
        FillBuch(writer, number * 3, number % 2 ? "VSN77" : "USN25");
        ASSERT_EQ(writer.Insert(), pendra::kOk);
    }
    std::vector<std::int32_t> met;
    for (int s = buch.ReadFirst(); s == pendra::kOk; s = buch.ReadNext()) {
        met.push_back(buch.GetNumber());
        if (met.size() == 2) {
            FillBuch(writer, -1, "VSN77");  // ahead: met
            ASSERT_EQ(writer.Insert(), pendra::kOk);
            FillBuch(writer, -1000, "VSN77");  // behind: not met
            ASSERT_EQ(writer.Insert(), pendra::kOk);
            ASSERT_EQ(writer.ReadNumber(0), pendra::kOk);
            ASSERT_EQ(writer.Delete(), pendra::kOk);
        }
    }
    std::vector<std::int32_t> expected;
    for (std::int32_t number = -150; number < 150; ++number) {
        if (number == 0) continue;
        expected.push_back(number * 3);
        if (number == -1) expected.push_back(-1);
    }
    EXPECT_EQ(met, expected);

    const std::vector<std::int32_t> usn = WalkNumbers(buch, "USN25");
    ASSERT_EQ(usn.size(), 149u);
    EXPECT_EQ(usn.front(), -450);
    EXPECT_EQ(usn.back(), 444);
}

// Existence by tax id and keyed reads see the transaction's own writes.
TEST_P(EngineWalks, ExistenceAndKeyedReadsFollowTheTransaction) {
    RecordFile<Buch> buch(mandate_);
    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(buch.ExistsWithTaxId("VSN77"), pendra::kKeyNotFound);
        FillBuch(buch, 7, "VSN77");
        ASSERT_EQ(buch.Insert(), pendra::kOk);
        EXPECT_EQ(buch.ExistsWithTaxId("VSN77"), pendra::kOk);
        ASSERT_EQ(buch.ReadNumber(7), pendra::kOk);
        ASSERT_EQ(buch.Delete(), pendra::kOk);
        EXPECT_EQ(buch.ReadNumber(7), pendra::kKeyNotFound);
    }
    ASSERT_EQ(batch->Commit(), pendra::kOk);
}

INSTANTIATE_TEST_SUITE_P(BothEngines, EngineWalks, BothEngines(), EngineName);

// What the batches are for: a walk costs a few round trips, not one a record;
// a keyed read or existence test one, with a statement prepared once.
class SqlRoundTrips : public SqlOnlyTest {
protected:
    void Prepare() override {
        dir_ = Create("Rund AG");
        ASSERT_EQ(mandate_.OpenMandateFiles(dir_), pendra::kOk);
        engine_ = dynamic_cast<PgEngine*>(mandate_.Engine());
        ASSERT_NE(engine_, nullptr);
    }
    std::uint64_t RoundTrips() const { return engine_->Conn().RoundTrips(); }
    // Accounts Number(0) to Number(count - 1), all on tax id USt77.
    static void InsertAccounts(Konto& konto, int count) {
        for (int i = 0; i < count; ++i) {
            FillKonto(konto, Number(i), 1, "USt77");
            ASSERT_EQ(konto.Insert(), pendra::kOk);
        }
    }

    std::string dir_;
    Mandate mandate_;
    PgEngine* engine_ = nullptr;
};

TEST_F(SqlRoundTrips, WalksReadInBatchesAndKeyedReadsArePrepared) {
    constexpr int kBookings = 5000;
    RecordFile<Buch> buch(mandate_);
    {
        auto batch = Batch(mandate_);
        ASSERT_TRUE(batch);
        const std::uint64_t before = RoundTrips();
        for (std::int32_t number = 1; number <= kBookings; ++number) {
            FillBuch(buch, number, number % 2 ? "VSN77" : "USN25");
            ASSERT_EQ(buch.Insert(), pendra::kOk);
        }
        EXPECT_LE(RoundTrips() - before, kBookings + 5u) << "a write and its savepoint: one round trip";
        ASSERT_EQ(batch->Commit(), pendra::kOk);
    }

    std::uint64_t before = RoundTrips();
    EXPECT_EQ(WalkNumbers(buch).size(), std::size_t{kBookings});
    EXPECT_LE(RoundTrips() - before, 12u);

    before = RoundTrips();
    EXPECT_EQ(WalkNumbers(buch, "USN25").size(), std::size_t{kBookings / 2});
    EXPECT_LE(RoundTrips() - before, 10u);

    buch.ExistsWithTaxId("VSN77");
    buch.ReadNumber(1);
    const std::size_t prepared = engine_->Conn().PreparedStatements();
    before = RoundTrips();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(buch.ExistsWithTaxId(i % 2 ? "VSN77" : "NONE"), i % 2 ? pendra::kOk : pendra::kKeyNotFound);
        EXPECT_EQ(buch.ReadNumber(i + 1), pendra::kOk);
    }
    EXPECT_EQ(RoundTrips() - before, 200u);
    EXPECT_EQ(engine_->Conn().PreparedStatements(), prepared) << "no statement prepared per call";
}

// Record locks held by this session on single records (the mandate lock is a
// pair of int4 keys, objsubid 2).
std::int64_t RecordLocksHeld(const PgEngine& engine) {
    pendra::pg::Result result = engine.Conn().Exec(
        "SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND objsubid = 1 "
        "AND pid = pg_backend_pid() AND granted");
    EXPECT_EQ(PQntuples(result.get()), 1);
    return PQntuples(result.get()) == 1 ? pendra::pg::Int8FromBinary(PQgetvalue(result.get(), 0, 0)) : -1;
}

// The adapt-accounts pattern: each account waited for, read again, changed
// and released. The lock and the read again are one round trip, the write
// with its savepoint and the release of the lock another.
TEST_F(SqlRoundTrips, AccountUnderItsWaitLockIsTwoRoundTrips) {
    constexpr int kLocked = 100;
    RecordFile<Konto> konto(mandate_);
    InsertAccounts(konto, kLocked);
    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    // Statements prepared by a first account, as a command's first account does.
    konto.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(konto.ReadKonto(Number(0)), pendra::kOk);
    ASSERT_EQ(konto.Update(), pendra::kOk);
    EXPECT_EQ(RecordLocksHeld(*engine_), 0);
    const std::uint64_t before = RoundTrips();
    int changed = 0;
    int status = pendra::kOk;
    konto.SetLockFlag(BRecord::kWaitLock);
    for (status = konto.ReadFirstByTaxId("USt77"); status == pendra::kOk;
         status = konto.ReadNextByTaxId("USt77")) {
        ASSERT_EQ(konto.SetTaxId("USt81"), pendra::kOk);
        ASSERT_EQ(konto.Update(), pendra::kOk);
        ++changed;
        konto.SetLockFlag(BRecord::kWaitLock);
    }
    EXPECT_EQ(status, pendra::kEndOfFile);
    konto.UnlockSingle();
    EXPECT_EQ(changed, kLocked);
    EXPECT_LE(RoundTrips() - before, 2u * kLocked + 4u);
    EXPECT_EQ(RecordLocksHeld(*engine_), 0) << "every lock went with its write";
    ASSERT_EQ(batch->Commit(), pendra::kOk);
    EXPECT_EQ(WalkNumbers(konto, "USt81").size(), std::size_t{kLocked});
}

// The account commands' walk: the update of an account and the wait lock and
// read again of the next one of its tax id are one round trip.
TEST_F(SqlRoundTrips, AccountUpdateAndTheNextAccountUnderItsWaitLockAreOneRoundTrip) {
    constexpr int kLocked = 100;
    RecordFile<Konto> konto(mandate_);
    InsertAccounts(konto, kLocked + 1);
    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    // Statements prepared by a first account, as a command's first account does.
    konto.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(konto.ReadFirstByTaxId("USt77"), pendra::kOk);
    ASSERT_EQ(konto.SetTaxId("USt81"), pendra::kOk);
    int next = pendra::kIoError;
    ASSERT_EQ(konto.UpdateAndReadNextByTaxId("USt77", next), pendra::kOk);
    ASSERT_EQ(next, pendra::kOk);
    ASSERT_EQ(konto.GetNumber(), Number(1));
    EXPECT_EQ(RecordLocksHeld(*engine_), 1) << "the next account's lock, taken with the write";

    const std::uint64_t before = RoundTrips();
    std::vector<std::string> met;
    int status = pendra::kOk;
    for (status = next; status == pendra::kOk; status = next) {
        met.push_back(konto.GetNumber());
        ASSERT_EQ(konto.GetTaxId(), "USt77");
        ASSERT_EQ(konto.SetTaxId("USt81"), pendra::kOk);
        next = pendra::kIoError;
        ASSERT_EQ(konto.UpdateAndReadNextByTaxId("USt77", next), pendra::kOk);
    }
    EXPECT_EQ(status, pendra::kEndOfFile);
    EXPECT_EQ(met.size(), static_cast<std::size_t>(kLocked));
    EXPECT_EQ(met.back(), Number(kLocked));
    // One a record, and a few for the walk's batches.
    EXPECT_LE(RoundTrips() - before, kLocked + 6u);
    EXPECT_EQ(RecordLocksHeld(*engine_), 0) << "every lock went with its write";
    ASSERT_EQ(batch->Commit(), pendra::kOk);
    EXPECT_EQ(WalkNumbers(konto, "USt81").size(), std::size_t{kLocked + 1});
}

// A write that finds its record gone (deleted through another record object
// of the same file) gives back the lock it took for the next account.
TEST_F(SqlRoundTrips, AFailedAccountUpdateKeepsNoLockOfTheNextAccount) {
    RecordFile<Konto> konto(mandate_);
    Konto sameFile(&mandate_);
    sameFile.UseFile(&konto.File());
    InsertAccounts(konto, 3);
    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    konto.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(konto.ReadFirstByTaxId("USt77"), pendra::kOk);
    ASSERT_EQ(sameFile.ReadKonto(Number(0)), pendra::kOk);
    ASSERT_EQ(sameFile.Delete(), pendra::kOk);
    ASSERT_EQ(konto.SetTaxId("USt81"), pendra::kOk);
    int next = pendra::kIoError;
    EXPECT_EQ(konto.UpdateAndReadNextByTaxId("USt77", next), pendra::kKeyNotFound);
    EXPECT_EQ(next, pendra::kIoError) << "no read after a failed update";
    konto.UnlockSingle();
    EXPECT_EQ(RecordLocksHeld(*engine_), 0);
    batch.reset();
}

// A second program holds two accounts of the walk: the walk waits for each
// inside the round trip of the update before it, and meets them as they are
// once it has their lock: one moved to another key (skipped), one deleted
// (not met). The other accounts are changed, in account order.
TEST_F(SqlRoundTrips, AccountWalkWaitsForAnotherSessionAndReadsItsChanges) {
    constexpr int kCount = 8;
    {
        RecordFile<Konto> konto(mandate_);
        InsertAccounts(konto, kCount);
    }
    static constexpr int kHoldMs = 400;
    ChildProcess holder([this](ChildChannel& channel) {
        Mandate own;
        if (own.OpenMandateFiles(dir_) != pendra::kOk) return 1;
        BFile ownFile(&own);
        if (ownFile.Open(own.GetKontoName(), BFile::kModeUpdate) != pendra::kOk) return 2;
        Konto moved(&own), deleted(&own);
        moved.UseFile(&ownFile);
        deleted.UseFile(&ownFile);
        moved.SetLockFlag(BRecord::kWaitLock);
        deleted.SetLockFlag(BRecord::kWaitLock);
        if (moved.ReadKonto(Number(3)) != pendra::kOk) return 3;
        if (deleted.ReadKonto(Number(5)) != pendra::kOk) return 4;
        channel.Send("locked");
        std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
        if (moved.SetTaxId("USt25") != pendra::kOk || moved.Update() != pendra::kOk) return 5;
        std::this_thread::sleep_for(std::chrono::milliseconds(kHoldMs));
        if (deleted.Delete() != pendra::kOk) return 6;
        return 0;
    });
    ChildChannel channel = holder.Channel();
    ASSERT_EQ(channel.Receive(), "locked");

    RecordFile<Konto> konto(mandate_);
    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> changed, skipped;
    konto.SetLockFlag(BRecord::kWaitLock);
    int status = konto.ReadFirstByTaxId("USt77");
    while (status == pendra::kOk) {
        if (konto.GetTaxId() != "USt77") {
            skipped.push_back(konto.GetNumber() + " " + konto.GetTaxId());
            konto.UnlockSingle();
            konto.SetLockFlag(BRecord::kWaitLock);
            status = konto.ReadNextByTaxId("USt77");
            continue;
        }
        changed.push_back(konto.GetNumber());
        ASSERT_EQ(konto.SetTaxId("USt81"), pendra::kOk);
        int next = pendra::kIoError;
        ASSERT_EQ(konto.UpdateAndReadNextByTaxId("USt77", next), pendra::kOk);
        status = next;
    }
    konto.UnlockSingle();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(status, pendra::kEndOfFile);
    EXPECT_GE(waited, std::chrono::milliseconds(2 * kHoldMs - 50)) << "waited for both locks";
    EXPECT_EQ(changed, (std::vector<std::string>{Number(0), Number(1), Number(2), Number(4),
                                                 Number(6), Number(7)}));
    EXPECT_EQ(skipped, (std::vector<std::string>{Number(3) + " USt25"}));
    EXPECT_EQ(RecordLocksHeld(*engine_), 0);
    ASSERT_EQ(batch->Commit(), pendra::kOk);
    EXPECT_EQ(holder.Wait(), 0);

    std::vector<std::string> now;
    for (int s = konto.ReadFirst(); s == pendra::kOk; s = konto.ReadNext()) {
        now.push_back(konto.GetNumber() + " " + konto.GetTaxId());
    }
    EXPECT_EQ(now, (std::vector<std::string>{Number(0) + " USt81", Number(1) + " USt81",
                                             Number(2) + " USt81", Number(3) + " USt25",
                                             Number(4) + " USt81", Number(6) + " USt81",
                                             Number(7) + " USt81"}));
}

// A write inside a batch of a record not locked before (remove-old-keys'
// deletes): the lock tried, the write and the unlock are one round trip.
TEST_F(SqlRoundTrips, WriteInsideABatchWithItsTemporaryLockIsOneRoundTrip) {
    constexpr int kKeys = 50;
    RecordFile<Konto> konto(mandate_);
    InsertAccounts(konto, 2 * kKeys + 1);
    auto batch = Batch(mandate_);
    ASSERT_TRUE(batch);
    // Statements prepared by the first ones.
    ASSERT_EQ(konto.ReadKonto(Number(0)), pendra::kOk);
    ASSERT_EQ(konto.Update(), pendra::kOk);
    ASSERT_EQ(konto.Delete(), pendra::kOk);
    std::uint64_t writes = 0;
    for (int i = 1; i <= 2 * kKeys; ++i) {
        ASSERT_EQ(konto.ReadKonto(Number(i)), pendra::kOk);
        const std::uint64_t before = RoundTrips();
        ASSERT_EQ(i % 2 ? konto.Delete() : (konto.SetTaxId("USt81"), konto.Update()), pendra::kOk);
        writes += RoundTrips() - before;
    }
    EXPECT_EQ(writes, 2u * kKeys);
    EXPECT_EQ(RecordLocksHeld(*engine_), 0);
    ASSERT_EQ(batch->Commit(), pendra::kOk);
    int left = 0;
    for (int s = konto.ReadFirst(); s == pendra::kOk; s = konto.ReadNext()) {
        EXPECT_EQ(konto.GetTaxId(), "USt81") << konto.GetNumber();
        ++left;
    }
    EXPECT_EQ(left, kKeys);
}

TEST_F(SqlRoundTrips, ManyTaxIdsAreOneQuery) {
    RecordFile<Buch> buch(mandate_);
    std::vector<std::string> ids;
    for (int i = 0; i < 500; ++i) {
        char id[8];
        std::snprintf(id, sizeof id, "K%03d", i);
        ids.push_back(id);
        if (i % 3 == 0) {
            FillBuch(buch, i + 1, id);
            ASSERT_EQ(buch.Insert(), pendra::kOk);
        }
    }
    std::vector<int> found;
    ASSERT_EQ(buch.ExistsWithTaxIds(ids, found), pendra::kOk);  // prepares its statement
    const std::uint64_t before = RoundTrips();
    ASSERT_EQ(buch.ExistsWithTaxIds(ids, found), pendra::kOk);
    EXPECT_EQ(RoundTrips() - before, 1u);
    ASSERT_EQ(found.size(), ids.size());
    for (int i = 0; i < 500; ++i) EXPECT_EQ(found[i], i % 3 == 0 ? pendra::kOk : pendra::kKeyNotFound) << i;
}

}  // namespace
