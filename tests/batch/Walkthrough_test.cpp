// The README's walkthrough on every demo mandate that opens, with the real
// programs: after each step every formula of the mapping sheets names only
// keys the mandate has (or the templates' own keys) and no term twice, and
// the reverse steps bring records and workbooks back.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "workbook/CVCF1.h"
#include "mandate/tools/DemoBuilder.h"
#include "mandate/tools/MandantTool.h"
#include "tests/mandate/ToolProcess.h"
#include "tests/batch/BatchProcess.h"

namespace fs = std::filesystem;

namespace {

const char* const kWorkbooks[] = {"MWSTFORM.VTS", "MWSTPAU.VTS", "_MWSTFRM.VTS", "_MWSTPAU.VTS"};

struct MappingRow {
    std::string label, col2, col3;
    bool operator==(const MappingRow&) const = default;
};

// The mapping sheet's rows; an empty formula cell and the number 0 are the same sum.
std::vector<MappingRow> MappingRows(const std::string& path) {
    CVCF1 form;
    short type = 0;
    form.Read(path, type);
    form.SetSheet(4);
    auto sum = [&form](long row, long col) {
        const std::string text = form.GetTypeRC(row, col) == 3 ? form.GetFormulaRC(row, col) : form.GetTextRC(row, col);
        return text == "0" ? std::string() : text;
    };
    std::vector<MappingRow> rows;
    for (long row = 1; !form.GetTextRC(row, 1).empty(); ++row) rows.push_back({form.GetTextRC(row, 1), sum(row, 2), sum(row, 3)});
    return rows;
}

std::vector<std::string> Terms(const std::string& formula) {
    std::vector<std::string> terms;
    std::istringstream in(formula);
    for (std::string term; std::getline(in, term, '+');) terms.push_back(term);
    return terms;
}

std::string KeyOf(const std::string& term) { return term.substr(0, term.find('_')); }

bool IsNumber(const std::string& term) { return !term.empty() && (std::isdigit(static_cast<unsigned char>(term[0])) != 0); }

// The lines of `log` that end with `suffix`, without it.
std::set<std::string> Logged(const std::string& log, const std::string& suffix) {
    std::set<std::string> found;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.insert(line.substr(0, line.size() - suffix.size()));
    }
    return found;
}

// `formula` without the terms whose key is one of `keys`.
std::string WithoutKeys(const std::string& formula, const std::set<std::string>& keys) {
    std::string kept;
    for (const std::string& term : Terms(formula))
        if (!keys.count(KeyOf(term))) kept += (kept.empty() ? "" : "+") + term;
    return kept;
}

class Walkthrough : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        root = temp.path().toStdString() + "/demo";
        settings = temp.path().toStdString() + "/brisol.ini";
        std::ofstream(settings) << "[Culture]\nUICulture=de-CH\n";
        setenv("MWST_SETTINGS", settings.c_str(), 1);
        ASSERT_EQ(Tool({"demo", root}), 0);
        passwords = temp.path().toStdString() + "/passwords";
        std::string lines;
        for (const mandant::DemoMandate& mandate : mandant::DemoMandates()) {
            if (mandate.dataVersion != 2300) continue;  // the older one opens nowhere
            dirs.push_back(root + "/" + mandate.path);
            if (!mandate.password.empty()) lines += dirs.back() + "\t" + mandate.password + "\n";
        }
        ASSERT_TRUE(batchtest::WritePasswordFile(passwords, lines));
        for (const fs::directory_entry& entry : fs::directory_iterator(std::string(MWST_TEST_BIN_DIR) + "/mwst"))
            if (entry.path().extension() == ".vts")
                for (const MappingRow& row : MappingRows(entry.path().string()))
                    for (const std::string& formula : {row.col2, row.col3})
                        for (const std::string& term : Terms(formula)) templateKeys.insert(KeyOf(term));
    }

    int Tool(const std::vector<std::string>& args, std::string* output = nullptr) {
        const testsupport::ToolResult ran = testsupport::RunToolInProcess(args);
        if (output) *output = ran.out;
        EXPECT_EQ(ran.exitCode, 0) << ran.err;
        return ran.exitCode;
    }
    std::string Dump(const std::string& dir) {
        std::string out;
        Tool({"dump", dir}, &out);
        return out;
    }
    std::set<std::string> KeyIds(const std::string& dir) {
        std::set<std::string> ids;
        std::istringstream lines(Dump(dir));
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("key ", 0) == 0) ids.insert(line.substr(4, line.find(' ', 4) - 4));
        return ids;
    }
    // The stage `mwst-batch status` shows for the mandate in `dir` (under the rate change `change`).
    std::string Stage(const std::string& dir, const std::string& change = "") {
        const batchtest::BatchResult result =
            batchtest::RunBatch(WithChange({"status", "--format", "csv", "--password-file", passwords, dir}, change));
        std::istringstream lines(result.out);
        std::string header, row;
        std::getline(lines, header);
        std::getline(lines, row);
        const std::vector<std::string> keys = Split(header), values = Split(row);
        for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i)
            if (keys[i] == "stage") return values[i];
        return "";
    }
    // `args` with "--change `change`" when one is named.
    static std::vector<std::string> WithChange(std::vector<std::string> args, const std::string& change) {
        if (!change.empty()) args.insert(args.end() - 1, {"--change", change});
        return args;
    }
    static std::vector<std::string> Split(std::string line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
        return fields;
    }
    std::string Step(const std::string& command, const std::string& dir, int exitCode = 0,
                     const std::string& change = "") {
        const batchtest::BatchResult result =
            batchtest::RunBatch(WithChange({command, "--yes", "--password-file", passwords, dir}, change));
        EXPECT_EQ(result.exitCode, exitCode) << command << " " << dir << "\n" << result.out << result.err;
        return result.out;
    }
    std::map<std::string, std::vector<MappingRow>> Forms(const std::string& dir) {
        std::map<std::string, std::vector<MappingRow>> forms;
        for (const char* name : kWorkbooks) forms[name] = MappingRows(dir + "/" + name);
        return forms;
    }

    // Every term names a key of the mandate or of the templates, and no term stands twice.
    void CheckFormulas(const std::string& dir, const std::string& after) {
        const std::set<std::string> keys = KeyIds(dir);
        for (const auto& [name, rows] : Forms(dir)) {
            for (const MappingRow& row : rows) {
                for (const std::string& formula : {row.col2, row.col3}) {
                    std::set<std::string> seen;
                    for (const std::string& term : Terms(formula)) {
                        if (IsNumber(term)) continue;
                        EXPECT_TRUE(keys.count(KeyOf(term)) || templateKeys.count(KeyOf(term)))
                            << after << ": " << dir << "/" << name << " row " << row.label << " names " << term;
                        EXPECT_TRUE(seen.insert(term).second)
                            << after << ": " << dir << "/" << name << " row " << row.label << " sums " << term << " twice";
                    }
                }
            }
        }
    }

    QTemporaryDir temp;
    std::string root, settings, passwords;
    std::vector<std::string> dirs;
    std::set<std::string> templateKeys;
};

// Each step on every demo mandate just before its target and just after:
// it does its work with exit 0, `status` then shows the target held, and the
// step run again says "bereits erledigt", also with exit 0. A step whose
// target does not hold is never "bereits erledigt".
TEST_F(Walkthrough, EachStepIsDoneExactlyWhenStatusSaysItsTargetHolds) {
    struct Target {
        const char* command;
        std::set<std::string> stages;  // what status may show after it
    };
    const Target targets[] = {
        {"insert-keys", {"keys-inserted", "accounts-adapted"}},
        {"adapt-accounts", {"accounts-adapted"}},
        {"form-2024", {"form-2024", "waiting-for-old-bookings", "old-keys-removed"}},
        {"remove-old-keys", {"waiting-for-old-bookings", "old-keys-removed"}},
    };
    const std::string kDone = "bereits erledigt";
    for (const std::string& dir : dirs) {
        for (const Target& target : targets) {
            const std::string before = Stage(dir);
            const std::string first = Step(target.command, dir);
            EXPECT_EQ(first.find(kDone) != std::string::npos, target.stages.count(before) > 0)
                << target.command << " " << dir << " from " << before << "\n" << first;
            EXPECT_TRUE(target.stages.count(Stage(dir))) << target.command << " " << dir << ": " << Stage(dir);
            EXPECT_NE(Step(target.command, dir).find(kDone), std::string::npos) << target.command << " " << dir;
        }
    }
}

TEST_F(Walkthrough, EveryStepLeavesFormulasThatNameExistingKeysOnce) {
    ASSERT_GE(dirs.size(), 5u);
    for (const std::string& dir : dirs) {
        CheckFormulas(dir, "demo");
        EXPECT_NE(Step("show-keys", dir).find("\t"), std::string::npos) << dir;
        for (const char* command : {"insert-keys", "adapt-accounts", "form-2024"}) {
            Step(command, dir);
            CheckFormulas(dir, command);
        }
        // Removing the old keys takes exactly the removed keys out of the
        // 2024 formulas: every other term stays where it was.
        // The passes work on the workbook of the mandate's method.
        const bool flatRate = Dump(dir).find("\nsetting 0 27 1") != std::string::npos;
        const std::string active = flatRate ? "MWSTPAU.VTS" : "MWSTFORM.VTS";
        const auto before = Forms(dir);
        const std::set<std::string> removed = Logged(Step("remove-old-keys", dir), " wurde entfernt");
        CheckFormulas(dir, "remove-old-keys");
        for (const auto& [name, rows] : Forms(dir)) {
            ASSERT_EQ(rows.size(), before.at(name).size()) << name;
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const MappingRow& was = before.at(name)[i];
                const bool passed = name == active;
                EXPECT_EQ(rows[i].col2, passed ? WithoutKeys(was.col2, removed) : was.col2) << dir << "/" << name << " " << was.label;
                EXPECT_EQ(rows[i].col3, passed ? WithoutKeys(was.col3, removed) : was.col3) << dir << "/" << name << " " << was.label;
            }
        }
        // The whole conversion again, joined, changes nothing: every step finds
        // its work done, says so and lets the next one run, and the run ends well.
        const std::string records = Dump(dir);
        const auto forms = Forms(dir);
        const std::string again = Step("insert-keys,adapt-accounts,form-2024,remove-old-keys", dir);
        std::size_t done = 0;
        for (std::size_t at = again.find("\nbereits erledigt\r\n"); at != std::string::npos;
             at = again.find("\nbereits erledigt\r\n", at + 1))
            ++done;
        EXPECT_EQ(done, 4u) << again;
        EXPECT_EQ(Dump(dir), records) << dir;
        EXPECT_EQ(Forms(dir), forms) << dir;
    }
}

// Changes in a row: each demo mandate converted for 2024 and then for the
// example change (77 -> 81 -> 88), whose form templates are not installed:
// its form step says so and the old keys go without it. `status` after
// each step, under the change of the step; the booking list reads it too.
TEST_F(Walkthrough, ADemoMandateConvertedFor2024IsConvertedForTheExampleChange) {
    const std::set<std::string> endStages = {"waiting-for-old-bookings", "old-keys-removed"};
    const struct {
        const char* change;
        const char* command;
        int exitCode;
        std::set<std::string> stages;  // what status may show after it
    } steps[] = {
        {"2024", "insert-keys", 0, {"keys-inserted", "accounts-adapted"}},
        {"2024", "adapt-accounts", 0, {"accounts-adapted"}},
        {"2024", "form-2024", 0, {"form-2024", "waiting-for-old-bookings", "old-keys-removed"}},
        {"2024", "remove-old-keys", 0, endStages},
        // Without templates the form step is none: adapted accounts are the
        // form stage, and a mandate without keys at 8.1 % has nothing to do.
        {"example-8.8", "insert-keys", 0, {"keys-inserted", "accounts-adapted", "old-keys-removed"}},
        {"example-8.8", "adapt-accounts", 0, {"form-2024", "waiting-for-old-bookings", "old-keys-removed"}},
        {"example-8.8", "form-2024", 1, {"form-2024", "waiting-for-old-bookings", "old-keys-removed"}},
        {"example-8.8", "remove-old-keys", 0, endStages},
    };
    const std::string missing = "Die Vorlagen des MWST-Formulars 8.8 (Beispiel) sind nicht installiert";
    const auto endingIn = [](const std::set<std::string>& ids, const std::string& suffix) {
        return std::any_of(ids.begin(), ids.end(), [&suffix](const std::string& id) {
            return id.size() > suffix.size() && id.compare(id.size() - suffix.size(), suffix.size(), suffix) == 0;
        });
    };
    for (const std::string& dir : dirs) {
        bool had81 = false;
        for (const auto& step : steps) {
            if (std::string(step.change) == "example-8.8" && std::string(step.command) == "insert-keys")
                had81 = endingIn(KeyIds(dir), "81");
            const std::string log = Step(step.command, dir, step.exitCode, step.change);
            EXPECT_EQ(log.find(missing) != std::string::npos, step.exitCode == 1) << step.command << " " << dir << "\n" << log;
            EXPECT_TRUE(step.stages.count(Stage(dir, step.change)))
                << step.change << " " << step.command << " " << dir << ": " << Stage(dir, step.change);
        }
        EXPECT_EQ(endingIn(KeyIds(dir), "88"), had81) << dir;
        EXPECT_EQ(batchtest::RunBatch({"bookings", "--wrong-side", "--change", "example-8.8", "--password-file", passwords, dir}).exitCode, 0) << dir;
    }
}

// The dump without the records of `ids` (key lines by id, account lines by number).
std::string Without(const std::string& dump, const std::set<std::string>& keys, const std::set<std::string>& accounts) {
    std::istringstream lines(dump);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string kind, id;
        words >> kind >> id;
        if ((kind == "key" && keys.count(id)) || (kind == "account" && accounts.count(id))) continue;
        kept += line + "\n";
    }
    return kept;
}

TEST_F(Walkthrough, TheReverseStepsBringRecordsAndWorkbooksBack) {
    for (const std::string& dir : dirs) {
        const std::string records = Dump(dir);
        const auto forms = Forms(dir);
        const std::set<std::string> inserted = Logged(Step("insert-keys", dir), " wurde eingefügt");
        const std::string adapted = Step("adapt-accounts", dir);
        Step("form-2024", dir);
        Step("form-2018", dir);
        const std::string reset = Step("reset-accounts", dir);
        const std::set<std::string> removed = Logged(Step("remove-new-keys", dir), " wurde entfernt");
        // Keys that had the new id before the insertion are removed as well,
        // and accounts that held a new key before are reset with the others.
        std::set<std::string> foreignKeys, foreignAccounts;
        for (const std::string& id : removed)
            if (!inserted.count(id)) foreignKeys.insert(id);
        std::istringstream lines(reset);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("Konto ", 0) == 0) {
                const std::string number = line.substr(6, line.find(':') - 6);
                if (adapted.find("Konto " + number + ":") == std::string::npos) foreignAccounts.insert(number);
            }
        EXPECT_EQ(Without(Dump(dir), foreignKeys, foreignAccounts), Without(records, foreignKeys, foreignAccounts))
            << dir;
        EXPECT_TRUE(removed.size() >= inserted.size()) << dir;
        CheckFormulas(dir, "the way back");
        for (const char* name : kWorkbooks)
            EXPECT_EQ(MappingRows(dir + "/" + name).size(), forms.at(name).size()) << dir << "/" << name;
    }
}

TEST_F(Walkthrough, InsertingAndRemovingNewKeysGivesTheWorkbooksBack) {
    for (const std::string& dir : dirs) {
        const auto forms = Forms(dir);
        Step("insert-keys", dir);
        Step("remove-new-keys", dir);
        // A new key the mandate had before (booked, so kept) stays in its
        // _spez row, where the form counts it; every other row is as it was.
        const std::set<std::string> keys = KeyIds(dir);
        for (const auto& [name, rows] : Forms(dir)) {
            ASSERT_EQ(rows.size(), forms.at(name).size()) << dir << "/" << name;
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (!rows[i].label.ends_with("_spez")) {
                    EXPECT_EQ(rows[i], forms.at(name)[i]) << dir << "/" << name;
                    continue;
                }
                for (const std::string& term : Terms(rows[i].col2 + "+" + rows[i].col3))
                    EXPECT_TRUE(term.empty() || keys.count(KeyOf(term))) << dir << "/" << name << " " << term;
            }
        }
    }
}

}  // namespace
