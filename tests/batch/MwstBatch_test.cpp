// mwst-batch end to end: the real program on mandates made with mwst-mandant.
#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "batch/ReportTable.h"
#include "pendra/Mandate.h"
#include "pendra/MIniSetHelper.h"
#include "pendra/SqliteSchema.h"
#include "mandate/tools/MandantTool.h"
#include "tests/mandate/ToolProcess.h"
#include "tests/batch/BatchProcess.h"
#include "tests/support/FileModes.h"

namespace {

using batchtest::BatchResult;
using batchtest::RunBatch;
using batchtest::RunOptions;
using testsupport::Dump;
using testsupport::Tool;

class MwstBatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        settings = Path("brisol.ini");
        std::ofstream(settings) << "[Culture]\nUICulture=de-CH\n";
        setenv("MWST_SETTINGS", settings.c_str(), 1);
    }

    std::string Path(const std::string& name) const { return temp.path().toStdString() + "/" + name; }

    std::string Mandate(const std::string& name, const std::string& records,
                        const std::vector<std::string>& extra = {}) {
        const std::string dir = Path(name);
        std::vector<std::string> create{"create", dir, "--name", name};
        create.insert(create.end(), extra.begin(), extra.end());
        EXPECT_EQ(Tool(create), 0);
        EXPECT_EQ(Tool({"load", dir}, records), 0);
        return dir;
    }

    bool HasKey(const std::string& dir, const std::string& id) {
        return Dump(dir).find("\nkey " + id + " ") != std::string::npos;
    }

    static std::string InsertLog(const std::string& dir, const std::string& body) {
        return ">Beginn \"Steuerschlüssel einfügen\" für Mandant " + dir + "\r\n" + body +
               ">Ende \"Steuerschlüssel einfügen\" für Mandant " + dir + "\r\n\r\n";
    }

    QTemporaryDir temp;
    std::string settings;
};

const char* const kKeys = "key A77 7.7 107.7 netto -\n";

TEST_F(MwstBatchTest, RunsTheCommandOverEveryMandateAndPrintsTheLogExactly) {
    const std::string first = Mandate("eins", kKeys);
    const std::string second = Mandate("zwei", kKeys);
    const BatchResult result = RunBatch({"insert-keys", first, second});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, InsertLog(first, "A81 wurde eingefügt\r\n") + InsertLog(second, "A81 wurde eingefügt\r\n"));
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(HasKey(first, "A81"));
    EXPECT_TRUE(HasKey(second, "A81"));
}

TEST_F(MwstBatchTest, EveryCommandOfTheTableRuns) {
    const std::string dir = Mandate("alle", "key A77 7.7 107.7 netto 1000\naccount 1000 0 A77\n");
    EXPECT_EQ(RunBatch({"insert-keys", dir}).exitCode, 0);
    BatchResult result = RunBatch({"adapt-accounts", dir});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("Konto 1000: A77 mit A81 ersetzt\r\n"), std::string::npos) << result.out;
    result = RunBatch({"reset-accounts", dir});
    EXPECT_NE(result.out.find("Konto 1000: A81 mit A77 ersetzt\r\n"), std::string::npos) << result.out;
    result = RunBatch({"remove-new-keys", dir});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("A81 wurde entfernt\r\n"), std::string::npos) << result.out;
    EXPECT_FALSE(HasKey(dir, "A81"));
}

TEST_F(MwstBatchTest, AMandateThatCannotBeRegisteredGivesStatusOne) {
    const std::string good = Mandate("gut", kKeys);
    const std::string old = Mandate("alt", kKeys, {"--version", "2299"});
    const BatchResult result = RunBatch({"insert-keys", old, good});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, InsertLog(good, "A81 wurde eingefügt\r\n"));
    EXPECT_NE(result.err.find("liegt nicht in der Version 2300 vor"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Der Mandant " + old + " wurde nicht in die Liste aufgenommen."), std::string::npos);
    EXPECT_FALSE(HasKey(old, "A81"));
}

TEST_F(MwstBatchTest, LockedMandatesAreIgnoredOrAbortTheRun) {
    const std::string first = Mandate("eins", kKeys);
    const std::string locked = Mandate("gesperrt", kKeys);
    const std::string last = Mandate("letzter", kKeys);
    // Open here: mwst-batch can register the mandate but not gain exclusive access.
    ::Mandate holder(0);
    ASSERT_EQ(holder.OpenMandateFiles(locked, 1, true), 0);

    BatchResult result = RunBatch({"insert-keys", first, locked, last});
    EXPECT_EQ(result.exitCode, 1);
    const std::string conflict =
        "Der Mandant " + locked + " kann nicht exklusiv geöffnet werden! Die Datenbank wird verwendet von:\r\n";
    EXPECT_EQ(result.out, InsertLog(first, "A81 wurde eingefügt\r\n") + conflict + "\r\n\r\n" +
                              InsertLog(last, "A81 wurde eingefügt\r\n"));
    EXPECT_NE(result.err.find(conflict), std::string::npos);
    EXPECT_NE(result.err.find("Der Mandant " + locked + " wurde nicht bearbeitet"), std::string::npos);

    const std::string other = Mandate("andere", kKeys);
    result = RunBatch({"insert-keys", "--on-locked", "abort", locked, other});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(HasKey(other, "A81"));
    holder.CloseMandateFiles();
}

TEST_F(MwstBatchTest, ConfirmationsAreAnsweredNoUnlessYesIsGiven) {
    const std::string dir = Mandate("frage", kKeys);
    BatchResult result = RunBatch({"remove-old-keys", dir});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("Achtung, bitte diese Funktion erst ausführen"), std::string::npos);
    EXPECT_NE(result.err.find("Nicht bestätigt"), std::string::npos);
    EXPECT_TRUE(HasKey(dir, "A77"));

    result = RunBatch({"form-2024", dir});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Nicht bestätigt"), std::string::npos);

    // Without the 2024 form the removal refuses, mandate by mandate: the step
    // did not complete, so a script must not go on.
    result = RunBatch({"remove-old-keys", "--yes", dir});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out, "MWST-Formular 2024 muss zuerst aktiviert werden!\r\n");
    EXPECT_NE(result.err.find("Der Befehl wurde für den Mandanten " + dir + " nicht abgeschlossen"), std::string::npos)
        << result.err;
    EXPECT_TRUE(HasKey(dir, "A77"));
}

TEST_F(MwstBatchTest, PasswordsComeFromThePasswordFile) {
    const std::string dir = Mandate("geheim", kKeys, {"--password", "Sesam-1"});
    BatchResult result = RunBatch({"insert-keys", dir});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("wurde nicht angegeben"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("ist falsch"), std::string::npos) << "none was given: " << result.err;

    const std::string wrong = Path("falsch.txt");
    ASSERT_TRUE(batchtest::WritePasswordFile(wrong, dir + "\tSesam-2\n"));
    result = RunBatch({"insert-keys", "--password-file", wrong, dir});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind(
                  "Das Passwort der Passwortdatei für den Mandanten " + dir + " ist falsch.\n", 0),
              0u)
        << "the file's password was given and refused: " << result.err;
    EXPECT_FALSE(HasKey(dir, "A81"));

    const std::string right = Path("passwoerter.txt");
    ASSERT_TRUE(batchtest::WritePasswordFile(right, "# none\n" + dir + "/\tSesam-1\r\n"));
    result = RunBatch({"insert-keys", "--password-file", right, dir});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(HasKey(dir, "A81"));
}

// Passwords that group or others may read are not used: the run ends before
// any mandate is registered or opened, in the language asked for.
TEST_F(MwstBatchTest, APasswordFileOthersMayUseIsRefused) {
    const std::string dir = Mandate("offen", kKeys, {"--password", "Sesam-1"});
    const std::string passwords = Path("passwoerter.txt");
    ASSERT_TRUE(batchtest::WritePasswordFile(passwords, dir + "\tSesam-1\n"));
    const auto files = [&dir] {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
            names.insert(entry.path().string());
        return names;
    };
    const std::string records = Dump(dir);
    const std::set<std::string> listed = files();
    const struct {
        mode_t mode;
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {0644, {"insert-keys", "--yes", "--password-file", passwords, dir},
         "Die Passwortdatei " + passwords +
             " wird nicht verwendet, weil ausser ihrem Besitzer noch andere Benutzer sie lesen"
             " oder ändern dürfen. Machen Sie sie nur für den Besitzer lesbar, z. B. mit chmod"
             " 600.\n"},
        {0620, {"restore", "--yes", "--lang", "fr", "--password-file", passwords, dir},
         "Le fichier de mots de passe " + passwords +
             " n'est pas utilisé, car d'autres utilisateurs que son propriétaire peuvent le lire"
             " ou le modifier. Rendez-le lisible par son seul propriétaire, p. ex. avec chmod"
             " 600.\n"},
    };
    for (const auto& refused : cases) {
        ASSERT_EQ(chmod(passwords.c_str(), refused.mode), 0);
        const BatchResult result = RunBatch(refused.args);
        EXPECT_EQ(result.exitCode, 2) << refused.args.front();
        EXPECT_EQ(result.out, "") << refused.args.front();
        EXPECT_EQ(result.err, refused.message);
    }
    EXPECT_EQ(files(), listed) << "no lock, no backup";
    EXPECT_EQ(Dump(dir), records);

    ASSERT_EQ(chmod(passwords.c_str(), 0600), 0);
    const BatchResult result =
        RunBatch({"insert-keys", "--yes", "--password-file", passwords, dir});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(HasKey(dir, "A81"));
}

TEST_F(MwstBatchTest, SearchFindsTheMandatesOfATree) {
    const std::string top = Mandate("baum", kKeys);
    const std::string nested = Mandate("baum/kunden/geheim", kKeys, {"--password", "Sesam-1"});
    const std::string passwords = Path("passwoerter.txt");
    ASSERT_TRUE(batchtest::WritePasswordFile(passwords, nested + "\tSesam-1\n"));
    BatchResult result = RunBatch({"insert-keys", "--search", top, "--password-file", passwords});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(HasKey(top, "A81"));
    EXPECT_TRUE(HasKey(nested, "A81"));

    result = RunBatch({"insert-keys", "--search", Path("leer")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("wurde kein Mandant gefunden"), std::string::npos);
}

TEST_F(MwstBatchTest, SearchNamesTheFoldersItCouldNotReadAndExitsOne) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    const std::string top = Mandate("wald", kKeys);
    const std::string closed = Path("wald/zu");
    ASSERT_EQ(mkdir(closed.c_str(), 0), 0);
    const BatchResult result = RunBatch({"insert-keys", "--search", top});
    chmod(closed.c_str(), 0755);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Ordner " + closed + " nicht durchsucht: "), std::string::npos) << result.err;
    EXPECT_TRUE(HasKey(top, "A81")) << "the readable mandates are converted";
}

TEST_F(MwstBatchTest, FrenchTextsWithLangFr) {
    const std::string dir = Mandate("francais", kKeys);
    const BatchResult result = RunBatch({"insert-keys", "--lang", "fr", dir});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, ">Début \"Insertion code TVA\" pour le mandat " + dir + "\r\nA81 inséré\r\n"
                          ">Fin \"Insertion code TVA\" pour le mandat " + dir + "\r\n\r\n");
    EXPECT_NE(RunBatch({"--lang", "fr", "nothing", dir}).err.find("Commande inconnue : nothing"), std::string::npos);
}

TEST_F(MwstBatchTest, ShowKeysPrintsBothListsRowByRow) {
    const std::string dir = Mandate("anzeigen", "key A77 7.7 107.7 netto 1000\nkey B25 2.5 102.5 brutto -\n"
                                                "key B26 2.6 102.6 brutto -\nkey N81 8.1 108.1 netto -\n");
    const BatchResult result = RunBatch({"show-keys", dir});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Steuerschlüssel für Mandant " + dir + "\n"
                          "Schlüssel\tProzent\tEingabe\tAutomatikkonto\tSchlüssel\tProzent\tvorhanden\n"
                          "A77\t7.7%\tnetto\t1000\tA81\t8.1%\t   Nein\n"
                          "B25\t2.5%\tbrutto\t\tB26\t2.6%\t   Ja\n\n");
}

TEST_F(MwstBatchTest, BadArgumentsAreUsageErrors) {
    const std::string dir = Mandate("nutzung", kKeys);
    const std::string badLine = Path("schlecht.txt");
    ASSERT_TRUE(batchtest::WritePasswordFile(badLine, "kein tabulator\n"));
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"insert-keys"},
        {"verwandeln", dir},
        {"insert-keys", "--force", dir},
        {"insert-keys", "--on-locked", "retry", dir},
        {"insert-keys", dir, "--password-file"},
        {"insert-keys", "--password-file", Path("fehlt.txt"), dir},
        {"insert-keys", "--password-file", badLine, dir},
        {"insert-keys", "--lang", "it", dir},
    };
    for (const std::vector<std::string>& args : cases) {
        const BatchResult result = RunBatch(args);
        std::string shown;
        for (const std::string& arg : args) shown += arg + " ";
        EXPECT_EQ(result.exitCode, 2) << shown;
        EXPECT_EQ(result.out, "") << shown;
        EXPECT_FALSE(result.err.empty()) << shown;
    }
    EXPECT_FALSE(HasKey(dir, "A81"));
}

// --- Exit statuses ------------------------------------------------------------

constexpr auto npos = std::string::npos;

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

TEST_F(MwstBatchTest, HelpPrintsTheUsageWithTheExitStatusesOnStandardOutput) {
    for (const char* option : {"--help", "-h"}) {
        const BatchResult result = RunBatch({option});
        EXPECT_EQ(result.exitCode, 0) << option;
        EXPECT_EQ(result.err, "") << option;
        EXPECT_EQ(result.out.rfind("Aufruf: mwst-batch BEFEHL", 0), 0u) << result.out;
        EXPECT_NE(result.out.find("  -h, --help"), npos) << result.out;
        EXPECT_NE(result.out.find("Exit-Status:\n  0  erledigt\n  1  ein Mandant ist fehlgeschlagen"), npos)
            << result.out;
        EXPECT_NE(result.out.find("\n  2  falscher Aufruf\n"), npos) << result.out;
    }
    const BatchResult french = RunBatch({"insert-keys", "--lang", "fr", "--help"});
    EXPECT_EQ(french.exitCode, 0);
    EXPECT_NE(french.out.find("Code de sortie :\n  0  terminé\n  1  un mandat a échoué"), npos) << french.out;
    // After a usage error the same text goes to standard error.
    EXPECT_NE(RunBatch({}).err.find("Exit-Status:"), npos);
}

TEST_F(MwstBatchTest, ReadOnlyMandatesFailEveryChangingCommand) {
    const std::string records = "key A77 7.7 107.7 netto 1000\naccount 1000 0 A77\n";
    const std::string dir = Mandate("lesen", records);
    ASSERT_EQ(Tool({"read-only", dir, "on"}), 0);
    const std::string good = Mandate("schreiben", kKeys);

    BatchResult result = RunBatch({"insert-keys", dir, good});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("Mandant " + dir + " ausgelassen: schreibgeschützt\r\n"), npos) << result.out;
    EXPECT_NE(result.err.find("Der Mandant " + dir + " ist schreibgeschützt"), npos) << result.err;
    EXPECT_FALSE(HasKey(dir, "A81"));
    EXPECT_TRUE(HasKey(good, "A81"));

    // The account commands write their end line even so.
    result = RunBatch({"adapt-accounts", dir});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find(">Ende \"Konti anpassen\""), npos) << result.out;
    EXPECT_NE(result.err.find("Der Mandant " + dir + " ist schreibgeschützt"), npos) << result.err;
    EXPECT_EQ(RunBatch({"remove-old-keys", "--yes", dir}).exitCode, 1);

    // Reading changes nothing: the overview of a read-only mandate is done.
    result = RunBatch({"show-keys", dir});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

// Each step must stop the script when it did not complete on every mandate:
// a mandate held by another program, and one the command refuses.
class ChainOfSteps : public MwstBatchTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ChainOfSteps, StopsAtTheFirstStepThatDidNotComplete) {
    const bool heldByAnother = GetParam();
    const std::string records = "key A77 7.7 107.7 netto 1000\naccount 1000 0 A77\n";
    const std::string free = Mandate("frei", records);
    const std::string other = Mandate("anderer", records);
    // Open here: mwst-batch registers the mandate but cannot hold it.
    ::Mandate holder(0);
    if (heldByAnother)
        ASSERT_EQ(holder.OpenMandateFiles(other, 1, true), 0);
    else
        ASSERT_EQ(Tool({"read-only", other, "on"}), 0);

    const std::string batch = Quoted(std::string(MWST_TEST_BIN_DIR) + "/mwst-batch");
    const std::string both = " --yes " + Quoted(free) + " " + Quoted(other) + " >/dev/null 2>&1";
    const std::string script = batch + " insert-keys" + both + " && " + batch + " adapt-accounts" + both +
                               " && " + batch + " remove-old-keys" + both + "; echo $?";
    FILE* pipe = ::popen(script.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ::pclose(pipe);
    holder.CloseMandateFiles();

    EXPECT_EQ(output, "1\n");
    EXPECT_TRUE(HasKey(free, "A81")) << "the first step ran on the free mandate";
    EXPECT_NE(Dump(free).find("\naccount 1000 0 A77\n"), npos) << "the second step never started";
    EXPECT_TRUE(HasKey(free, "A77"));
    EXPECT_FALSE(HasKey(other, "A81"));
}

INSTANTIATE_TEST_SUITE_P(HeldOrReadOnly, ChainOfSteps, ::testing::Bool());

TEST_F(MwstBatchTest, AMandateThatCannotBeOpenedGivesStatusOne) {
    const std::string dir = Mandate("nurlesen", kKeys);
    const std::string good = Mandate("gut", kKeys);
    ASSERT_EQ(chmod((dir + "/pendra.lock").c_str(), 0444), 0);
    RunOptions obey;
    obey.obeyFileModes = true;
    const BatchResult result = RunBatch({"insert-keys", dir, good}, obey);
    if (result.exitCode == 126) GTEST_SKIP() << "cannot take root's file override away here";
    EXPECT_EQ(result.exitCode, 1);
    // Its lock file can never be written: 8003, not the exclusive-access box.
    EXPECT_NE(result.err.find("Beim Zugriff auf den Mandant\r\n" + dir + "\r\nist ein Problem aufgetreten"), npos)
        << result.err;
    EXPECT_EQ(result.err.find("kann nicht exklusiv geöffnet werden"), npos) << result.err;
    EXPECT_NE(result.err.find("Der Mandant " + dir + " wurde nicht bearbeitet"), npos) << result.err;
    EXPECT_EQ(result.out, InsertLog(good, "A81 wurde eingefügt\r\n"));
    EXPECT_FALSE(HasKey(dir, "A81"));
}

// --- Search, passwords and mandates given twice -------------------------------

TEST_F(MwstBatchTest, SearchMatchesPasswordsByDirectoryNotByName) {
    const std::string first = Path("namen/eins"), second = Path("namen/zwei");
    EXPECT_EQ(Tool({"create", first, "--name", "Gleich AG", "--password", "Sesam-1"}), 0);
    EXPECT_EQ(Tool({"create", second, "--name", "Gleich AG", "--password", "Sesam-2"}), 0);
    for (const std::string& dir : {first, second}) EXPECT_EQ(Tool({"load", dir}, kKeys), 0);
    const std::string passwords = Path("passwoerter.txt");
    ASSERT_TRUE(batchtest::WritePasswordFile(passwords,
                                             first + "\tSesam-1\n" + second + "\tSesam-2\n"));

    const BatchResult result = RunBatch({"insert-keys", "--search", Path("namen"), "--password-file", passwords});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(HasKey(first, "A81"));
    EXPECT_TRUE(HasKey(second, "A81"));
}

TEST_F(MwstBatchTest, AMandateGivenTwiceRunsOnceUnderItsCanonicalPath) {
    const std::string dir = Mandate("doppelt", kKeys);
    const std::string canonical = std::filesystem::canonical(dir).string();
    std::filesystem::create_directory_symlink(dir, Path("verweis"));
    RunOptions inTemp;
    inTemp.cwd = Path("");

    BatchResult result = RunBatch({"insert-keys", "doppelt", Path("verweis"), dir + "/", "./doppelt"}, inTemp);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, InsertLog(canonical, "A81 wurde eingefügt\r\n"));
    const std::string twice = "Der Mandant " + canonical + " ist mehrfach angegeben und wird nur einmal bearbeitet.\n";
    EXPECT_EQ(result.err, twice + twice + twice);

    // Found through a link and given as well: once, named by its own path.
    result = RunBatch({"remove-new-keys", "--search", "verweis", "doppelt"}, inTemp);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Count(result.out, ">Beginn"), 1u) << result.out;
    EXPECT_NE(result.out.find(">Beginn \"Steuerschlüssel entfernen\" für Mandant " + canonical + "\r\n"), npos)
        << result.out;
    EXPECT_EQ(result.out.find("verweis"), npos) << result.out;
    EXPECT_EQ(result.err, twice);
    EXPECT_FALSE(HasKey(dir, "A81"));
}

TEST_F(MwstBatchTest, FoundMandatesThatFailTheirChecksGiveStatusOne) {
    const std::string good = Mandate("wald/gut", kKeys);
    const std::string old = Mandate("wald/alt", kKeys, {"--version", "2299"});
    const std::string secret = Mandate("wald/geheim", kKeys, {"--password", "Sesam-1"});
    const std::string held = Mandate("wald/belegt", kKeys);
    ::Mandate holder(0);
    ASSERT_EQ(holder.OpenMandateFiles(held, 1, true), 0);
    MIniSetHelper exclusive(&holder, false);
    ASSERT_EQ(exclusive.OpenExclusive(), 0);
    // Its folder is too long a path for its database.
    const std::size_t limit = pendra::schema::MaxMandateFolderLength();
    std::string deep = Path("wald/tief");
    while (deep.size() <= limit) deep += "/tiefer";
    std::filesystem::create_directories(std::filesystem::path(deep).parent_path());
    std::filesystem::rename(Mandate("wald/tief-neu", kKeys), deep);

    const BatchResult result = RunBatch({"insert-keys", "--search", Path("wald")});
    exclusive.Close();
    holder.CloseMandateFiles();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, InsertLog(good, "A81 wurde eingefügt\r\n"));
    EXPECT_NE(result.err.find("liegt nicht in der Version 2300 vor"), npos) << result.err;
    EXPECT_NE(result.err.find("wurde nicht angegeben"), npos) << result.err;
    EXPECT_NE(result.err.find("ist von einem anderen Programm exklusiv gesperrt"), npos) << result.err;
    EXPECT_NE(result.err.find("der Pfad ist länger als " + std::to_string(limit) + " Zeichen"), npos) << result.err;
    for (const std::string& dir : {old, secret, held, deep}) {
        EXPECT_NE(result.err.find("Der Mandant " + dir + " wurde nicht in die Liste aufgenommen."), npos) << dir;
        if (dir != deep) {
            EXPECT_FALSE(HasKey(dir, "A81")) << dir;
        }
    }
}

}  // namespace

// ---- Several commands, several processes -------------------------------------------

TEST_F(MwstBatchTest, SeveralCommandsRunOnEachMandateInTheOrderGiven) {
    const char* const records = "key A77 7.7 107.7 netto 1000\naccount 1000 1 A77\n";
    const std::string first = Mandate("eins", records);
    const std::string second = Mandate("zwei", records);
    const BatchResult result = RunBatch({"insert-keys,adapt-accounts", first, second});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const auto adaptLog = [](const std::string& dir) {
        return ">Beginn \"Konti anpassen\" für Mandant " + dir + "\r\nKonto 1000: A77 mit A81 ersetzt\r\n" +
               ">Ende \"Konti anpassen\" für Mandant " + dir + "\r\n\r\n";
    };
    EXPECT_EQ(result.out, InsertLog(first, "A81 wurde eingefügt\r\n") + adaptLog(first) +
                              InsertLog(second, "A81 wurde eingefügt\r\n") + adaptLog(second));
}

TEST_F(MwstBatchTest, TheFirstCommandThatDoesNotCompleteEndsTheMandatesWork) {
    const std::string dir = Mandate("halt", "key A77 7.7 107.7 netto 1000\naccount 1000 0 A77\n");
    const BatchResult result = RunBatch({"remove-old-keys,adapt-accounts", "--yes", dir});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "MWST-Formular 2024 muss zuerst aktiviert werden!\r\n");
    EXPECT_NE(result.err.find("nicht abgeschlossen"), std::string::npos) << result.err;
    EXPECT_NE(Dump(dir).find("account 1000 0 A77"), std::string::npos) << "the accounts were not adapted";
}

// Inside a mandate the walk over the accounts shows how far it is on standard
// error, one line written over in place, only when that is a terminal: through
// a pipe the log and the messages are what they were, byte for byte.
TEST_F(MwstBatchTest, ProgressInsideAMandateShowsOnlyOnATerminal) {
    std::string records = kKeys;
    for (int n = 0; n < 20; ++n) records += "account " + std::to_string(2000 + n) + " 0 A77\n";
    const std::string piped = Mandate("rohr", records);
    const std::string shown = Mandate("tty", records);
    ASSERT_EQ(RunBatch({"insert-keys", piped, shown}).exitCode, 0);
    const BatchResult throughPipe = RunBatch({"adapt-accounts", piped});
    EXPECT_EQ(throughPipe.exitCode, 0);
    EXPECT_EQ(throughPipe.err, "");

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    RunOptions onTerminal;
    onTerminal.errTo = slave;
    const BatchResult run = RunBatch({"adapt-accounts", shown}, onTerminal);
    close(slave);
    std::string terminal;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) terminal.append(buffer, static_cast<std::size_t>(n));
    close(master);

    EXPECT_EQ(run.exitCode, 0);
    std::string expectedOut = throughPipe.out;
    for (std::size_t at; (at = expectedOut.find(piped)) != std::string::npos;) expectedOut.replace(at, piped.size(), shown);
    EXPECT_EQ(run.out, expectedOut) << "the log is the same on a terminal";
    std::size_t from = 0;
    for (int done = 1; done <= 20; ++done) {
        const std::string step = "\rtty: Datensatz " + std::to_string(done) + " von 20";
        from = terminal.find(step, from);
        ASSERT_NE(from, std::string::npos) << step << " in " << terminal;
    }
    EXPECT_EQ(terminal.back(), '\r') << "the line is cleared once the walk is over";
}

TEST_F(MwstBatchTest, JobsKeepEachMandatesLogTogetherAndInTheOrderGiven) {
    std::vector<std::string> dirs;
    std::string expected;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        dirs.push_back(Mandate(name, kKeys));
        expected += InsertLog(dirs.back(), "A81 wurde eingefügt\r\n");
    }
    std::vector<std::string> args{"insert-keys", "--jobs", "2"};
    args.insert(args.end(), dirs.begin(), dirs.end());
    const BatchResult result = RunBatch(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, expected);
    for (const std::string& dir : dirs) EXPECT_TRUE(HasKey(dir, "A81")) << dir;
}

TEST_F(MwstBatchTest, JobsReportWhatFailedAsOneProcessDoes) {
    const std::string good = Mandate("gut", kKeys);
    const std::string old = Mandate("alt", kKeys, {"--version", "2299"});
    const std::string last = Mandate("letzter", kKeys);
    const BatchResult result = RunBatch({"insert-keys", "--jobs", "3", good, old, last});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, InsertLog(good, "A81 wurde eingefügt\r\n") + InsertLog(last, "A81 wurde eingefügt\r\n"));
    EXPECT_NE(result.err.find("Der Mandant " + old + " wurde nicht in die Liste aufgenommen."), std::string::npos)
        << result.err;
    EXPECT_FALSE(HasKey(old, "A81"));
}

TEST_F(MwstBatchTest, JobsMustBeACountFromOne) {
    const std::string dir = Mandate("zahl", kKeys);
    for (const char* jobs : {"0", "x", "-1", "999"}) EXPECT_EQ(RunBatch({"insert-keys", "--jobs", jobs, dir}).exitCode, 2) << jobs;
    EXPECT_FALSE(HasKey(dir, "A81"));
}

TEST_F(MwstBatchTest, VersionIsPrintedOnStandardOutput) {
    const BatchResult result = RunBatch({"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.rfind("mwst-batch ", 0), 0u) << result.out;
}

// The batch tool is a front end on the libraries below the window: it must
// not even load the widget library.
TEST_F(MwstBatchTest, LinksNoQtWidgets) {
    const std::string command = "ldd " + std::string(MWST_TEST_BIN_DIR) + "/mwst-batch";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string libraries;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) libraries += buffer;
    pclose(pipe);
    ASSERT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("Qt6Widgets"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("Qt6Gui"), std::string::npos) << libraries;
}

namespace {

// A mandate at each stage, the bookings around the turn of the year counted,
// and one that cannot be read: a row each, read without any change.
TEST_F(MwstBatchTest, StatusTellsWhereEachMandateStands) {
    const std::string keys = "key A77 7.7 107.7 netto -\nkey B25 2.5 102.5 netto -\n";
    const std::string newKeys = "key A81 8.1 108.1 netto -\nkey B26 2.6 102.6 netto -\n";
    const std::string notStarted = Mandate("a", keys + "account 1000 0 A77\n" +
                                                    "booking 1 20231231 1000 1 A77 Dezember\n"
                                                    "booking 2 20240101 1000 1 A77 Januar\n"
                                                    "booking 3 20240102 1000 1 B25 Januar\n");
    const std::string inserted = Mandate("b", keys + newKeys + "account 1000 0 A77\n" +
                                                  "booking 1 20231231 1000 1 A81 Dezember\n"
                                                  "booking 2 20240101 1000 1 A81 Januar\n");
    const std::string adapted = Mandate("c", keys + newKeys + "account 1000 0 A81\n");
    const std::string removed = Mandate("d", keys + newKeys);
    const std::string old = Mandate("e", keys, {"--version", "2299"});
    const std::string missing = Mandate("f", keys + newKeys + "account 1000 0 Z99\n");
    const std::string mixed = Mandate("g", keys + newKeys);
    ASSERT_EQ(RunBatch({"form-2024,remove-old-keys", "--yes", removed}).exitCode, 0);
    // One form file of the 2024 form left among those of the 2018 form.
    ASSERT_EQ(RunBatch({"form-2024", "--yes", mixed}).exitCode, 0);
    const std::string form2024 = Path("2024.VTS");
    std::filesystem::copy_file(mixed + "/_MWSTPAU.VTS", form2024);
    ASSERT_EQ(RunBatch({"form-2018", "--yes", mixed}).exitCode, 0);
    std::filesystem::copy_file(form2024, mixed + "/_MWSTPAU.VTS", std::filesystem::copy_options::overwrite_existing);
    const std::string before = Dump(inserted);

    const BatchResult result = RunBatch({"status", "--format", "csv", "--jobs", "2", notStarted, inserted, adapted,
                                         removed, old, missing, mixed});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out,
              "directory,name,data_version,data_format,form,old_keys,new_keys_missing,accounts_on_old_keys,"
              "accounts_on_missing_keys,old_keys_booked,bookings_2024_on_old_rates,bookings_2023_on_new_rates,"
              "bookings_on_missing_keys,stage,next_step,problem,problem_detail\r\n" +
                  notStarted + ",a,2300,3,none,2,2,1,0,2,2,0,0,not-started,insert-keys,,\r\n" +
                  inserted + ",b,2300,3,none,2,0,1,0,0,0,1,0,keys-inserted,adapt-accounts,,\r\n" +
                  adapted + ",c,2300,3,none,2,0,0,0,0,0,0,0,accounts-adapted,form-2024,,\r\n" +
                  removed + ",d,2300,3,2024,0,0,0,0,0,0,0,0,old-keys-removed,,,\r\n" +
                  old + ",e,2299,3,,,,,,,,,,,update data,version,\"die Daten liegen in der Version 2299 vor, nötig ist "
                        "2300: den Mandanten zuerst mit dem Buchhaltungsprogramm umstellen\"\r\n" +
                  missing + ",f,2300,3,none,2,0,0,1,0,0,0,0,inconsistent,correct accounts,,\"1 Konti nennen als "
                            "Standardschlüssel einen Schlüssel, den es im Mandanten nicht gibt: diese Konti in der "
                            "Buchhaltung korrigieren\"\r\n" +
                  mixed + ",g,2300,3,mixed,2,0,0,0,0,0,0,0,inconsistent,form-2018,,\"die vier Formulardateien haben "
                          "nicht dieselbe Version (MWSTFORM.VTS 2018, MWSTPAU.VTS 2018, _MWSTFRM.VTS 2018, "
                          "_MWSTPAU.VTS 2024): das Formular nochmals aktivieren\"\r\n");
    const BatchResult summary = RunBatch({"status", "--summary", "--format=json", notStarted, inserted, old, missing});
    EXPECT_EQ(summary.out,
              "[\n  {\"count_of\": \"stage\", \"value\": \"not-started\", \"mandates\": 1},"
              "\n  {\"count_of\": \"stage\", \"value\": \"keys-inserted\", \"mandates\": 1},"
              "\n  {\"count_of\": \"stage\", \"value\": \"inconsistent\", \"mandates\": 1},"
              "\n  {\"count_of\": \"problem\", \"value\": \"version\", \"mandates\": 1}\n]\n");
    EXPECT_EQ(Dump(inserted), before);

    const BatchResult json = RunBatch({"status", "--format=json", "--lang", "fr", adapted});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_NE(json.out.find("\"stage\": \"accounts-adapted\", \"next_step\": \"form-2024\", \"problem\": \"\", "
                            "\"problem_detail\": \"\"}\n]\n"),
              std::string::npos)
        << json.out;
    const BatchResult text = RunBatch({"status", "--lang", "fr", old});
    EXPECT_NE(text.out.find(old + ": les données sont en version 2299"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\n1 mandats avec problème : les données ne sont pas dans la version 2300\n1 mandats au total\n"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(text.out.find('\t'), std::string::npos) << text.out;
    const BatchResult unknown = RunBatch({"status", "--format=json", old});
    EXPECT_NE(unknown.out.find("\"form\": null, \"old_keys\": null,"), std::string::npos) << unknown.out;
}

// Every file below `root` by its path, as size and bytes (folders as "/").
std::map<std::string, std::string> TreeContents(const std::string& root) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string bytes = "/";
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            bytes = std::to_string(entry.file_size()) + ":" +
                    std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        contents[entry.path().string()] = bytes;
    }
    return contents;
}

// The demo mandates, one without its lock file (as a copy from elsewhere
// comes), and copies whose database is damaged in each way a search meets:
// status reads them all, a row each, and leaves every byte as it was (no
// lock file, journal or format upgrade); a command over the search leaves
// the damaged ones out with their reason.
TEST_F(MwstBatchTest, StatusFindsEveryMandateAndChangesNoFile) {
    const std::string root = Path("demo");
    ASSERT_EQ(Tool({"demo", root}), 0);
    std::filesystem::remove(root + "/cave-favre/pendra.lock");
    const auto damaged = [&root](const std::string& name, const std::function<void(const std::string&)>& damage) {
        std::filesystem::copy(root + "/cave-favre", root + "/" + name);
        damage(root + "/" + name + "/pendra.db");
    };
    damaged("zeroed", [](const std::string& db) {
        std::fstream file(db, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(100);
        const std::string zeros(4096 - 100, '\0');
        file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    });
    damaged("truncated", [](const std::string& db) { std::filesystem::resize_file(db, 6000); });
    damaged("empty", [](const std::string& db) { std::filesystem::resize_file(db, 0); });
    damaged("folder", [](const std::string& db) {
        std::filesystem::remove(db);
        std::filesystem::create_directory(db);
    });
    const std::map<std::string, std::string> before = TreeContents(root);
    for (const char* format : {"text", "csv", "json"}) {
        const BatchResult result = RunBatch({"status", "--format", format, "--search", root});
        EXPECT_EQ(result.exitCode, 1) << format << result.err;
        EXPECT_TRUE(TreeContents(root) == before) << format;
    }
    const BatchResult csv = RunBatch({"status", "--format", "csv", "--search", root});
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 1 + 8 + 4) << csv.out;
    EXPECT_NE(csv.out.find("/metzgerei-gerber,Metzgerei Gerber AG,2299,3,"), std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find("/cave-favre,Cave Favre SA,2300,3,2018,"), std::string::npos) << csv.out;
    const std::vector<std::pair<std::string, std::string>> reasons = {
        {"zeroed", "ist beschädigt"}, {"truncated", "abgeschnitten: 6000 von 32768 Bytes"},
        {"empty", "ist leer"}, {"folder", "ist ein Ordner"}};
    const BatchResult run = RunBatch({"insert-keys", "--dry-run", "--yes", "--search", root});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    for (const auto& [name, reason] : reasons) {
        const std::string row = root + "/" + name + ",,,,,,,,,,,,,,check folder,unreadable,";
        const std::size_t at = csv.out.find(row);
        ASSERT_NE(at, std::string::npos) << name << csv.out;
        EXPECT_NE(csv.out.substr(at, csv.out.find('\n', at) - at).find(reason), std::string::npos) << name << csv.out;
        EXPECT_NE(run.out.find("Mandant " + root + "/" + name + " ausgelassen: "), std::string::npos) << run.out;
    }
}

// The writer of every report: the same rows for a program and for a person.
TEST(ReportTableTest, WritesCsvJsonAndATableThatFits) {
    using Column = ReportTable::Column;
    const ReportTable table({Column{"path", ReportTable::Kind::kText, "Verzeichnis", ReportTable::Shorten::kMiddle},
                             Column{"count", ReportTable::Kind::kNumber, "Anzahl"},
                             Column{"note", ReportTable::Kind::kText, "Bemerkung"},
                             Column{"hidden", ReportTable::Kind::kText, ""}});
    const std::string longPath = "/srv/mandanten/" + std::string(120, 'x') + "/zürich";
    const std::vector<ReportTable::Row> rows = {
        {std::string("/a,b"), std::string("12"), std::string("say \"hi\"\r\nbye"), std::nullopt},
        {longPath, std::nullopt, std::string("tab\there"), std::string("back\\slash")},
    };
    EXPECT_EQ(table.CsvHeader() + table.CsvRow(rows[0]) + table.CsvRow(rows[1]),
              "path,count,note,hidden\r\n\"/a,b\",12,\"say \"\"hi\"\"\r\nbye\",\r\n" + longPath +
                  ",,tab\there,back\\slash\r\n");
    EXPECT_EQ(ReportTable::JsonBegin() + table.JsonRow(rows[0], 0) + table.JsonRow(rows[1], 1) + ReportTable::JsonEnd(),
              "[\n  {\"path\": \"/a,b\", \"count\": 12, \"note\": \"say \\\"hi\\\"\\u000d\\u000abye\", \"hidden\": null},"
              "\n  {\"path\": \"" + longPath + "\", \"count\": null, \"note\": \"tab\\u0009here\", "
              "\"hidden\": \"back\\\\slash\"}\n]\n");

    const std::string text = table.Text(rows);
    std::istringstream lines(text);
    std::vector<std::string> shown;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(ReportTable::Width(line), ReportTable::kTextWidth) << line;
        shown.push_back(line);
    }
    ASSERT_EQ(shown.size(), 3u) << text;
    EXPECT_EQ(shown[0].rfind("Verzeichnis", 0), 0u) << text;
    EXPECT_NE(shown[1].find("    12  say \"hi\"\\r\\nbye"), std::string::npos) << text;
    EXPECT_NE(shown[2].find("/srv/mandanten/xx"), std::string::npos) << text;
    EXPECT_NE(shown[2].find("x…x"), std::string::npos) << text;
    EXPECT_NE(shown[2].find("xx/zürich  "), std::string::npos) << "the folder's own name stays: " << text;
    EXPECT_NE(shown[2].find("tab\\there"), std::string::npos) << text;
    EXPECT_EQ(text.find("slash"), std::string::npos) << "a column without heading is not in the table";
    EXPECT_EQ(ReportTable::Shortened("Metzgerei Gerber", 8, ReportTable::Shorten::kEnd), "Metzger…");

    for (const ReportTable::Row& row : rows) {
        const std::string encoded = ReportTable::Encoded(row);
        EXPECT_EQ(encoded.find('\n'), encoded.size() - 1);
        EXPECT_EQ(ReportTable::Decoded(encoded.substr(0, encoded.size() - 1)), row);
    }
}

}  // namespace

namespace {

// The fields of one CSV line (RFC 4180, without its line end).
std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// The data lines of a CSV report, each split into its fields.
std::vector<std::vector<std::string>> CsvRows(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        rows.push_back(CsvFields(line));
    }
    return rows;
}

// The demo tree with bookings on every wrong side added to one mandate: the
// list names exactly what the status counts, mandate by mandate, also a
// booking on a key the conversion leaves alone (VSS24) and one on a key the
// mandate does not have; both read without any change.
TEST_F(MwstBatchTest, BookingsOnTheWrongSideAreTheOnesTheStatusCounts) {
    const std::string root = Path("demo");
    ASSERT_EQ(Tool({"demo", root}), 0);
    const std::string bakery = root + "/baeckerei-mueller";
    ASSERT_EQ(Tool({"load", bakery}, "booking 900 20240115 3000 100 USN77 Neu\n"
                                     "booking 901 20240120 6100 50 VSS24 Sonderfall\n"
                                     "booking 902 20231130 6500 20 VSN81 Vorbezug, Dezember\n"
                                     "booking 903 20240201 1000 30 WEG77 Schlüssel gelöscht\n"),
              0);
    const std::string before = Dump(bakery);

    const BatchResult status = RunBatch({"status", "--format", "csv", "--search", root});
    const BatchResult bookings = RunBatch({"bookings", "--wrong-side", "--format=csv", "--jobs", "2", "--search", root});
    EXPECT_EQ(bookings.exitCode, status.exitCode) << bookings.err;
    EXPECT_EQ(bookings.out.substr(0, bookings.out.find('\n') + 1),
              "directory,name,number,date,account,key,rate,amount,text,problem\r\n");
    // Per directory: bookings of 2024 on old rates, before 2024 on new rates, on missing keys, the problem.
    using Counts = std::tuple<long, long, long, std::string>;
    std::map<std::string, Counts> counted, listed;
    std::map<std::string, std::size_t> column;  // status's columns by name
    {
        std::istringstream header(status.out.substr(0, status.out.find('\r')));
        std::size_t index = 0;
        for (std::string name; std::getline(header, name, ',');) column[name] = index++;
    }
    const std::size_t dirCol = column.at("directory"), problemCol = column.at("problem"),
                      oldCol = column.at("bookings_2024_on_old_rates"), newCol = column.at("bookings_2023_on_new_rates");
    for (const std::vector<std::string>& row : CsvRows(status.out)) {
        ASSERT_EQ(row.size(), column.size());
        counted[row[dirCol]] = row[problemCol].empty()
                                   ? Counts{std::stol(row[oldCol]), std::stol(row[newCol]), 0, ""}
                                   : Counts{0, 0, 0, row[problemCol]};
    }
    std::get<2>(counted[bakery]) = 1;  // the status has no column for bookings on missing keys
    for (const std::vector<std::string>& row : CsvRows(bookings.out)) {
        ASSERT_EQ(row.size(), 10u);
        Counts& counts = listed[row[0]];
        if (!row[9].empty()) std::get<3>(counts) = row[9];
        else if (row[6].empty()) ++std::get<2>(counts);
        else if (row[3] >= "2024-01-01") ++std::get<0>(counts);
        else ++std::get<1>(counts);
    }
    for (auto& [dir, counts] : counted)
        if (counts == Counts{0, 0, 0, ""}) listed.emplace(dir, counts);  // no row: nothing on the wrong side
    EXPECT_EQ(listed, counted);
    EXPECT_EQ(std::get<0>(counted[bakery]), 2);  // USN77 and VSS24
    EXPECT_NE(bookings.out.find(bakery + ",Bäckerei Müller AG,901,2024-01-20,6100,VSS24,7.7,50.00,Sonderfall,\r\n"),
              std::string::npos) << bookings.out;
    EXPECT_NE(bookings.out.find(bakery + ",Bäckerei Müller AG,902,2023-11-30,6500,VSN81,8.1,20.00,\"Vorbezug, Dezember\",\r\n"),
              std::string::npos) << bookings.out;

    const BatchResult json = RunBatch({"bookings", "--wrong-side", "--format", "json", bakery});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out.rfind("[\n  {\"directory\": \"" + bakery + "\", \"name\": \"Bäckerei Müller AG\", ", 0), 0u)
        << json.out;
    EXPECT_NE(json.out.find("\"number\": 903, \"date\": \"2024-02-01\", \"account\": \"1000\", \"key\": \"WEG77\", "
                            "\"rate\": null, \"amount\": 30.00, \"text\": \"Schlüssel gelöscht\", \"problem\": \"\"}\n]\n"),
              std::string::npos) << json.out;
    EXPECT_EQ(Dump(bakery), before);
}

}  // namespace
