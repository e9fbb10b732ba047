#include "base/JournalFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using journalfile::Journal;
using journalfile::Name;

// Entries read whole, each "field value" split at its first blank.
TEST(JournalFile, ReadsTheEntriesUnderTheHeader) {
    const Journal journal = Journal::Parse("mwst-x 1\nfile 12 files/A B.VTS\nkind\n\n", "mwst-x 1", ".mwst-x");
    ASSERT_TRUE(journal) << journal.Refused()->Describe();
    ASSERT_EQ(journal.Entries().size(), 3u);
    const journalfile::Entry& file = journal.Entries()[0];
    EXPECT_EQ(file.line, 2);
    EXPECT_EQ(file.Field(), "file");
    EXPECT_EQ(file.Value(), "12 files/A B.VTS");
    EXPECT_FALSE(journal.Entries()[1].HasValue());
    EXPECT_EQ(journal.Entries()[1].Field(), "kind");
    EXPECT_EQ(journal.Entries()[2].text, "");
}

// What no writer of a journal produces is refused with the journal and the line.
TEST(JournalFile, RefusesWhatNoWriterProducesNamingTheLine) {
    struct Case {
        const char* what;
        std::string text;
        Name kind;
        std::string refusal;  // empty: read
    };
    const std::string longName(journalfile::kMaxNameLength + 1, 'x');
    const Case cases[] = {
        {"a name", "h 1\nf MWSTFORM.VTS\n", Name::kSingle, ""},
        {"a path below", "h 1\nf files/MWSTFORM.VTS\n", Name::kPath, ""},
        {"dots inside a name", "h 1\nf a..b\n", Name::kSingle, ""},
        {"no name", "h 1\nf \n", Name::kSingle, ".j, line 2: no name"},
        {"a path for a name", "h 1\nf files/A\n", Name::kSingle, ".j, line 2: \"files/A\" is no single name"},
        {"absolute", "h 1\nf /etc/passwd\n", Name::kPath, ".j, line 2: \"/etc/passwd\" is an absolute path"},
        {"up", "h 1\nf ok\nf files/../../x\n", Name::kPath,
         ".j, line 3: \"files/../../x\" leaves the folder or names no file"},
        {"empty part", "h 1\nf files//x\n", Name::kPath, ".j, line 2: \"files//x\" leaves the folder or names no file"},
        {"too long", "h 1\nf files/" + longName + "\n", Name::kPath,
         ".j, line 2: \"files/" + longName + "\" is too long"},
        {"last line cut off", "h 1\nf ok\nf MWST", Name::kSingle, ".j, line 3: the line has no end"},
        {"CR LF", "h 1\r\nf ok\r\n", Name::kSingle, ".j, line 1: the line ends with CR LF"},
        {"CR LF after the header", "h 1\nf ok\r\n", Name::kSingle, ".j, line 2: the line ends with CR LF"},
        {"another version", "h 2\nf ok\n", Name::kSingle, ".j, line 1: not \"h 1\""},
        {"empty", "", Name::kSingle, ".j, line 1: empty"},
    };
    for (const Case& c : cases) {
        Journal journal = Journal::Parse(c.text, "h 1", ".j");
        for (const journalfile::Entry& entry : journal.Entries()) journal.CheckName(entry, entry.Value(), c.kind);
        EXPECT_EQ(journal.Refused() ? journal.Refused()->Describe() : "", c.refusal) << c.what;
        EXPECT_EQ(static_cast<bool>(journal), c.refusal.empty()) << c.what;
    }
}

// A file is read as its text; one that is not there is refused by its path.
TEST(JournalFile, ReadsAFileAndNamesOneThatIsMissing) {
    std::string dir = (std::filesystem::temp_directory_path() / "mwst-journal-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string path = dir + "/.j";
    std::ofstream(path, std::ios::binary) << "h 1\nf ok\n";
    EXPECT_EQ(Journal::Read(path, "h 1", 100).Entries().size(), 1u);
    EXPECT_FALSE(Journal::Read(path, "h 1", 4)) << "larger than allowed";
    std::filesystem::remove(path);
    const Journal missing = Journal::Read(path, "h 1", 100);
    std::filesystem::remove_all(dir);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.Refused()->line, 0);
    EXPECT_EQ(missing.Refused()->Describe(), "cannot open " + path + ": No such file or directory");
}

}  // namespace
