// Speed of SQL mandates against file mandates: the same large mandate on the
// PostgreSQL server of MWST_TEST_PG (scripts/pg-test-server.sh starts one) and
// in a file, the same record patterns on both, the SQL time over the file
// time (goal: within 5 times). A program, not a test: it prints its figures.
//
//   scripts/pg-test-server.sh build/bin/bench_sql [--bookings N]
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "pendra/PendraStatus.h"
#include "pendra/PgEngine.h"
#include "pendra/StorageEngine.h"
#include "pendra/Tax.h"

namespace {

constexpr int kOldKeys = 1'000;
constexpr int kAccounts = 20'000;

void Check(int status, const char* what) {
    if (status != pendra::kOk) {
        std::fprintf(stderr, "%s: status %d\n", what, status);
        std::exit(1);
    }
}

std::string Id(char letter, int i) {
    char text[8];
    std::snprintf(text, sizeof text, "%c%04d", letter, i);
    return text;
}

void Put(unsigned char* record, std::size_t offset, const std::string& text) {
    std::memcpy(record + offset, text.data(), text.size());
}

void FillKey(Tax& tax, const std::string& id) {
    std::memset(tax.GetBuffer(), 0, Tax::kSize);
    Check(tax.SetId(id), "key id");
    const float rate = 0.077f;
    std::memcpy(tax.GetBuffer() + Tax::kRateOffset, &rate, sizeof rate);
    tax.SetQuote(1.077f);
    tax.GetBuffer()[Tax::kNettoOffset] = 1;
    Put(tax.GetBuffer(), Tax::kKontoOffset, "1170");
    Put(tax.GetBuffer(), Tax::kTextOffset, "Vorsteuer 7.7 %");
}

// Old keys O0000..O0999; accounts on them in turn; bookings on them in turn.
void Fill(Mandate& mandate, int bookings) {
    int status = pendra::kOk;
    auto batch = mandate.Engine()->BeginBatch(status);
    Check(status, "begin");
    BFile taxFile(&mandate), kontoFile(&mandate), buchFile(&mandate);
    Check(taxFile.Open(mandate.GetTaxName(), BFile::kModeUpdate), "open keys");
    Check(kontoFile.Open(mandate.GetKontoName(), BFile::kModeUpdate), "open accounts");
    Check(buchFile.Open(mandate.GetBuchName(), BFile::kModeUpdate), "open bookings");
    Tax tax(&mandate);
    Konto konto(&mandate);
    Buch buch(&mandate);
    tax.UseFile(&taxFile);
    konto.UseFile(&kontoFile);
    buch.UseFile(&buchFile);
    for (int i = 0; i < kOldKeys; ++i) {
        FillKey(tax, Id('O', i));
        Check(tax.Insert(), "insert key");
    }
    for (int i = 0; i < kAccounts; ++i) {
        std::memset(konto.GetBuffer(), 0, Konto::kSize);
        Put(konto.GetBuffer(), Konto::kNumberOffset, std::to_string(100000 + i));
        const short type = 1;
        std::memcpy(konto.GetBuffer() + Konto::kTypeOffset, &type, sizeof type);
        Check(konto.SetTaxId(Id('O', i % kOldKeys)), "account key");
        Put(konto.GetBuffer(), Konto::kNameOffset, "Konto");
        Check(konto.Insert(), "insert account");
    }
    for (std::int32_t number = 1; number <= bookings; ++number) {
        unsigned char* r = buch.GetBuffer();
        std::memset(r, 0, Buch::kSize);
        const double amount = number * 0.05;
        std::memcpy(r + Buch::kNumberOffset, &number, sizeof number);
        Put(r, Buch::kDateOffset, "20231231");
        Put(r, Buch::kAccountOffset, std::to_string(100000 + number % kAccounts));
        std::memcpy(r + Buch::kAmountOffset, &amount, sizeof amount);
        // Half the old keys have bookings.
        Put(r, Buch::kTaxIdOffset, Id('O', number % (kOldKeys / 2) * 2));
        Check(buch.Insert(), "insert booking");
    }
    Check(batch->Commit(), "commit");
}

double Seconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename Record>
long Walk(Mandate& mandate, const std::string& name) {
    BFile file(&mandate);
    Check(file.Open(name, BFile::kModeReadOnly), "open walk");
    Record record(&mandate);
    record.UseFile(&file);
    long count = 0;
    int status = record.ReadFirst();
    for (; status == pendra::kOk; status = record.ReadNext()) ++count;
    if (status != pendra::kEndOfFile) Check(status, "walk");
    return count;
}

// insert-keys: for each old key a new one, its id checked free first.
void InsertKeys(Mandate& mandate) {
    int status = pendra::kOk;
    auto batch = mandate.Engine()->BeginBatch(status);
    Check(status, "begin");
    BFile file(&mandate);
    Check(file.Open(mandate.GetTaxName(), BFile::kModeUpdate), "open keys");
    Tax check(&mandate), writer(&mandate);
    check.UseFile(&file);
    writer.UseFile(&file);
    for (int i = 0; i < kOldKeys; ++i) {
        const std::string id = Id('N', i);
        if (check.Read(id) != pendra::kKeyNotFound) Check(pendra::kDuplicateKey, "id check");
        FillKey(writer, id);
        Check(writer.Insert(), "insert new key");
    }
    Check(batch->Commit(), "commit");
}

// remove-new-keys: each new key read by its id and deleted, in one transaction.
long RemoveKeys(Mandate& mandate) {
    int status = pendra::kOk;
    auto batch = mandate.Engine()->BeginBatch(status);
    Check(status, "begin");
    BFile file(&mandate);
    Check(file.Open(mandate.GetTaxName(), BFile::kModeUpdate), "open keys");
    Tax writer(&mandate);
    writer.UseFile(&file);
    long removed = 0;
    for (int i = 0; i < kOldKeys; ++i) {
        Check(writer.Read(Id('N', i)), "read new key");
        Check(writer.Delete(), "delete new key");
        ++removed;
    }
    Check(batch->Commit(), "commit");
    return removed;
}

// remove-old-keys: is each old key used by a booking?
long KeysInUse(Mandate& mandate) {
    BFile file(&mandate);
    Check(file.Open(mandate.GetBuchName(), BFile::kModeReadOnly), "open bookings");
    Buch buch(&mandate);
    buch.UseFile(&file);
    long used = 0;
    for (int i = 0; i < kOldKeys; ++i) used += buch.ExistsWithTaxId(Id('O', i)) == pendra::kOk;
    return used;
}

// The same question for all keys at once, as a command that knows its keys asks it.
long KeysInUseAtOnce(Mandate& mandate) {
    BFile file(&mandate);
    Check(file.Open(mandate.GetBuchName(), BFile::kModeReadOnly), "open bookings");
    Buch buch(&mandate);
    buch.UseFile(&file);
    std::vector<std::string> ids;
    for (int i = 0; i < kOldKeys; ++i) ids.push_back(Id('O', i));
    std::vector<int> found;
    Check(buch.ExistsWithTaxIds(ids, found), "used by a booking");
    long used = 0;
    for (int answer : found) used += answer == pendra::kOk;
    return used;
}

// adapt-accounts: each old key's accounts to its new key, through the tax id
// index, each account under its wait lock, all in one transaction.
long AdaptAccounts(Mandate& mandate, char from, char to) {
    int status = pendra::kOk;
    auto batch = mandate.Engine()->BeginBatch(status);
    Check(status, "begin");
    BFile file(&mandate);
    Check(file.Open(mandate.GetKontoName(), BFile::kModeUpdate), "open accounts");
    Konto konto(&mandate);
    konto.UseFile(&file);
    long changed = 0;
    for (int i = 0; i < kOldKeys; ++i) {
        const std::string oldId = Id(from, i), newId = Id(to, i);
        konto.SetLockFlag(BRecord::kWaitLock);
        for (status = konto.ReadFirstByTaxId(oldId); status == pendra::kOk;
             status = konto.ReadNextByTaxId(oldId)) {
            Check(konto.SetTaxId(newId), "set key");
            Check(konto.Update(), "update account");
            ++changed;
            konto.SetLockFlag(BRecord::kWaitLock);
        }
        konto.UnlockSingle();
    }
    Check(batch->Commit(), "commit");
    return changed;
}

struct Pattern {
    const char* name;
    std::function<long(Mandate&)> run;
};

std::vector<double> RunAll(const std::string& dir, const std::vector<Pattern>& patterns) {
    Mandate mandate;
    Check(mandate.OpenMandateFiles(dir), "open mandate");
    std::vector<double> times;
    for (const Pattern& pattern : patterns) {
        long result = 0;
        times.push_back(Seconds([&] { result = pattern.run(mandate); }));
        std::printf("  %-44s %8.3f s  (%ld)\n", pattern.name, times.back(), result);
        std::fflush(stdout);
    }
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    int bookings = 1'000'000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--bookings") == 0) bookings = std::atoi(argv[i + 1]);
    }
    const char* server = std::getenv("MWST_TEST_PG");
    std::string pattern = (std::filesystem::temp_directory_path() / "sql-bench-XXXXXX").string();
    const std::string root = mkdtemp(pattern.data());
    const std::string fileDir = root + "/file", sqlDir = root + "/sql";

    const std::vector<Pattern> patterns = {
        {"walk keys", [](Mandate& m) { return Walk<Tax>(m, m.GetTaxName()); }},
        {"walk accounts", [](Mandate& m) { return Walk<Konto>(m, m.GetKontoName()); }},
        {"walk bookings", [](Mandate& m) { return Walk<Buch>(m, m.GetBuchName()); }},
        {"insert 1,000 keys with the id check", [](Mandate& m) { InsertKeys(m); return long{kOldKeys}; }},
        {"1,000 keys: used by a booking? (one by one)", KeysInUse},
        {"1,000 keys: used by a booking? (all at once)", KeysInUseAtOnce},
        {"20,000 accounts to the new key (tax id walk, wait lock)", [](Mandate& m) { return AdaptAccounts(m, 'O', 'N'); }},
        {"20,000 accounts back (tax id walk, wait lock)", [](Mandate& m) { return AdaptAccounts(m, 'N', 'O'); }},
        {"1,000 keys read and deleted", RemoveKeys},
    };

    std::printf("%d old keys, %d accounts, %d bookings\n", kOldKeys, kAccounts, bookings);
    MandateCreateOptions options;
    options.name = "Bench AG";
    Check(CreateMandate(fileDir, options), "create file mandate");
    {
        Mandate mandate;
        Check(mandate.OpenMandateFiles(fileDir), "open file mandate");
        std::printf("file mandate filled in %.1f s\n", Seconds([&] { Fill(mandate, bookings); }));
    }
    std::printf("file mandate:\n");
    const std::vector<double> fileTimes = RunAll(fileDir, patterns);

    if (!server || !*server) {
        std::printf("no PostgreSQL server (MWST_TEST_PG unset; run under scripts/pg-test-server.sh): "
                    "SQL mandate skipped\n");
        std::filesystem::remove_all(root);
        return 0;
    }
    options.sqlConnection = server;
    Check(CreateMandate(sqlDir, options), "create SQL mandate");
    std::vector<double> sqlTimes;
    {
        Mandate mandate;
        Check(mandate.OpenMandateFiles(sqlDir), "open SQL mandate");
        std::printf("SQL mandate filled in %.1f s\n", Seconds([&] { Fill(mandate, bookings); }));
    }
    std::printf("SQL mandate:\n");
    sqlTimes = RunAll(sqlDir, patterns);
    DropSqlMandate(sqlDir);
    std::filesystem::remove_all(root);

    std::printf("\n| pattern | file | SQL | SQL / file |\n|---|---|---|---|\n");
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        std::printf("| %s | %.3f s | %.3f s | %.1f |\n", patterns[i].name, fileTimes[i], sqlTimes[i],
                    sqlTimes[i] / fileTimes[i]);
    }
    return 0;
}
