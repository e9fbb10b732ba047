// Speed of the data library on a mandate of 1,000,000 bookings: a whole walk
// (target: at least 1,000,000 records a second) and 100,000 keyed reads.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "pendra/PendraStatus.h"
#include "pendra/StorageEngine.h"

namespace {

constexpr std::int32_t kBookings = 1'000'000;
constexpr int kKeyedReads = 100'000;

// The mandate all benchmarks read; built once, removed at exit.
class BookingMandate {
public:
    BookingMandate() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pendra-bench-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        MandateCreateOptions options;
        options.name = "Bench AG";
        if (CreateMandate(dir_, options) != pendra::kOk) std::abort();
        Fill();
    }
    ~BookingMandate() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    const std::string& Dir() const { return dir_; }

private:
    void Fill() {
        Mandate mandate;
        if (mandate.OpenMandateFiles(dir_) != pendra::kOk) std::abort();
        int status = pendra::kOk;
        auto batch = mandate.Engine()->BeginBatch(status);
        BFile file(&mandate);
        if (!batch || file.Open(mandate.GetBuchName(), BFile::kModeUpdate) != pendra::kOk) {
            std::abort();
        }
        Buch buch(&mandate);
        buch.UseFile(&file);
        for (std::int32_t number = 1; number <= kBookings; ++number) {
            unsigned char* r = buch.GetBuffer();
            std::memset(r, 0, Buch::kSize);
            double amount = number * 0.05;
            std::memcpy(r + Buch::kNumberOffset, &number, sizeof number);
            std::memcpy(r + Buch::kDateOffset, "20231231", 8);
            std::memcpy(r + Buch::kAccountOffset, "4000", 4);
            std::memcpy(r + Buch::kAmountOffset, &amount, sizeof amount);
            std::memcpy(r + Buch::kTaxIdOffset, number % 3 ? "VSN77" : "USN25", 5);
            if (buch.Insert() != pendra::kOk) std::abort();
        }
        if (batch->Commit() != pendra::kOk) std::abort();
    }

    std::string dir_;
};

const BookingMandate& Shared() {
    static const BookingMandate mandate;
    return mandate;
}

void BM_WalkAllBookings(benchmark::State& state) {
    Mandate mandate;
    if (mandate.OpenMandateFiles(Shared().Dir()) != pendra::kOk) std::abort();
    BFile file(&mandate);
    file.Open(mandate.GetBuchName(), BFile::kModeReadOnly);
    Buch buch(&mandate);
    buch.UseFile(&file);
    std::int64_t records = 0;
    for (auto _ : state) {
        double sum = 0;
        for (int s = buch.ReadFirst(); s == pendra::kOk; s = buch.ReadNext()) {
            sum += buch.GetData().GetAmount();
            ++records;
        }
        benchmark::DoNotOptimize(sum);
    }
    if (records != kBookings * state.iterations()) state.SkipWithError("walk incomplete");
    state.SetItemsProcessed(records);
}
BENCHMARK(BM_WalkAllBookings)->Unit(benchmark::kMillisecond);

void BM_KeyedReads(benchmark::State& state) {
    Mandate mandate;
    if (mandate.OpenMandateFiles(Shared().Dir()) != pendra::kOk) std::abort();
    BFile file(&mandate);
    file.Open(mandate.GetBuchName(), BFile::kModeReadOnly);
    Buch buch(&mandate);
    buch.UseFile(&file);
    std::mt19937 random(2024);
    std::uniform_int_distribution<std::int32_t> pick(1, kBookings);
    for (auto _ : state) {
        for (int i = 0; i < kKeyedReads; ++i) {
            if (buch.ReadNumber(pick(random)) != pendra::kOk) state.SkipWithError("missing");
        }
    }
    state.SetItemsProcessed(state.iterations() * kKeyedReads);
}
BENCHMARK(BM_KeyedReads)->Unit(benchmark::kMillisecond);

// The same walk while another handle changes a record every 1000 steps:
// what the re-seek after a change costs.
void BM_WalkWithConcurrentUpdates(benchmark::State& state) {
    Mandate mandate;
    if (mandate.OpenMandateFiles(Shared().Dir()) != pendra::kOk) std::abort();
    BFile walkFile(&mandate), writeFile(&mandate);
    walkFile.Open(mandate.GetBuchName(), BFile::kModeReadOnly);
    writeFile.Open(mandate.GetBuchName(), BFile::kModeUpdate);
    Buch walk(&mandate), write(&mandate);
    walk.UseFile(&walkFile);
    write.UseFile(&writeFile);
    std::int64_t records = 0;
    for (auto _ : state) {
        for (int s = walk.ReadFirst(); s == pendra::kOk; s = walk.ReadNext()) {
            if (++records % 1000 == 0 && write.ReadNumber(walk.GetNumber()) == pendra::kOk) {
                write.Update();
            }
        }
    }
    state.SetItemsProcessed(records);
}
BENCHMARK(BM_WalkWithConcurrentUpdates)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
