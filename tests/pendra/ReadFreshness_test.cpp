// When the reads of a file mandate meet the changes of another process, and
// what reading the lock file's change counter costs them.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/pendra/ChildProcess.h"
#include "tests/pendra/MandateTestSupport.h"
#include "pendra/SqliteEngine.h"

using namespace testsupport;

namespace {

constexpr float kNewRate = 0.081f;

class ReadFreshnessTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = NewMandate(temp_);
        Mandate mandate;
        ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
        InsertTaxes(mandate, {"B", "D", "VSN77"});
        RecordFile<Konto> konto(mandate);
        InsertKonten(konto, {{"1000", "VSN77"}, {"2000", "VSN77"}, {"3000", "VSN77"}}, 0);
        RecordFile<Buch> buch(mandate);
        for (std::int32_t number = 1; number <= kBookings; ++number) {
            FillBuch(buch, number, "VSN77");
            ASSERT_EQ(buch.Insert(), pendra::kOk);
        }
    }

    // A process of its own that waits for "go", then runs `change` on the
    // mandate and answers "done" (or the failing status). It is forked before
    // the test opens the mandate, so it inherits no connection state.
    std::unique_ptr<ChildProcess> OtherProcess(const std::function<int(Mandate&)>& change) {
        return std::make_unique<ChildProcess>([this, change](ChildChannel& channel) {
            if (channel.Receive() != "go") return 1;
            Mandate mandate;
            if (mandate.OpenMandateFiles(dir_) != pendra::kOk) return 2;
            const int status = change(mandate);
            channel.Send(status == pendra::kOk ? "done" : "failed " + std::to_string(status));
            return status == pendra::kOk ? 0 : 3;
        });
    }

    static constexpr std::int32_t kBookings = 3000;
    TempDir temp_;
    std::string dir_;
};

// Changes as another process makes them; the first failing status, or kOk.
int InsertTax(Mandate& mandate, const std::string& id) {
    RecordFile<Tax> tax(mandate);
    std::memset(tax.GetBuffer(), 0, Tax::kSize);
    int status = tax.opened == pendra::kOk ? tax.SetId(id) : tax.opened;
    return status == pendra::kOk ? tax.Insert() : status;
}

int SetRate(Mandate& mandate, const std::string& id, float rate) {
    RecordFile<Tax> tax(mandate);
    const int status = tax.opened == pendra::kOk ? tax.Read(id) : tax.opened;
    if (status != pendra::kOk) return status;
    std::memcpy(tax.GetBuffer() + Tax::kRateOffset, &rate, sizeof rate);
    return tax.Update();
}

int InsertBooking(Mandate& mandate, std::int32_t number, const std::string& taxId) {
    RecordFile<Buch> buch(mandate);
    FillBuch(buch, number, taxId);
    return buch.opened == pendra::kOk ? buch.Insert() : buch.opened;
}

// A walk of another file keeps an SQLite snapshot open on the connection; the
// next walk, keyed read and existence test must not be answered from it.
TEST_F(ReadFreshnessTest, NextWalkAndKeyedReadsMeetAnotherProcessesChangeWhileAWalkIsOpen) {
    auto other = OtherProcess([](Mandate& mandate) {
        int status = InsertTax(mandate, "C");
        if (status == pendra::kOk) status = SetRate(mandate, "VSN77", kNewRate);
        if (status == pendra::kOk) status = InsertBooking(mandate, 100000, "C");
        return status;
    });
    ASSERT_TRUE(other->Started());
    ChildChannel channel = other->Channel();

    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Konto> konto(mandate);
    RecordFile<Tax> tax(mandate);
    RecordFile<Buch> buch(mandate);
    ASSERT_EQ(konto.ReadFirst(), pendra::kOk);  // its statement stays open
    EXPECT_EQ(WalkTaxIds(tax), (std::vector<std::string>{"B", "D", "VSN77"}));
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_FLOAT_EQ(tax.GetPercent(), 0.077f);
    EXPECT_EQ(buch.ExistsWithTaxId("C"), pendra::kKeyNotFound);

    channel.Send("go");
    ASSERT_EQ(channel.Receive(), "done");

    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_FLOAT_EQ(tax.GetPercent(), kNewRate);
    EXPECT_EQ(buch.ExistsWithTaxId("C"), pendra::kOk);
    ASSERT_EQ(buch.ReadFirstByTaxId("C"), pendra::kOk);
    EXPECT_EQ(buch.GetNumber(), 100000);
    EXPECT_EQ(WalkTaxIds(tax), (std::vector<std::string>{"B", "C", "D", "VSN77"}));
    ASSERT_EQ(konto.ReadNext(), pendra::kOk);  // the open walk goes on from its position
    EXPECT_EQ(konto.GetNumber(), "2000");
    EXPECT_EQ(other->Wait(), 0);
}

// The record lock is only worth anything if the record read once it is ours
// is the one its last holder wrote, whatever snapshot the connection had open.
TEST_F(ReadFreshnessTest, ReadUnderTheWaitLockMeetsTheWriteOfTheLastHolder) {
    auto other = std::make_unique<ChildProcess>([this](ChildChannel& channel) {
        if (channel.Receive() != "go") return 1;
        Mandate mandate;
        if (mandate.OpenMandateFiles(dir_) != pendra::kOk) return 2;
        RecordFile<Tax> tax(mandate);
        if (tax.opened != pendra::kOk) return 3;
        tax.SetLockFlag(BRecord::kWaitLock);
        if (tax.Read("VSN77") != pendra::kOk) return 4;
        channel.Send("locked");
        usleep(300'000);  // the test is waiting for the lock by now
        const float rate = kNewRate;
        std::memcpy(tax.GetBuffer() + Tax::kRateOffset, &rate, sizeof rate);
        return tax.Update() == pendra::kOk ? 0 : 5;  // releases the lock
    });
    ASSERT_TRUE(other->Started());
    ChildChannel channel = other->Channel();

    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Konto> konto(mandate);
    RecordFile<Tax> tax(mandate);
    ASSERT_EQ(konto.ReadFirst(), pendra::kOk);  // a snapshot from before the change
    channel.Send("go");
    ASSERT_EQ(channel.Receive(), "locked");

    tax.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);
    EXPECT_FLOAT_EQ(tax.GetPercent(), kNewRate);
    EXPECT_EQ(other->Wait(), 0);
    EXPECT_EQ(SetRate(mandate, "VSN77", 0.5f), pendra::kRecordLocked);  // the lock is ours now
    EXPECT_EQ(tax.UnlockSingle(), pendra::kOk);
}

// A walk in progress does not look at the lock file at every step, but it
// does not stay blind either: another process's change behind its position is
// met within SqliteEngine::kWalkStepsPerCheck steps.
TEST_F(ReadFreshnessTest, WalkInProgressMeetsAnotherProcessesChangeWithinTheCheckInterval) {
    static_assert(SqliteEngine::kWalkStepsPerCheck < kBookings - 2);
    auto other = OtherProcess([](Mandate& mandate) { return InsertBooking(mandate, kBookings + 1, "VSN77"); });
    ASSERT_TRUE(other->Started());
    ChildChannel channel = other->Channel();

    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Buch> buch(mandate);
    ASSERT_EQ(buch.ReadFirst(), pendra::kOk);
    channel.Send("go");
    ASSERT_EQ(channel.Receive(), "done");
    std::int32_t last = buch.GetNumber();
    int met = 1;
    for (int s = buch.ReadNext(); s == pendra::kOk; s = buch.ReadNext()) {
        EXPECT_EQ(buch.GetNumber(), last + 1);
        last = buch.GetNumber();
        ++met;
    }
    EXPECT_EQ(last, kBookings + 1);
    EXPECT_EQ(met, kBookings + 1);
    EXPECT_EQ(other->Wait(), 0);
}

// Reading the counter is three system calls, more than a step of a walk: a
// walk reads it about once per kWalkStepsPerCheck steps, a keyed read only
// while another statement holds a snapshot, a read inside a batch never.
TEST_F(ReadFreshnessTest, WalksAndKeyedReadsSeldomReadTheChangeCounter) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    auto* engine = dynamic_cast<SqliteEngine*>(mandate.Engine());
    ASSERT_NE(engine, nullptr);
    RecordFile<Buch> buch(mandate);
    RecordFile<Konto> konto(mandate);

    std::uint64_t before = engine->ChangeCounterReads();
    int met = 0;
    for (int s = buch.ReadFirst(); s == pendra::kOk; s = buch.ReadNext()) ++met;
    ASSERT_EQ(met, kBookings);
    EXPECT_LE(engine->ChangeCounterReads() - before,
              std::uint64_t{kBookings / SqliteEngine::kWalkStepsPerCheck + 1});

    before = engine->ChangeCounterReads();
    for (std::int32_t number = 1; number <= 100; ++number) ASSERT_EQ(buch.ReadNumber(number), pendra::kOk);
    EXPECT_EQ(engine->ChangeCounterReads() - before, 0u) << "no snapshot open: SQLite begins a current one";

    ASSERT_EQ(konto.ReadFirst(), pendra::kOk);
    before = engine->ChangeCounterReads();
    for (std::int32_t number = 1; number <= 100; ++number) ASSERT_EQ(buch.ReadNumber(number), pendra::kOk);
    EXPECT_EQ(engine->ChangeCounterReads() - before, 100u) << "each joins the open walk's snapshot";

    auto batch = Batch(mandate);
    ASSERT_TRUE(batch);
    ASSERT_EQ(konto.ReadFirst(), pendra::kOk);
    before = engine->ChangeCounterReads();
    for (std::int32_t number = 1; number <= 100; ++number) ASSERT_EQ(buch.ReadNumber(number), pendra::kOk);
    for (int s = buch.ReadFirst(); s == pendra::kOk; s = buch.ReadNext()) {
    }
    EXPECT_EQ(engine->ChangeCounterReads() - before, 0u) << "a batch holds the write lock: nobody else commits";
}

}  // namespace
