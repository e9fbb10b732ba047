#pragma once
// What LibreOffice does to the mapping sheet's key sums when it saves a form
// workbook: a name it does not know is written in lower case ("USN81_ST" ->
// "usn81_st", "USN00" -> "usn00"), while an id that reads as a cell address
// ("USN81") stays as it is.
#include <cctype>
#include <string>

#include "forms/vcf/CVCF1.h"
#include "forms/vcf/CellRef.h"

namespace formstest {

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
    short type = 0;
    form.Read(path, type);
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
    form.Write(path, type);
    return changed;
}

}  // namespace formstest
