#pragma once
// Helpers of the data library tests: temporary directories, mandates with
// records, a scripted PendraUi.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "pendra/BFile.h"
#include "pendra/Buch.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "pendra/PendraStatus.h"
#include "pendra/PendraUi.h"
#include "pendra/StorageEngine.h"
#include "pendra/Tax.h"
#include "pendra/TaxIdText.h"

namespace testsupport {

// A fresh directory per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pendra-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path() const { return path_.string(); }
    std::string Sub(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string NewMandate(const TempDir& temp, const std::string& name = "Test AG",
                              MandateCreateOptions options = {}) {
    std::string dir = temp.Sub(name);
    options.name = name;
    EXPECT_EQ(CreateMandate(dir, options), pendra::kOk);
    return dir;
}

inline void FillTax(Tax& tax, const std::string& id, float rate, bool netto = true,
                    const std::string& text = "") {
    std::memset(tax.GetBuffer(), 0, Tax::kSize);
    ASSERT_EQ(tax.SetId(id), pendra::kOk);
    std::memcpy(tax.GetBuffer() + Tax::kRateOffset, &rate, sizeof rate);
    tax.SetQuote(1.0f + rate);
    tax.GetBuffer()[Tax::kNettoOffset] = netto ? 1 : 0;
    std::memcpy(tax.GetBuffer() + Tax::kTextOffset, text.data(), text.size());
}

inline void FillKonto(Konto& konto, const std::string& number, short type,
                      const std::string& taxId) {
    std::memset(konto.GetBuffer(), 0, Konto::kSize);
    std::memcpy(konto.GetBuffer() + Konto::kNumberOffset, number.data(), number.size());
    std::memcpy(konto.GetBuffer() + Konto::kTypeOffset, &type, sizeof type);
    ASSERT_EQ(konto.SetTaxId(taxId), pendra::kOk);
}

inline void FillBuch(Buch& buch, std::int32_t number, const std::string& taxId,
                     double amount = 100.0) {
    std::memset(buch.GetBuffer(), 0, Buch::kSize);
    std::memcpy(buch.GetBuffer() + Buch::kNumberOffset, &number, sizeof number);
    std::memcpy(buch.GetBuffer() + Buch::kDateOffset, "20231231", 8);
    std::memcpy(buch.GetBuffer() + Buch::kAccountOffset, "4000", 4);
    std::memcpy(buch.GetBuffer() + Buch::kAmountOffset, &amount, sizeof amount);
    // Bookings have no tax id setter: the id goes in as the library stores it.
    std::string stored;
    ASSERT_EQ(pendra::EncodeTaxId(taxId, Buch::kTaxIdWidth, stored), pendra::kOk) << taxId;
    std::memcpy(buch.GetBuffer() + Buch::kTaxIdOffset, stored.data(), stored.size());
}

// Tax ids of a whole walk, in the order met.
inline std::vector<std::string> WalkTaxIds(Tax& tax) {
    std::vector<std::string> ids;
    for (int status = tax.ReadFirst(); status == pendra::kOk; status = tax.ReadNext()) {
        ids.push_back(tax.GetId());
    }
    return ids;
}

inline void InsertTaxes(Mandate& mandate, const std::vector<std::string>& ids) {
    BFile file(&mandate);
    ASSERT_EQ(file.Open(mandate.GetTaxName(), BFile::kModeUpdate), pendra::kOk);
    Tax tax(&mandate);
    tax.UseFile(&file);
    for (const std::string& id : ids) {
        FillTax(tax, id, 0.077f);
        ASSERT_EQ(tax.Insert(), pendra::kOk) << id;
    }
}

namespace detail {
struct OwnFile {
    explicit OwnFile(Mandate* mandate) : file(mandate) {}
    BFile file;
};
}  // namespace detail

// A Tax, Konto or Buch bound to a file of its own of `mandate`, opened for
// `mode`. The file is opened before the record exists and closed after it.
template <class Record>
class RecordFile : private detail::OwnFile, public Record {
public:
    explicit RecordFile(Mandate& mandate, int mode = BFile::kModeUpdate)
        : OwnFile(&mandate), Record(&mandate) {
        std::string name;
        if constexpr (std::is_same_v<Record, Tax>) name = mandate.GetTaxName();
        if constexpr (std::is_same_v<Record, Konto>) name = mandate.GetKontoName();
        if constexpr (std::is_same_v<Record, Buch>) name = mandate.GetBuchName();
        opened = file.Open(name, mode);
        EXPECT_EQ(opened, pendra::kOk) << name;
        this->UseFile(&file);
    }
    BFile& File() { return file; }
    int opened;  // the status of the file's opening
};

// A batch of the mandate's engine, its beginning checked; null when refused.
inline std::unique_ptr<StorageBatch> Batch(Mandate& mandate) {
    int status = pendra::kOk;
    std::unique_ptr<StorageBatch> batch = mandate.Engine()->BeginBatch(status);
    EXPECT_EQ(status, pendra::kOk) << "beginning a batch";
    return batch;
}

// The numbers of the records a walk meets: of the whole file, or of one tax id.
template <class Record>
auto WalkNumbers(Record& record) {
    std::vector<decltype(record.GetNumber())> numbers;
    for (int s = record.ReadFirst(); s == pendra::kOk; s = record.ReadNext()) numbers.push_back(record.GetNumber());
    return numbers;
}
template <class Record>
auto WalkNumbers(Record& record, const std::string& taxId) {
    std::vector<decltype(record.GetNumber())> numbers;
    for (int s = record.ReadFirstByTaxId(taxId); s == pendra::kOk; s = record.ReadNextByTaxId(taxId)) {
        numbers.push_back(record.GetNumber());
    }
    return numbers;
}

// Accounts inserted through `konto`, each {number, tax id}, of `type`.
inline void InsertKonten(Konto& konto, const std::vector<std::pair<std::string, std::string>>& accounts,
                         short type = 1) {
    for (const auto& [number, taxId] : accounts) {
        FillKonto(konto, number, type, taxId);
        ASSERT_EQ(konto.Insert(), pendra::kOk) << number;
    }
}

// Answers prompts from a script and records everything shown.
class ScriptedUi : public PendraUi {
public:
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.push_back(text);
        captions.push_back(caption);
    }
    std::optional<std::string> AskPassword(const std::string& prompt,
                                           const std::string& caption) override {
        prompts.push_back(prompt);
        captions.push_back(caption);
        return Next(passwords);
    }
    std::optional<std::string> SelectMandateDirectory(const std::string& proposal) override {
        proposals.push_back(proposal);
        return Next(directories);
    }

    std::deque<std::optional<std::string>> passwords;    // nullopt: cancel
    std::deque<std::optional<std::string>> directories;  // nullopt: cancel
    std::vector<std::string> messages, prompts, captions, proposals;

private:
    static std::optional<std::string> Next(std::deque<std::optional<std::string>>& script) {
        if (script.empty()) return std::nullopt;
        auto answer = script.front();
        script.pop_front();
        return answer;
    }
};

}  // namespace testsupport
