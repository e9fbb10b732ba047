// Speed of the conversion commands as a user runs them: whole mwst-batch
// processes. A mandate of 300 old keys, 20,000 accounts and 1,000,000
// bookings: each command against one sequential read of its records (goal:
// within 2 times), with the process's peak memory. Then 1,000 typical
// mandates (30 keys, 200 accounts, 2,000 bookings, the 2018 form workbooks,
// 200 with a password) through four commands in one call. With --sql, the
// commands on the same mandate as a file and as an SQL mandate instead. A
// program, not a test: it prints its figures.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "templates/TemplateSet.h"
#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "pendra/PendraStatus.h"
#include "pendra/StorageEngine.h"
#include "pendra/Tax.h"

namespace {

struct Size {
    int prefixes;  // each gives three old keys: 7.7, 2.5 and 3.7 %
    int accounts;
    int bookings;
};

constexpr Size kLarge{100, 20'000, 1'000'000};
constexpr Size kTypical{10, 200, 2'000};
constexpr int kTypicalMandates = 1'000;
constexpr int kProtectedEvery = 5;  // every fifth typical mandate has a password
constexpr const char* kPassword = "geheim";
constexpr const char* kRates[] = {"77", "25", "37"};
constexpr float kRateValues[] = {0.077f, 0.025f, 0.037f};

void Check(int status, const char* what) {
    if (status != pendra::kOk) {
        std::fprintf(stderr, "%s: status %d\n", what, status);
        std::exit(1);
    }
}

std::string Prefix(int i) {
    return {char('A' + i / 676 % 26), char('A' + i / 26 % 26), char('A' + i % 26)};
}

void Put(unsigned char* record, std::size_t offset, const std::string& text) {
    std::memcpy(record + offset, text.data(), text.size());
}

// Old keys PPP77/PPP25/PPP37 with automatic account 1000 (type 0); accounts
// default to them in turn; bookings use the keys of the first half of the
// prefixes, so that the removal of old keys keeps half and deletes half.
void BuildMandate(const std::string& dir, const Size& size, bool password = false,
                  const std::optional<std::string>& sql = std::nullopt) {
    MandateCreateOptions options;
    options.name = "Bench AG";
    if (password) options.password = kPassword;
    options.sqlConnection = sql;
    Check(CreateMandate(dir, options), "create");
    Mandate mandate;
    Check(mandate.OpenMandateFiles(dir), "open");
    int status = pendra::kOk;
    auto batch = mandate.Engine()->BeginBatch(status);
    Check(status, "batch");
    BFile taxFile(&mandate), kontoFile(&mandate), buchFile(&mandate);
    Check(taxFile.Open(mandate.GetTaxName(), BFile::kModeUpdate), "tax file");
    Check(kontoFile.Open(mandate.GetKontoName(), BFile::kModeUpdate), "account file");
    Check(buchFile.Open(mandate.GetBuchName(), BFile::kModeUpdate), "booking file");
    Tax tax(&mandate);
    tax.UseFile(&taxFile);
    const int keys = size.prefixes * 3;
    for (int k = 0; k < keys; ++k) {
        std::memset(tax.GetBuffer(), 0, Tax::kSize);
        Check(tax.SetId(Prefix(k / 3) + kRates[k % 3]), "key id");
        std::memcpy(tax.GetBuffer() + Tax::kRateOffset, &kRateValues[k % 3], sizeof(float));
        tax.SetQuote(1.0f + kRateValues[k % 3]);
        Put(tax.GetBuffer(), Tax::kKontoOffset, "1000");
        Check(tax.Insert(), "key");
    }
    Konto konto(&mandate);
    konto.UseFile(&kontoFile);
    for (int a = 0; a < size.accounts; ++a) {
        std::memset(konto.GetBuffer(), 0, Konto::kSize);
        Put(konto.GetBuffer(), Konto::kNumberOffset, a == 0 ? "1000" : std::to_string(100000 + a));
        Check(konto.SetTaxId(Prefix(a % keys / 3) + kRates[a % 3]), "account tax id");
        Check(konto.Insert(), "account");
    }
    Buch buch(&mandate);
    buch.UseFile(&buchFile);
    const int usedKeys = keys / 2;
    for (std::int32_t b = 1; b <= size.bookings; ++b) {
        unsigned char* r = buch.GetBuffer();
        std::memset(r, 0, Buch::kSize);
        const double amount = b * 0.05;
        std::memcpy(r + Buch::kNumberOffset, &b, sizeof b);
        Put(r, Buch::kDateOffset, "20231231");
        Put(r, Buch::kAccountOffset, "4000");
        std::memcpy(r + Buch::kAmountOffset, &amount, sizeof amount);
        const int k = b % usedKeys;
        Put(r, Buch::kTaxIdOffset, Prefix(k / 3) + kRates[k % 3]);
        Check(buch.Insert(), "booking");
    }
    Check(batch->Commit(), "commit");
}

// The 2018 form workbooks from the templates, as a mandate has them: a
// workbook whose mapping sheet the check cannot confirm would make the
// commands that adapt its formulas refuse the mandate before any change.
void InstallForms(const std::string& dir) {
    if (std::string error; !MwstInstallTemplateSet(2018, dir, error)) {
        std::fprintf(stderr, "templates: %s\n", error.c_str());
        std::exit(1);
    }
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One sequential read of every record of a file of `mandate`.
template <typename Record>
double ReadAll(Mandate& mandate, const std::string& name, int& count) {
    BFile file(&mandate);
    Check(file.Open(name, BFile::kModeReadOnly), "walk open");
    Record record(&mandate);
    record.UseFile(&file);
    count = 0;
    return Seconds([&] {
        for (int s = record.ReadFirst(); s == pendra::kOk; s = record.ReadNext()) ++count;
    });
}

struct ProcessRun {
    double seconds = 0;
    long peakKb = 0;
    int status = 0;
};

// One mwst-batch process with `args`, its output thrown away.
ProcessRun RunTool(const std::vector<std::string>& args) {
    const std::string tool = (std::filesystem::path(MwstProgramPath()).parent_path() / "mwst-batch").string();
    std::vector<char*> argv{const_cast<char*>(tool.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ProcessRun run;
    std::fflush(nullptr);  // or the child's freopen writes our buffered figures once more
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKb = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

void LargeMandate(const std::string& root) {
    const std::string dir = root + "/gross";
    std::printf("Building %d keys, %d accounts, %d bookings ...\n", kLarge.prefixes * 3, kLarge.accounts,
                kLarge.bookings);
    std::printf("  built in %.1f s\n", Seconds([&] { BuildMandate(dir, kLarge); }));
    InstallForms(dir);
    int keys = 0, accounts = 0, bookings = 0;
    double readAll = 0;
    {
        Mandate mandate;
        Check(mandate.OpenMandateFiles(dir), "open");
        const double readKeys = ReadAll<Tax>(mandate, mandate.GetTaxName(), keys);
        const double readAccounts = ReadAll<Konto>(mandate, mandate.GetKontoName(), accounts);
        const double readBookings = ReadAll<Buch>(mandate, mandate.GetBuchName(), bookings);
        std::printf("Sequential reads: %d keys %.4f s, %d accounts %.3f s, %d bookings %.3f s\n", keys, readKeys,
                    accounts, readAccounts, bookings, readBookings);
        readAll = readKeys + readAccounts + readBookings;
    }
    std::printf("Commands, one mwst-batch process each (x read: against one read of keys, accounts and "
                "bookings, %.3f s):\n",
                readAll);
    const auto run = [&](const char* what, const std::string& command) {
        const ProcessRun result = RunTool({command, "--yes", dir});
        std::printf("  %-34s %9.3f s  %7.2f x read  %7.1f MB peak  exit %d\n", what, result.seconds,
                    result.seconds / readAll, result.peakKb / 1024.0, result.status);
    };
    run("insert new keys (300 inserts)", "insert-keys");
    run("adapt accounts (20,000 updates)", "adapt-accounts");
    run("adapt accounts again (no match)", "adapt-accounts");
    run("reset accounts (20,000 updates)", "reset-accounts");
    run("remove new keys (300 deletes)", "remove-new-keys");
    run("insert new keys again", "insert-keys");
    run("form 2024 (eight files)", "form-2024");
    run("remove old keys (150 of 300 used)", "remove-old-keys");
    // What the runs above left to restore from.
    std::error_code ec;
    for (const auto& backup : std::filesystem::directory_iterator(dir + "/.mwst-backup", ec)) {
        std::uintmax_t bytes = 0;
        for (const auto& file : std::filesystem::recursive_directory_iterator(backup.path(), ec))
            if (file.is_regular_file(ec)) bytes += file.file_size(ec);
        std::printf("  backup %s: %.2f MB\n", backup.path().filename().c_str(), bytes / 1e6);
    }
}

// Keys with ids in the thousands: the insertion must stay linear in them.
void ManyKeys(const std::string& root) {
    std::printf("Insert new keys on mandates with many keys (20 accounts, 20 bookings):\n");
    for (int prefixes : {100, 500, 2'000}) {
        const std::string dir = root + "/schluessel" + std::to_string(prefixes);
        BuildMandate(dir, {prefixes, 20, 20});
        const ProcessRun result = RunTool({"insert-keys", dir});
        std::printf("  %6d old keys %9.3f s  exit %d\n", prefixes * 3, result.seconds, result.status);
    }
}

void TypicalMandates(const std::string& root) {
    const std::string base = root + "/typisch";
    const std::string passwords = root + "/passwoerter.txt";
    std::ofstream passwordFile(passwords);
    const double built = Seconds([&] {
        for (int i = 0; i < kTypicalMandates; ++i) {
            const std::string dir = base + "/" + std::to_string(1000 + i);
            std::filesystem::create_directories(base);
            const bool protectedMandate = i % kProtectedEvery == 0;
            BuildMandate(dir, kTypical, protectedMandate);
            InstallForms(dir);
            if (!protectedMandate) continue;
            passwordFile << dir << "\t" << kPassword << "\n";
            passwordFile << root << "/typisch-kopie/" << 1000 + i << "\t" << kPassword << "\n";
        }
    });
    passwordFile.close();
    // mwst-batch takes passwords only from a file no one but its owner may use.
    std::filesystem::permissions(passwords, std::filesystem::perms::owner_read |
                                                std::filesystem::perms::owner_write);
    std::printf("%d typical mandates (%d keys, %d accounts, %d bookings, the 2018 forms, every %dth with a "
                "password), built in %.1f s:\n",
                kTypicalMandates, kTypical.prefixes * 3, kTypical.accounts, kTypical.bookings, kProtectedEvery,
                built);
    // A copy for the run in one process, so that both runs find the same work.
    const std::string copy = root + "/typisch-kopie";
    std::filesystem::copy(base, copy, std::filesystem::copy_options::recursive);
    const std::string steps = "insert-keys,adapt-accounts,form-2024,remove-old-keys";
    for (const auto& [jobs, tree] : {std::pair{"2", base}, std::pair{"1", copy}}) {
        const ProcessRun result =
            RunTool({steps, "--yes", "--jobs", jobs, "--password-file", passwords, "--search", tree});
        std::printf("  %s, --jobs %s: %9.1f s  %6.1f ms per mandate  exit %d\n", steps.c_str(), jobs,
                    result.seconds, result.seconds * 1000 / kTypicalMandates, result.status);
    }
}

// The same commands on the same mandate as a file mandate and as an SQL
// mandate on the server of MWST_TEST_PG: the SQL time over the file time.
void SqlAgainstFile(const std::string& root, int bookings) {
    const char* conninfo = std::getenv("MWST_TEST_PG");
    if (!conninfo || !*conninfo) {
        std::printf("No PostgreSQL server (MWST_TEST_PG unset): run under scripts/pg-test-server.sh\n");
        return;
    }
    const Size size{kLarge.prefixes, kLarge.accounts, bookings};
    const std::string fileDir = root + "/datei", sqlDir = root + "/sql";
    std::printf("Building %d keys, %d accounts, %d bookings as a file and as an SQL mandate ...\n",
                size.prefixes * 3, size.accounts, size.bookings);
    std::printf("  built in %.1f s\n", Seconds([&] {
                    BuildMandate(fileDir, size);
                    BuildMandate(sqlDir, size, false, std::string(conninfo));
                }));
    InstallForms(fileDir);
    InstallForms(sqlDir);
    // Each command first as a dry run (no backup, nothing committed), then for real.
    std::printf("Commands, one mwst-batch process each:   dry run: file      SQL  SQL/file"
                "   real: file      SQL  SQL/file\n");
    const auto run = [&](const char* what, const std::string& command) {
        const ProcessRun dryFile = RunTool({command, "--yes", "--dry-run", fileDir});
        const ProcessRun drySql = RunTool({command, "--yes", "--dry-run", sqlDir});
        const ProcessRun onFile = RunTool({command, "--yes", fileDir});
        const ProcessRun onSql = RunTool({command, "--yes", sqlDir});
        std::printf("  %-34s %8.3f s %8.3f s %6.1f   %8.3f s %8.3f s %6.1f  exit %d/%d\n", what, dryFile.seconds,
                    drySql.seconds, drySql.seconds / dryFile.seconds, onFile.seconds, onSql.seconds,
                    onSql.seconds / onFile.seconds, onFile.status, onSql.status);
    };
    run("show keys", "show-keys");
    run("insert new keys (300 inserts)", "insert-keys");
    run("adapt accounts (20,000 updates)", "adapt-accounts");
    run("reset accounts (20,000 updates)", "reset-accounts");
    run("remove new keys (300 deletes)", "remove-new-keys");
    run("insert new keys again", "insert-keys");
    run("adapt accounts again", "adapt-accounts");
    run("form 2024 (eight files)", "form-2024");
    run("remove old keys (150 of 300 used)", "remove-old-keys");
}

}  // namespace

// bench_commands            the file-mandate figures
// bench_commands --large    the large mandate's only
// bench_commands --sql [N]  file against SQL mandate, N bookings (default 200,000)
int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "mwst-bench-XXXXXX").string();
    const std::string root = mkdtemp(pattern.data());
    setenv("MWST_SETTINGS", (root + "/brisol.ini").c_str(), 1);
    if (argc > 1 && std::string(argv[1]) == "--sql") {
        SqlAgainstFile(root, argc > 2 ? std::atoi(argv[2]) : 200'000);
        std::filesystem::remove_all(root);
        return 0;
    }
    LargeMandate(root);
    if (argc > 1 && std::string(argv[1]) == "--large") {
        std::filesystem::remove_all(root);
        return 0;
    }
    ManyKeys(root);
    TypicalMandates(root);
    std::filesystem::remove_all(root);
    return 0;
}
