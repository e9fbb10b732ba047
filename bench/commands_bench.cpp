// Speed of the key and account commands. A mandate of 300 old keys, 20,000
// accounts and 1,000,000 bookings: each command against one sequential read of
// the records it works over (goal: within 5 times). Then a batch over 200
// small mandates. A program, not a test: it prints its figures.
#include <stdlib.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "app/CMainFrame.h"
#include "app/CTheApp.h"
#include "app/CTheList.h"
#include "app/CTheView.h"
#include "app/framework/ScriptedUiSeam.h"
#include "forms/vcf/CVCF1.h"
#include "mandate/pendra/BFile.h"
#include "mandate/pendra/Buch.h"
#include "mandate/pendra/Konto.h"
#include "mandate/pendra/Mandate.h"
#include "mandate/pendra/MandateAdmin.h"
#include "mandate/pendra/PendraStatus.h"
#include "mandate/pendra/StorageEngine.h"
#include "mandate/pendra/Tax.h"
#include "res/Resource.h"

namespace {

struct Size {
    int prefixes;  // each gives three old keys: 7.7, 2.5 and 3.7 %
    int accounts;
    int bookings;
};

constexpr Size kLarge{100, 20'000, 1'000'000};
constexpr Size kSmall{4, 50, 200};
constexpr int kSmallMandates = 200;
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
void BuildMandate(const std::string& dir, const Size& size) {
    MandateCreateOptions options;
    options.name = "Bench AG";
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

void WriteForm(const std::string& dir, const char* version) {
    CVCF1 form;
    form.SetSheet(4);
    form.SetTextRC(1, 1, "Z1");
    form.SetFormulaRC(1, 2, "AAA77+AAB25");
    form.SetSheet(1);
    form.SetDefinedName("VERSION", version);
    form.Write(dir + "/MWSTFORM.VTS", CVCF1::kFileTypeOoxml);
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One sequential read of every record of a file of the open mandate.
template <typename Record>
double ReadAll(const std::string& name, int& count) {
    Mandate* mandate = Mandate::GetGlobalMandate();
    BFile file(mandate);
    Check(file.Open(name, BFile::kModeReadOnly), "walk open");
    Record record(mandate);
    record.UseFile(&file);
    count = 0;
    return Seconds([&] {
        for (int s = record.ReadFirst(); s == pendra::kOk; s = record.ReadNext()) ++count;
    });
}

int LogLines(CTheApp& app) {
    const std::string& text = app.GetLogView()->GetText();
    int lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    return lines;
}

void Row(const char* what, double seconds, double baseline, int lines) {
    std::printf("  %-34s %9.3f s  %7.2f x read  %7d log lines\n", what, seconds, seconds / baseline, lines);
}

void LargeMandate(CTheApp& app, ScriptedUiSeam& seam, const std::string& root) {
    const std::string dir = root + "/gross";
    std::printf("Building %d keys, %d accounts, %d bookings ...\n", kLarge.prefixes * 3, kLarge.accounts,
                kLarge.bookings);
    std::printf("  built in %.1f s\n", Seconds([&] { BuildMandate(dir, kLarge); }));
    WriteForm(dir, "2018");
    CMainFrame& frame = *app.GetMainFrame();
    frame.OpenMandate(dir);
    Mandate* mandate = Mandate::GetGlobalMandate();
    if (!mandate->IsMandantOpen()) std::exit(1);

    int keys = 0, accounts = 0, bookings = 0;
    const double readKeys = ReadAll<Tax>(mandate->GetTaxName(), keys);
    const double readAccounts = ReadAll<Konto>(mandate->GetKontoName(), accounts);
    const double readBookings = ReadAll<Buch>(mandate->GetBuchName(), bookings);
    std::printf("Sequential reads: %d keys %.4f s, %d accounts %.3f s, %d bookings %.3f s\n", keys, readKeys,
                accounts, readAccounts, bookings, readBookings);
    const double readAll = readKeys + readAccounts + readBookings;
    std::printf("Commands (x read: against one read of keys, accounts and bookings, %.3f s):\n", readAll);

    auto run = [&](const char* what, unsigned id) {
        app.GetLogView()->Clear();
        const double seconds = Seconds([&] { frame.DoCommand(id); });
        Row(what, seconds, readAll, LogLines(app));
    };
    run("insert new keys (300 inserts)", ID_NEW_KEYS);
    run("adapt accounts (20,000 updates)", ID_UPDATE_ACCOUNTS);
    run("adapt accounts again (no match)", ID_UPDATE_ACCOUNTS);
    run("reset accounts (20,000 updates)", ID_UNDO_UPDATE_ACCOUNTS);
    run("remove new keys (300 deletes)", ID_NEW_KEYS_REVERSE);
    run("insert new keys again", ID_NEW_KEYS);
    WriteForm(dir, "2024");
    seam.boxPolicy = [](const MessageBoxRequest&) { return int(IDYES); };
    run("remove old keys (150 of 300 used)", ID_REMOVE_KEYS);
    frame.CloseMandate();
}

void SmallBatch(CTheApp& app, const std::string& root) {
    std::vector<std::string> dirs;
    const double built = Seconds([&] {
        for (int i = 0; i < kSmallMandates; ++i) {
            dirs.push_back(root + "/klein/" + std::to_string(1000 + i));
            std::filesystem::create_directories(dirs.back());
            std::filesystem::remove(dirs.back());
            BuildMandate(dirs.back(), kSmall);
        }
    });
    std::printf("Batch of %d mandates (%d keys, %d accounts, %d bookings each), built in %.1f s:\n", kSmallMandates,
                kSmall.prefixes * 3, kSmall.accounts, kSmall.bookings, built);
    const double registered = Seconds([&] {
        for (const std::string& dir : dirs) app.AddMandate(dir);
    });
    std::printf("  %-34s %9.3f s  %7.1f ms per mandate\n", "register (version, password)", registered,
                registered * 1000 / kSmallMandates);
    app.SwitchView(1);
    CMainFrame& frame = *app.GetMainFrame();
    for (auto [what, id] : {std::pair{"insert new keys", ID_NEW_KEYS}, std::pair{"adapt accounts", ID_UPDATE_ACCOUNTS},
                            std::pair{"reset accounts", ID_UNDO_UPDATE_ACCOUNTS},
                            std::pair{"remove new keys", ID_NEW_KEYS_REVERSE}}) {
        app.GetListView()->OnMarkall();
        app.GetLogView()->Clear();
        const double seconds = Seconds([&] { frame.DoCommand(id); });
        std::printf("  %-34s %9.3f s  %7.1f ms per mandate  %6d log lines\n", what, seconds,
                    seconds * 1000 / kSmallMandates, LogLines(app));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    std::string pattern = (std::filesystem::temp_directory_path() / "mwst-bench-XXXXXX").string();
    const std::string root = mkdtemp(pattern.data());
    setenv("MWST_SETTINGS", (root + "/brisol.ini").c_str(), 1);
    ScriptedUiSeam seam;
    UiSeam::Install(&seam);
    {
        CTheApp app;
        if (!app.InitInstance()) return 1;
        LargeMandate(app, seam, root);
        SmallBatch(app, root);
        app.GetMainFrame()->close();
        app.ExitInstance();
    }
    UiSeam::Install(nullptr);
    std::filesystem::remove_all(root);
    return 0;
}
