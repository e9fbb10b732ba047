#pragma once
// Helpers of the form workbook tests: workbook files built with the control,
// mandates with tax keys and accounts, a temporary switch to an ordinary user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "workbook/CVCF1.h"
#include "pendra/BFile.h"
#include "pendra/Konto.h"
#include "pendra/Mandate.h"
#include "pendra/MandateAdmin.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "tests/support/FileBytes.h"
#include "tests/workbook/WorkbookFiles.h"

namespace formstest {

// One mapping sheet row: label, column 2 and column 3 formulas ("" leaves the cell empty).
struct Row {
    std::string label, col2, col3;
};

// A four-sheet form workbook; rows go onto sheet 4, named "Zuordnung" as in
// every template (without the name, only a sheet 4 with the template's labels
// counts as the mapping sheet); "VERSION" is defined unless empty.
inline void WriteForm(const std::string& path, const std::vector<Row>& rows,
                      const std::string& version = "2018") {
    CVCF1 form;
    form.SetSheetName(4, "Zuordnung");
    form.SetSheet(4);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const long row = static_cast<long>(i) + 1;
        if (!rows[i].label.empty()) form.SetTextRC(row, 1, rows[i].label);
        if (!rows[i].col2.empty()) form.SetFormulaRC(row, 2, rows[i].col2);
        if (!rows[i].col3.empty()) form.SetFormulaRC(row, 3, rows[i].col3);
    }
    form.SetSheet(1);
    if (!version.empty()) form.SetDefinedName("VERSION", version);
    form.Write(path, CVCF1::kFileTypeOoxml);
}

using testsupport::FileBytes;
using testsupport::WriteFileBytes;

// The text a cell of sheet 4 holds: its formula, or its displayed value.
inline std::string MappingCell(const std::string& path, long row, long col) {
    CVCF1 form;
    workbooktest::Load(form, path);
    form.SetSheet(4);
    return form.GetTypeRC(row, col) == 3 ? form.GetFormulaRC(row, col) : form.GetTextRC(row, col);
}

// The workbook's "VERSION" name ("" when it has none).
inline std::string Version(const std::string& path) {
    CVCF1 form;
    workbooktest::Load(form, path);
    return form.HasDefinedName("VERSION") ? form.GetDefinedName("VERSION") : std::string();
}

struct TaxKey {
    std::string id;
    float rate;
    std::string account;
};

struct Account {
    std::string number;
    short type;
};

// Creates a mandate in `dir` holding the keys and accounts.
inline void CreateMandateWith(const std::string& dir, const std::vector<TaxKey>& keys,
                              const std::vector<Account>& accounts, bool flatRate = false) {
    MandateCreateOptions options;
    options.name = "Formular AG";
    if (flatRate) options.settings.push_back({0, 27, 1});
    ASSERT_EQ(CreateMandate(dir, options), pendra::kOk);
    Mandate mandate;
    ASSERT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk);
    BFile taxFile(&mandate);
    ASSERT_EQ(taxFile.Open(mandate.GetTaxName(), BFile::kModeUpdate), pendra::kOk);
    Tax tax(&mandate);
    tax.UseFile(&taxFile);
    for (const TaxKey& key : keys) {
        std::memset(tax.GetBuffer(), 0, Tax::kSize);
        ASSERT_EQ(tax.SetId(key.id), pendra::kOk);
        std::memcpy(tax.GetBuffer() + Tax::kRateOffset, &key.rate, sizeof key.rate);
        tax.SetQuote(1.0f + key.rate);
        std::memcpy(tax.GetBuffer() + Tax::kKontoOffset, key.account.data(), key.account.size());
        ASSERT_EQ(tax.Insert(), pendra::kOk) << key.id;
    }
    BFile kontoFile(&mandate);
    ASSERT_EQ(kontoFile.Open(mandate.GetKontoName(), BFile::kModeUpdate), pendra::kOk);
    Konto konto(&mandate);
    konto.UseFile(&kontoFile);
    for (const Account& account : accounts) {
        std::memset(konto.GetBuffer(), 0, Konto::kSize);
        std::memcpy(konto.GetBuffer() + Konto::kNumberOffset, account.number.data(), account.number.size());
        std::memcpy(konto.GetBuffer() + Konto::kTypeOffset, &account.type, sizeof account.type);
        ASSERT_EQ(konto.Insert(), pendra::kOk) << account.number;
    }
}

// Access tests answer for the real user; root may write anything, so tests of
// read-only files run as "nobody" while this object lives (root only).
class AsOrdinaryUser {
public:
    static constexpr uid_t kNobody = 65534;
    AsOrdinaryUser() : switched_(::getuid() == 0) {
        if (switched_) {
            EXPECT_EQ(::setresuid(kNobody, kNobody, 0), 0);
        }
    }
    ~AsOrdinaryUser() {
        if (switched_) {
            EXPECT_EQ(::setresuid(0, 0, 0), 0);
        }
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

private:
    bool switched_;
};

// Runs the rest of the test in `dir` as the current directory.
class InDirectory {
public:
    explicit InDirectory(const std::string& dir) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~InDirectory() { std::filesystem::current_path(saved_); }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    std::filesystem::path saved_;
};

using workbooktest::FileSizeLimit;

// Lets "nobody" reach and change everything below the test's directory.
inline void OpenToEveryone(const std::string& path) { ::chmod(path.c_str(), 0777); }

}  // namespace formstest
