// The VAT figures as figures: every key named on a workbook's mapping sheet
// gets its own power of 3 as its amount and its tax, LibreOffice computes the
// form, and every Ziffer must come out as the sum the model in
// docs/vat-form-figures.md gives it. A key counted twice or dropped shows as
// a digit of the difference, named with the Ziffer. Checked on the templates
// and on the workbooks a demo mandate has after each sequence of commands.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "workbook/CVCF1.h"
#include "workbook/CellRef.h"
#include "tests/forms/LibreOfficeCase.h"
#include "tests/support/Office.h"
#include "tests/support/TempDir.h"
#include "tests/workbook/WorkbookFiles.h"

namespace fs = std::filesystem;

namespace {

const std::string kBin = MWST_TEST_BIN_DIR;

// One row of the model: the form cells whose sum is the figure and the keys
// it sums (a key with "_ST" as its tax: the same value in the tax column).
struct Figure {
    std::vector<std::string> cells;  // "Formular!D6"
    std::string ziffer;
    std::vector<std::string> keys;  // without "_ST"
};
using Model = std::map<std::string, std::vector<Figure>>;  // by template name

std::vector<std::string> Split(const std::string& text, char at) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, at);)
        if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string KeyOf(const std::string& term) { return term.substr(0, term.find('_')); }

Model ReadModel() {
    Model model;
    std::ifstream doc(MWST_SOURCE_DIR "/docs/vat-form-figures.md");
    const std::regex row(R"(^\| *(_?MWST20\d\d(?:eff|pau)) *\|([^|]*)\|([^|]*)\|([^|]*)\|$)");
    for (std::string line; std::getline(doc, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, row)) continue;
        Figure figure{Split(Trim(m[2]), '+'), Trim(m[3]), {}};
        for (const std::string& key : Split(Trim(m[4]), ' ')) figure.keys.push_back(KeyOf(key));
        model[m[1]].push_back(figure);
    }
    return model;
}

// The CSV LibreOffice wrote of one sheet, as rows of cells.
std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells(1);
        bool quoted = false;
        for (char c : line) {
            if (c == '"') quoted = !quoted;
            else if (c == ',' && !quoted) cells.emplace_back();
            else cells.back() += c;
        }
        rows.push_back(cells);
    }
    return rows;
}

// An amount as shown ("1,234.00"); 0 for an empty cell.
double Amount(const std::string& shown) {
    std::string digits;
    for (char c : shown)
        if (c != ',') digits += c;
    return digits.empty() ? 0.0 : std::stod(digits);
}

// A workbook to check: which template's figures it must show, and the keys
// a mandate has that it must name (none for a template, nor for the workbooks
// the mandate's method does not use: the commands adapt only its own).
struct Workbook {
    std::string file, kind, label;
    std::set<std::string> mandateKeys;
};

// The keys a workbook names on its mapping sheet, each with its value; the
// copy at `valued` has every term replaced by its key's value.
std::map<std::string, double> ValueTheKeys(const std::string& file, const std::string& valued) {
    CVCF1 form;
    workbooktest::Load(form, file);
    long mapping = 0;
    for (long s = 1; s <= form.GetNumSheets(); ++s)
        if (form.GetSheetName(s) == "Zuordnung") mapping = s;
    EXPECT_NE(mapping, 0) << file;
    form.SetSheet(mapping);
    std::set<std::string> names;
    for (long row = 1; !form.GetTextRC(row, 1).empty(); ++row)
        for (long col : {2L, 3L})
            if (form.GetTypeRC(row, col) == 3)
                for (const std::string& term : formstest::Terms(form.GetFormulaRC(row, col))) names.insert(KeyOf(term));
    std::map<std::string, double> values;
    double power = 1;
    for (const std::string& name : names) values[name] = power, power *= 3;
    for (long row = 1; !form.GetTextRC(row, 1).empty(); ++row)
        for (long col : {2L, 3L}) {
            if (form.GetTypeRC(row, col) != 3) continue;
            std::string sum;
            for (const std::string& term : formstest::Terms(form.GetFormulaRC(row, col)))
                sum += (sum.empty() ? "" : "+") + std::to_string(static_cast<long long>(values[KeyOf(term)]));
            form.SetFormulaRC(row, col, sum);
        }
    form.SetSheet(1);
    form.Write(valued, CVCF1::kFileTypeOoxml);
    return values;
}

// The difference between what a figure holds and what it must hold, read
// back as counts per key (balanced base 3): "VSB81 +1, VSN77 -1".
std::string CountsOff(double difference, const std::map<std::string, double>& values) {
    std::string off;
    long long rest = std::llround(difference);
    for (const auto& [name, value] : values) {
        (void)value;
        long long digit = ((rest % 3) + 3) % 3;
        if (digit == 2) digit = -1;
        rest = (rest - digit) / 3;
        if (digit != 0) off += name + (digit > 0 ? " +1 " : " -1 ");
    }
    if (rest != 0) off += "(and more than one count off)";
    return off;
}

class FormFigures : public ::testing::Test {
protected:
    void SetUp() override {
        office_ = testsupport::FindOffice();
        // Never skipped: the packages the tests install bring LibreOffice.
        ASSERT_FALSE(office_.empty()) << "LibreOffice (soffice) is not on PATH; install libreoffice-calc-nogui";
        model_ = ReadModel();
        ASSERT_EQ(model_.size(), 8u) << "the model names every template";
        fs::create_directories(dir_.File("in"));
        fs::create_directories(dir_.File("out"));
    }

    // The demo bakery after `steps` (each a mwst-batch command list), in a folder of its own.
    std::string MandateAfter(const std::string& name, const std::vector<std::string>& steps) {
        const std::string demo = dir_.File("demo-" + name);
        EXPECT_EQ(formstest::Program("mwst-mandant", "demo " + demo), 0);
        const std::string bakery = demo + "/baeckerei-mueller";
        for (const std::string& step : steps) formstest::Program("mwst-batch", step + " --yes " + bakery);
        return bakery;
    }

    void AddMandate(const std::string& name, const std::vector<std::string>& steps) {
        const std::string dir = MandateAfter(name, steps);
        const std::set<std::string> keys = formstest::TaxIds(dir);
        for (const auto& [file, kind] : std::map<std::string, std::string>{
                 {"MWSTFORM.VTS", "MWST%eff"}, {"MWSTPAU.VTS", "MWST%pau"},
                 {"_MWSTFRM.VTS", "_MWST%eff"}, {"_MWSTPAU.VTS", "_MWST%pau"}}) {
            CVCF1 form;
            workbooktest::Load(form, dir + "/" + file);
            std::string of = kind;
            of.replace(of.find('%'), 1, form.GetDefinedName("VERSION"));
            const bool own = file == "MWSTFORM.VTS";  // the demo bakery uses the effective method
            workbooks_.push_back({dir + "/" + file, of, name + " " + file, own ? keys : std::set<std::string>{}});
        }
    }

    void Check() {
        std::vector<std::string> valued;
        std::vector<std::map<std::string, double>> values;
        for (std::size_t i = 0; i < workbooks_.size(); ++i) {
            valued.push_back(dir_.File("in/w" + std::to_string(i) + ".vts"));
            values.push_back(ValueTheKeys(workbooks_[i].file, valued.back()));
        }
        ASSERT_TRUE(testsupport::OfficeConvert(office_, dir_.File("profile"), valued, testsupport::kCsvAsShown,
                                               dir_.File("out"), dir_.File("log")))
            << ReadBytes(dir_.File("log"));
        int compared = 0;
        for (std::size_t i = 0; i < workbooks_.size(); ++i) {
            const Workbook& book = workbooks_[i];
            SCOPED_TRACE(book.label + " (" + book.kind + ")");
            ASSERT_TRUE(model_.count(book.kind));
            std::set<std::string> modelled;
            for (const Figure& figure : model_[book.kind]) {
                modelled.insert(figure.keys.begin(), figure.keys.end());
                double shown = 0, must = 0;
                for (const std::string& cell : figure.cells) shown += Shown(i, cell);
                for (const std::string& key : figure.keys)
                    if (values[i].count(key)) must += values[i].at(key);
                EXPECT_EQ(shown, must) << "Ziffer " << figure.ziffer << " (" << figure.cells.front()
                                       << "): " << CountsOff(shown - must, values[i]);
                ++compared;
            }
            for (const std::string& key : book.mandateKeys)
                EXPECT_TRUE(!modelled.count(key) || values[i].count(key))
                    << key << " of the mandate is on no row of the mapping sheet";
        }
        std::cout << "[ figures  ] " << compared << " Ziffern compared over " << workbooks_.size() << " workbooks\n";
    }

    // A form cell as LibreOffice showed it ("Formular!D6"); an error value fails.
    double Shown(std::size_t book, const std::string& ref) {
        const std::size_t bang = ref.find('!');
        const std::string csv = dir_.File("out/w" + std::to_string(book) + "-" + ref.substr(0, bang) + ".csv");
        const auto rows = ReadCsv(csv);
        const std::optional<CellPos> pos = cellref::Parse(ref.substr(bang + 1));
        EXPECT_TRUE(pos) << ref;
        if (!pos || pos->row > static_cast<long>(rows.size())) return 0;
        const auto& row = rows[static_cast<std::size_t>(pos->row - 1)];
        if (pos->col > static_cast<long>(row.size())) return 0;
        const std::string& text = row[static_cast<std::size_t>(pos->col - 1)];
        EXPECT_EQ(text.find('#'), std::string::npos) << ref << " shows " << text;
        return Amount(text);
    }

    std::string office_;
    Model model_;
    TempDir dir_;
    std::vector<Workbook> workbooks_;
};

TEST_F(FormFigures, EveryZifferSumsItsKeysOnceOnEveryTemplateAndAfterEveryStep) {
    for (const auto& [kind, figures] : model_)
        workbooks_.push_back({kBin + "/mwst/" + kind + ".vts", kind, "template", {}});
    AddMandate("inserted", {"insert-keys"});
    AddMandate("adapted", {"insert-keys,adapt-accounts"});
    AddMandate("form2024", {"insert-keys,adapt-accounts,form-2024"});
    AddMandate("removed", {"insert-keys,adapt-accounts,form-2024,remove-old-keys"});
    AddMandate("undone", {"insert-keys", "remove-new-keys"});
    AddMandate("back2018", {"insert-keys,adapt-accounts,form-2024", "form-2018"});
    Check();
}

}  // namespace
