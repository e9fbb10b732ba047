// mwst-batch's command line as scripts write it: option values missing, out
// of range or given with '=', unknown options, "--", folder names that are
// not UTF-8, the language of the messages, backups and restore.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "mandate/tools/MandantTool.h"
#include "tests/mandate/ToolProcess.h"
#include "tests/batch/BatchProcess.h"

namespace {

using batchtest::BatchResult;
using batchtest::RunBatch;
using testsupport::Tool;

constexpr auto npos = std::string::npos;
const char* const kKeys = "key A77 7.7 107.7 netto -\n";
const char* const kGermanUsage = "Aufruf: mwst-batch BEFEHL";
const char* const kFrenchUsage = "Usage : mwst-batch COMMANDE";

class BatchCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        const std::string settings = Path("brisol.ini");
        std::ofstream(settings) << "[Culture]\nUICulture=de-CH\n";
        setenv("MWST_SETTINGS", settings.c_str(), 1);
    }

    // QTemporaryDir takes names for UTF-8 and leaves folders named in Windows-1252 behind.
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(temp.path().toStdString(), ignored);
    }

    std::string Path(const std::string& name) const {
        return temp.path().toStdString() + "/" + name;
    }

    // A mandate with one old key in `dir` (a path of bytes, any of them).
    std::string Mandate(const std::string& dir) {
        EXPECT_EQ(Tool({"create", dir, "--name", "Kommandozeile"}), 0);
        EXPECT_EQ(Tool({"load", dir}, kKeys), 0);
        return dir;
    }

    bool HasNewKey(const std::string& dir) {
        std::string dump;
        EXPECT_EQ(Tool({"dump", dir}, "", &dump), 0);
        return dump.find("\nkey A81 ") != npos;
    }

    static std::string InsertLog(const std::string& dir) {
        return ">Beginn \"Steuerschlüssel einfügen\" für Mandant " + dir +
               "\r\nA81 wurde eingefügt\r\n" + ">Ende \"Steuerschlüssel einfügen\" für Mandant " +
               dir + "\r\n\r\n";
    }

    // A usage error: status 2, nothing on standard output, the message and
    // then the usage on standard error.
    static void ExpectUsageError(const BatchResult& result, const std::string& message,
                                 const std::string& usage = kGermanUsage) {
        EXPECT_EQ(result.exitCode, 2) << message << "\n" << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind(message + "\n" + usage, 0), 0u) << result.err;
    }

    static std::string BadOption(const std::string& option) {
        return "Unbekannte oder unvollständige Option: " + option;
    }

    static std::string BadValue(const std::string& option, const std::string& value, const std::string& allowed) {
        return "Ungültiger Wert für " + option + ": " + value + " (möglich: " + allowed + ")";
    }

    static std::string NotWith(const std::string& option, const std::string& word) {
        return "Die Option " + option + " ist mit " + word + " nicht möglich.";
    }

    QTemporaryDir temp;
};

TEST_F(BatchCommandLine, AnOptionWithoutItsValueIsNamed) {
    const std::string dir = Mandate(Path("ohne-wert"));
    for (const char* option : {"--search", "--password-file", "--jobs", "--on-locked", "--lang"}) {
        const BatchResult result = RunBatch({"insert-keys", dir, option});
        ExpectUsageError(result, BadOption(option));
    }
    ExpectUsageError(RunBatch({"restore", dir, "--backup"}), BadOption("--backup"));
    EXPECT_FALSE(HasNewKey(dir));
}

TEST_F(BatchCommandLine, AnUnknownOptionIsNamedAsTyped) {
    const std::string dir = Mandate(Path("unbekannt"));
    ExpectUsageError(RunBatch({"insert-keys", "--force", dir}), BadOption("--force"));
    ExpectUsageError(RunBatch({"insert-keys", dir, "--force=ja"}), BadOption("--force=ja"));
    ExpectUsageError(RunBatch({"insert-keys", "-y", dir}), BadOption("-y"));
    // A single dash with a word is that word, not a cluster of letters holding -h.
    ExpectUsageError(RunBatch({"insert-keys", "-hilfe", dir}), BadOption("-hilfe"));
    // An option that takes no value, given one.
    ExpectUsageError(RunBatch({"insert-keys", "--yes=1", dir}), BadOption("--yes=1"));
    ExpectUsageError(RunBatch({"insert-keys", "--dry-run=nein", dir}), BadOption("--dry-run=nein"));
    EXPECT_FALSE(HasNewKey(dir));
}

TEST_F(BatchCommandLine, ValuesOutOfTheirRangeAreRefused) {
    const std::string dir = Mandate(Path("bereich"));
    for (const auto& [args, value] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"insert-keys", "--jobs", "65", dir}, "65"},
             {{"insert-keys", "--jobs=0", dir}, "0"},
             {{"insert-keys", dir, "--jobs", "+2"}, "+2"},
             {{"insert-keys", "--jobs", "2", dir, "--jobs", "100"}, "100"}})
        ExpectUsageError(RunBatch(args), BadValue("--jobs", value, "1..64"));
    ExpectUsageError(RunBatch({"insert-keys", "--on-locked=retry", dir}),
                     BadValue("--on-locked", "retry", "abort|ignore"));
    ExpectUsageError(RunBatch({"insert-keys", "--lang=it", dir}), BadOption("--lang"));
    ExpectUsageError(RunBatch({"status", "--format=xml", dir}), BadValue("--format", "xml", "text|csv|json"));
    ExpectUsageError(RunBatch({"insert-keys", "--format", "csv", dir}), NotWith("--format", "insert-keys"));
    ExpectUsageError(RunBatch({"status", "--dry-run", dir}), NotWith("--dry-run", "status"));
    ExpectUsageError(RunBatch({"status", "--wrong-side", dir}), NotWith("--wrong-side", "status"));
    ExpectUsageError(RunBatch({"insert-keys", "--wrong-side", dir}), NotWith("--wrong-side", "insert-keys"));
    ExpectUsageError(RunBatch({"bookings", "--wrong-side", "--dry-run", dir}), NotWith("--dry-run", "bookings"));
    ExpectUsageError(RunBatch({"bookings", dir}), "bookings braucht die Option --wrong-side.");
    EXPECT_FALSE(HasNewKey(dir));
}

TEST_F(BatchCommandLine, ValuesMayFollowAnEqualsSign) {
    const std::string first = Mandate(Path("gleich-eins"));
    const std::string second = Mandate(Path("gleich-zwei"));
    const BatchResult result =
        RunBatch({"--jobs=64", "--on-locked=abort", "insert-keys", first, second});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, InsertLog(first) + InsertLog(second));
    EXPECT_TRUE(HasNewKey(first));
}

TEST_F(BatchCommandLine, FolderNamesInWindows1252PassUnchanged) {
    const std::string root = Path("W\xe4lder");
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    const std::string dir = Mandate(root +
                                    "/B\xe4"
                                    "ckerei M\xfcller");
    BatchResult result = RunBatch({"insert-keys", dir});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, InsertLog(dir));
    EXPECT_TRUE(HasNewKey(dir));

    result = RunBatch({"remove-new-keys", "--search", root});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Mandant " + dir + "\r\n"), npos) << result.out;
    EXPECT_FALSE(HasNewKey(dir));

    // A password file whose name is not UTF-8 either.
    const std::string passwords = Path("Passw\xf6rter.txt");
    ASSERT_TRUE(batchtest::WritePasswordFile(passwords, dir + "\tgeheim\n"));
    result = RunBatch({"insert-keys", "--password-file", passwords, dir});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(HasNewKey(dir));

    // Messages name such arguments byte for byte.
    ExpectUsageError(RunBatch({"insert-keys", "--gr\xf6sse", dir}), BadOption("--gr\xf6sse"));
    ExpectUsageError(RunBatch({"einf\xfcgen", dir}), "Unbekannter Befehl: einf\xfcgen");
}

TEST_F(BatchCommandLine, LangFrSpeaksFrenchWhereverItStands) {
    const std::string dir = Mandate(Path("langue"));
    ExpectUsageError(RunBatch({"insert-keys", "--force", dir, "--lang", "fr"}),
                     "Option inconnue ou incomplète : --force", kFrenchUsage);
    ExpectUsageError(RunBatch({"--lang=fr", "insert-keys", dir, "--jobs"}),
                     "Option inconnue ou incomplète : --jobs", kFrenchUsage);
    ExpectUsageError(RunBatch({"insert-keys", "--lang=fr"}), "Aucun mandat indiqué.", kFrenchUsage);
    // A language that is not offered is itself the error, in the product's language.
    ExpectUsageError(RunBatch({"insert-keys", "--lang", "it", dir}), BadOption("--lang"));
    EXPECT_FALSE(HasNewKey(dir));
}

TEST_F(BatchCommandLine, HelpAnswersWhateverElseTheLineHolds) {
    const BatchResult result = RunBatch({"--force", "insert-keys", "--jobs", "0", "-h"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.rfind(kGermanUsage, 0), 0u) << result.out;
    const BatchResult french = RunBatch({"--bogus", "--help", "--lang=fr"});
    EXPECT_EQ(french.exitCode, 0);
    EXPECT_EQ(french.out.rfind(kFrenchUsage, 0), 0u) << french.out;
}

TEST_F(BatchCommandLine, DoubleDashEndsTheOptions) {
    const std::string dir = Mandate(Path("-strich"));
    batchtest::RunOptions inTemp;
    inTemp.cwd = temp.path().toStdString();
    ExpectUsageError(RunBatch({"insert-keys", "-strich"}, inTemp), BadOption("-strich"));
    EXPECT_FALSE(HasNewKey(dir));
    // Options before "--" still count; after it everything is a mandate.
    const BatchResult result = RunBatch({"insert-keys", "--lang", "fr", "--", "-strich"}, inTemp);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("pour le mandat " + dir + "\r\n"), npos) << result.out;
    EXPECT_TRUE(HasNewKey(dir));
    ExpectUsageError(RunBatch({"remove-new-keys", "--"}, inTemp), "Keine Mandanten angegeben.");
}

TEST_F(BatchCommandLine, RestoreTakesTheBackupNamedBeforeOrAfterTheMandate) {
    const std::string dir = Mandate(Path("zurueck"));
    ASSERT_EQ(RunBatch({"insert-keys", dir}).exitCode, 0);
    ASSERT_TRUE(HasNewKey(dir));
    const BatchResult listed = RunBatch({"backups", dir});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    const std::size_t line = listed.out.find('\n');
    ASSERT_NE(line, npos);
    const std::string id = listed.out.substr(line + 1, listed.out.find('\t', line) - line - 1);
    ASSERT_FALSE(id.empty()) << listed.out;

    BatchResult restored = RunBatch({"--backup=" + id, "restore", dir});
    EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    EXPECT_NE(restored.out.find(id), npos) << restored.out;
    EXPECT_FALSE(HasNewKey(dir));
    // The same backup again, named before the mandate: the same state.
    restored = RunBatch({"restore", "--backup", id, dir});
    EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    EXPECT_FALSE(HasNewKey(dir));
}

// A known option that does not go with what was asked is named with it, not as unknown.
TEST_F(BatchCommandLine, BackupsRefusesBackupAndRestoreRefusesWhatIsNotItsOwn) {
    const std::string dir = Mandate(Path("kopien"));
    ExpectUsageError(RunBatch({"backups", dir, "--backup", "x"}), NotWith("--backup", "backups"));
    ExpectUsageError(RunBatch({"--backup=x", "backups", dir}), NotWith("--backup", "backups"));
    ExpectUsageError(RunBatch({"insert-keys", "--backup=x", dir}),
                     NotWith("--backup", "insert-keys"));
    ExpectUsageError(RunBatch({"restore", dir, "--dry-run"}), NotWith("--dry-run", "restore"));
    ExpectUsageError(RunBatch({"restore", dir, "--jobs", "2"}), NotWith("--jobs", "restore"));
    ExpectUsageError(RunBatch({"restore", "--search=" + Path(""), "--backup=x"}),
                     NotWith("--search", "restore"));
    ExpectUsageError(RunBatch({"backups", "--search", dir}), NotWith("--search", "backups"));
    ExpectUsageError(RunBatch({"backups", dir, dir}),
                     "backups nimmt genau ein Verzeichnis, " + dir + " ist eines zu viel.");
    ExpectUsageError(RunBatch({"restore"}), "Keine Mandanten angegeben.");
    EXPECT_FALSE(HasNewKey(dir));
}

// A rate-change definition with a missing or contradictory entry is refused
// before any mandate is touched, naming the file, the line and the fault.
TEST_F(BatchCommandLine, ARateChangeDefinitionWithAFaultIsRefusedByFileAndLine) {
    const std::string dir = Mandate(Path("satz"));
    const std::string head =  // lines 1 to 10
        "[Change]\nName=t\nEffective=2024-01-01\nOldForms=2018\nNewForms=2024\nText.de=t\nText.fr=t\n"
        "[Ids]\nIdDigits=2\nIdStem=3\n";
    const std::string normal =  // lines 11 to 16 after the head
        "[Class 7.7]\nOldRate=7.7\nNewRate=8.1\nOldGross=107.7\nNewGross=108.1\nSuffix=81\n";
    const struct {
        std::string text;
        std::string fault;
    } refused[] = {
        {head + "[Class 2.5]\nOldRate=2.5\nOldGross=102.5\nNewGross=102.6\nSuffix=26\n",
         "Zeile 11: der Satzklasse [Class 2.5] fehlt der neue Satz (NewRate)"},
        {head + normal + "[Class 2.5]\nOldRate=2.5\nNewRate=2.6\nOldGross=102.5\nNewGross=102.6\nSuffix=81\n",
         "Zeile 22: die Id-Endung 81 ist mehr als einer Satzklasse zugeordnet"},
        {std::string(head).replace(head.find("OldForms=2018"), 13, "OldForms=2019") + normal,
         "Zeile 4: die Formularvorlagen 2019 sind nicht bekannt (nicht installiert oder nicht vor den neuen)"},
    };
    for (const auto& definition : refused) {
        const std::string file = Path("change.ini");
        std::ofstream(file, std::ios::trunc) << definition.text;
        const BatchResult result = RunBatch({"insert-keys", "--change", file, dir});
        EXPECT_EQ(result.exitCode, 2) << result.err;
        EXPECT_EQ(result.err, file + ", " + definition.fault + "\n");
        EXPECT_FALSE(HasNewKey(dir)) << definition.fault;
    }
}

}  // namespace
