#pragma once
// What LibreOffice does to the mapping sheet's key sums when it saves a form
// workbook: a name it does not know is written in lower case ("USN81_ST" ->
// "usn81_st", "USN00" -> "usn00"), while an id that reads as a cell address
// ("USN81") stays as it is. And how the results of the same command on such a
// workbook and on the untouched one are compared.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "workbook/CVCF1.h"
#include "workbook/CellRef.h"
#include "pendra/BFile.h"
#include "pendra/Mandate.h"
#include "pendra/PendraStatus.h"
#include "pendra/Tax.h"
#include "tests/workbook/WorkbookFiles.h"

namespace formstest {

// Runs a program of the build (standard input empty, output dropped); the system() status.
inline int Program(const std::string& name, const std::string& args) {
    const std::string command = MWST_TEST_BIN_DIR "/" + name + " " + args + " </dev/null >/dev/null 2>&1";
    return std::system(command.c_str());
}

inline std::string LowerNamesAsLibreOffice(const std::string& formula) {
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t plus = formula.find('+', start);
        std::string term = formula.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        if (!cellref::Parse(term))
            for (char& c : term) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out += term;
        if (plus == std::string::npos) return out;
        out += '+';
        start = plus + 1;
    }
}

// The workbook file as LibreOffice would save it: the formulas of the mapping
// sheet's columns 2 and 3 with lower-cased names. Returns how many changed.
inline int SaveAsLibreOfficeWould(const std::string& path) {
    CVCF1 form;
    workbooktest::Load(form, path);
    form.SetSheet(4);
    int changed = 0;
    for (long row = 1; !form.GetTextRC(row, 1).empty(); ++row) {
        for (long col = 2; col <= 3; ++col) {
            if (form.GetTypeRC(row, col) != 3) continue;
            const std::string formula = form.GetFormulaRC(row, col);
            const std::string lowered = LowerNamesAsLibreOffice(formula);
            if (lowered == formula) continue;
            form.SetFormulaRC(row, col, lowered);
            ++changed;
        }
    }
    form.SetSheet(1);
    form.Write(path, CVCF1::kFileTypeOoxml);
    return changed;
}

// The mapping sheet's rows: label, column 2, column 3 (formula or value).
inline std::vector<std::array<std::string, 3>> MappingRows(const std::string& path) {
    CVCF1 form;
    workbooktest::Load(form, path);
    form.SetSheet(4);
    std::vector<std::array<std::string, 3>> rows;
    for (long row = 1; !form.GetTextRC(row, 1).empty(); ++row) {
        std::array<std::string, 3> cells;
        for (long col = 1; col <= 3; ++col)
            cells[col - 1] = form.GetTypeRC(row, col) == 3 ? form.GetFormulaRC(row, col) : form.GetTextRC(row, col);
        rows.push_back(cells);
    }
    return rows;
}

inline std::set<std::string> TaxIds(const std::string& dir) {
    Mandate mandate;
    EXPECT_EQ(mandate.OpenMandateFiles(dir), pendra::kOk) << dir;
    BFile file(&mandate);
    EXPECT_EQ(file.Open(mandate.GetTaxName(), BFile::kModeReadOnly), pendra::kOk);
    Tax tax(&mandate);
    tax.UseFile(&file);
    std::set<std::string> ids;
    for (int status = tax.ReadFirst(); status == pendra::kOk; status = tax.ReadNext()) ids.insert(tax.GetId());
    return ids;
}

inline std::vector<std::string> Terms(const std::string& formula) {
    std::vector<std::string> terms;
    std::size_t start = 0;
    for (std::size_t plus; (plus = formula.find('+', start)) != std::string::npos; start = plus + 1)
        terms.push_back(formula.substr(start, plus - start));
    terms.push_back(formula.substr(start));
    return terms;
}

// The cell of the run on the saved workbook against the one of the run on the
// untouched workbook: every key the mandate has in its own spelling; a name it
// does not have (a key it deleted, a key of another method) as LibreOffice saved it.
inline bool Alike(const std::string& saved, const std::string& plain, const std::set<std::string>& ids) {
    const std::vector<std::string> a = Terms(saved), b = Terms(plain);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        if (ids.count(b[i].substr(0, b[i].find('_'))) || a[i] != LowerNamesAsLibreOffice(b[i])) return false;
    }
    return true;
}

}  // namespace formstest
