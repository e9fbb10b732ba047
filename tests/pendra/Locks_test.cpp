// Exclusive use of a mandate and single-record locks, between handles of one
// process and between real processes.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/pendra/ChildProcess.h"
#include "tests/pendra/MandateTestSupport.h"
#include "pendra/MIniSetHelper.h"
#include "pendra/MandateLockFile.h"

using namespace testsupport;

namespace {

// How long a blocked child is given to show that it really waits.
constexpr int kStillBlockedMs = 300;

class LocksTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = NewMandate(temp_);
        Mandate mandate;
        ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
        InsertTaxes(mandate, {"VSN77", "VSN25"});
    }
    TempDir temp_;
    std::string dir_;
};

float RateOf(Mandate& mandate, const std::string& id) {
    RecordFile<Tax> tax(mandate, BFile::kModeReadOnly);
    return tax.opened == pendra::kOk && tax.Read(id) == pendra::kOk ? tax.GetPercent() : -1;
}

// What another process answers when it opens the mandate and asks to hold it.
int ExclusiveInAnotherProcess(const std::string& dir) {
    ChildProcess child([&dir](ChildChannel&) {
        Mandate own;
        if (own.OpenMandateFiles(dir) != pendra::kOk) return 1;
        MIniSetHelper exclusive(&own, false);
        return exclusive.OpenExclusive();
    });
    return child.Wait();
}

void SetRate(Tax& tax, float rate) {
    std::memcpy(tax.GetBuffer() + Tax::kRateOffset, &rate, sizeof rate);
}

TEST_F(LocksTest, ExclusiveHolderInAnotherProcessMakesOpenAnswer88) {
    ChildProcess holder([this](ChildChannel& channel) {
        Mandate mandate;
        if (mandate.OpenMandateFiles(dir_) != pendra::kOk) return 1;
        MIniSetHelper exclusive(&mandate, true);
        if (exclusive.OpenExclusive() != pendra::kOk) return 2;
        if (!MIniSetHelper::IsGlobalBtrieveFileInstanceOpen()) return 3;
        channel.Send("held");
        channel.Receive();  // until told to go
        return 0;
    });
    ASSERT_TRUE(holder.Started());
    ChildChannel channel = holder.Channel();
    ASSERT_EQ(channel.Receive(), "held");

    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir_), pendra::kMandateHeldExclusively);
    EXPECT_TRUE(Mandate::PathContainsMandate(dir_));
    EXPECT_FALSE(MIniSetHelper::IsGlobalBtrieveFileInstanceOpen());  // the child's, not ours

    channel.Send("go");
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
}

TEST_F(LocksTest, ExclusiveIsRefusedWhileAnotherProcessHasTheMandateOpen) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    EXPECT_EQ(ExclusiveInAnotherProcess(dir_), pendra::kMandateHeldExclusively);
    mandate.CloseMandateFiles();
    EXPECT_EQ(ExclusiveInAnotherProcess(dir_), pendra::kOk);
}

TEST_F(LocksTest, ExclusiveLockDiesWithItsProcess) {
    ChildProcess holder([this](ChildChannel& channel) {
        Mandate mandate;
        mandate.OpenMandateFiles(dir_);
        MIniSetHelper exclusive(&mandate, true);
        if (exclusive.OpenExclusive() != pendra::kOk) return 2;
        channel.Send("held");
        pause();  // killed here, never closes anything
        return 0;
    });
    ChildChannel channel = holder.Channel();
    ASSERT_EQ(channel.Receive(), "held");
    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir_), pendra::kMandateHeldExclusively);
    holder.Kill();
    holder.Wait();
    EXPECT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
}

TEST_F(LocksTest, TwoHandlesInOneProcessExcludeEachOther) {
    Mandate first, second;
    ASSERT_EQ(first.OpenMandateFiles(dir_), pendra::kOk);
    ASSERT_EQ(second.OpenMandateFiles(dir_), pendra::kOk);
    MIniSetHelper exclusive(&first, true);
    EXPECT_EQ(exclusive.OpenExclusive(), pendra::kMandateHeldExclusively);
    EXPECT_FALSE(MIniSetHelper::IsGlobalBtrieveFileInstanceOpen());

    second.CloseMandateFiles();
    ASSERT_EQ(exclusive.OpenExclusive(), pendra::kOk);
    EXPECT_TRUE(exclusive.IsOpen());
    EXPECT_TRUE(MIniSetHelper::IsGlobalBtrieveFileInstanceOpen());
    EXPECT_EQ(second.OpenMandateFiles(dir_), pendra::kMandateHeldExclusively);

    // The holder itself keeps working on its mandate.
    EXPECT_FLOAT_EQ(RateOf(first, "VSN77"), 0.077f);

    exclusive.Close();
    EXPECT_FALSE(MIniSetHelper::IsGlobalBtrieveFileInstanceOpen());
    EXPECT_EQ(second.OpenMandateFiles(dir_), pendra::kOk);
}

// The lock file is only a file: deleting or replacing it while a process holds
// the mandate must not let another process hold it too.
TEST_F(LocksTest, DeletedOrReplacedLockFileGrantsNoSecondHolder) {
    for (bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "replaced" : "deleted");
        ChildProcess holder([this](ChildChannel& channel) {
            Mandate mandate;
            if (mandate.OpenMandateFiles(dir_) != pendra::kOk) return 1;
            MIniSetHelper exclusive(&mandate, true);
            if (exclusive.OpenExclusive() != pendra::kOk) return 2;
            channel.Send("held");
            channel.Receive();
            return 0;
        });
        ChildChannel channel = holder.Channel();
        ASSERT_EQ(channel.Receive(), "held");
        const std::string lockPath = dir_ + "/" + MandateLockFile::kFileName;
        ASSERT_EQ(::unlink(lockPath.c_str()), 0);
        if (replace) {
            ASSERT_EQ(MandateLockFile::Create(dir_), pendra::kOk);
        }

        Mandate mandate;
        EXPECT_EQ(mandate.OpenMandateFiles(dir_), pendra::kMandateHeldExclusively);
        channel.Send("go");
        EXPECT_EQ(holder.Wait(), 0);
        EXPECT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
        mandate.CloseMandateFiles();
    }
}

// Here the test process has the mandate open (shared) when its lock file goes:
// a second process may open it too, but not hold it.
TEST_F(LocksTest, DeletedLockFileGrantsNoExclusiveBesideAnOpenHandle) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    ASSERT_EQ(::unlink((dir_ + "/" + MandateLockFile::kFileName).c_str()), 0);
    EXPECT_EQ(ExclusiveInAnotherProcess(dir_), pendra::kMandateHeldExclusively);
    mandate.CloseMandateFiles();
    EXPECT_EQ(ExclusiveInAnotherProcess(dir_), pendra::kOk);
}

// The change counter lives in the lock file; truncating that file under a
// process that has the mandate open used to end the process with SIGBUS.
TEST_F(LocksTest, TruncatedLockFileDoesNotCrashItsUsers) {
    ChildProcess user([this](ChildChannel& channel) {
        Mandate mandate;
        if (mandate.OpenMandateFiles(dir_) != pendra::kOk) return 1;
        if (RateOf(mandate, "VSN77") != 0.077f) return 2;
        channel.Send("open");
        channel.Receive();  // the lock file is truncated now
        if (RateOf(mandate, "VSN77") != 0.077f) return 3;
        RecordFile<Tax> tax(mandate);
        if (tax.opened != pendra::kOk) return 4;
        FillTax(tax, "NEU81", 0.081f);
        if (tax.Insert() != pendra::kOk) return 5;
        MIniSetHelper exclusive(&mandate, false);
        return exclusive.OpenExclusive() == pendra::kOk ? 0 : 6;
    });
    ChildChannel channel = user.Channel();
    ASSERT_EQ(channel.Receive(), "open");
    ASSERT_EQ(::truncate((dir_ + "/" + MandateLockFile::kFileName).c_str(), 0), 0);
    channel.Send("go");
    EXPECT_EQ(user.Wait(), 0) << "-1: killed by a signal";
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    EXPECT_FLOAT_EQ(RateOf(mandate, "NEU81"), 0.081f);
}

TEST_F(LocksTest, ExclusiveNeedsAnOpenMandate) {
    Mandate closed;
    MIniSetHelper exclusive(&closed, false);
    EXPECT_EQ(exclusive.OpenExclusive(), pendra::kFileNotOpen);
}

TEST_F(LocksTest, RecordLockKeepsOtherHandlesFromChangingTheRecord) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Tax> a(mandate), b(mandate);

    a.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(a.Read("VSN77"), pendra::kOk);
    ASSERT_EQ(b.Read("VSN77"), pendra::kOk);  // reading stays free
    SetRate(b, 0.5f);
    EXPECT_EQ(b.Update(), pendra::kRecordLocked);
    EXPECT_EQ(b.Delete(), pendra::kRecordLocked);
    ASSERT_EQ(b.Read("VSN25"), pendra::kOk);  // other records stay free
    EXPECT_EQ(b.Update(), pendra::kOk);

    SetRate(a, 0.081f);
    ASSERT_EQ(a.Update(), pendra::kOk);  // releases the lock
    ASSERT_EQ(b.Read("VSN77"), pendra::kOk);
    EXPECT_FLOAT_EQ(b.GetPercent(), 0.081f);
    EXPECT_EQ(b.Update(), pendra::kOk);
}

TEST_F(LocksTest, UnlockSingleAndANewLockReleaseTheOldOne) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Tax> a(mandate), b(mandate);

    a.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(a.Read("VSN77"), pendra::kOk);
    a.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(a.Read("VSN25"), pendra::kOk);  // single lock: VSN77 is free again
    ASSERT_EQ(b.Read("VSN77"), pendra::kOk);
    EXPECT_EQ(b.Update(), pendra::kOk);
    ASSERT_EQ(b.Read("VSN25"), pendra::kOk);
    EXPECT_EQ(b.Update(), pendra::kRecordLocked);
    EXPECT_EQ(a.UnlockSingle(), pendra::kOk);
    EXPECT_EQ(b.Update(), pendra::kOk);

    ASSERT_EQ(a.Read("VSN25"), pendra::kOk);  // the flag held for one read only
    EXPECT_EQ(b.Update(), pendra::kOk);
}

TEST_F(LocksTest, RecordLockAcrossProcessesRefusesWritersAndMakesLockersWait) {
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir_), pendra::kOk);
    RecordFile<Tax> tax(mandate);
    tax.SetLockFlag(BRecord::kWaitLock);
    ASSERT_EQ(tax.Read("VSN77"), pendra::kOk);

    {
        ChildProcess writer([&](ChildChannel&) {
            Mandate own;
            if (own.OpenMandateFiles(dir_) != pendra::kOk) return 1;
            RecordFile<Tax> ownTax(own);
            if (ownTax.Read("VSN77") != pendra::kOk) return 2;
            return ownTax.Update();
        });
        EXPECT_EQ(writer.Wait(), pendra::kRecordLocked);
    }

    ChildProcess locker([&](ChildChannel& channel) {
        Mandate own;
        if (own.OpenMandateFiles(dir_) != pendra::kOk) return 1;
        RecordFile<Tax> ownTax(own);
        channel.Send("waiting");
        ownTax.SetLockFlag(BRecord::kWaitLock);
        if (ownTax.Read("VSN77") != pendra::kOk) return 2;
        channel.Send("locked " + std::to_string(ownTax.GetPercent()));
        return 0;
    });
    ChildChannel channel = locker.Channel();
    ASSERT_EQ(channel.Receive(), "waiting");
    EXPECT_EQ(channel.Receive(kStillBlockedMs), std::nullopt);  // blocked on our lock

    SetRate(tax, 0.081f);
    ASSERT_EQ(tax.Update(), pendra::kOk);  // releases; the waiter reads what we wrote
    EXPECT_EQ(channel.Receive(), "locked " + std::to_string(0.081f));
    EXPECT_EQ(locker.Wait(), 0);
}

}  // namespace
