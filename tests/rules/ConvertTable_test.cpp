#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <vector>

#include "rules/ConvertTable.h"
#include "tests/pendra/MandateTestSupport.h"
#include "tests/support/Fifo.h"

using testsupport::TempDir;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries Parsed(const std::string& text) {
    Entries out;
    for (const auto& e : ConvertTable::Parse(text)) out.emplace_back(e.oldId, e.newId);
    return out;
}

void WriteTable(const std::string& dir, const std::string& text) {
    std::ofstream(dir + "/" + ConvertTable::kFileName, std::ios::binary) << text;
}

}  // namespace

// --- Line syntax ------------------------------------------------------------

struct ParseCase {
    const char* name;
    std::string text;
    Entries entries;  // latest line first
};

class TableLines : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TableLines, FollowTheLineRules) { EXPECT_EQ(Parsed(GetParam().text), GetParam().entries); }

INSTANTIATE_TEST_SUITE_P(
    Syntax, TableLines,
    ::testing::Values(
        ParseCase{"Entry", "VSN77==>NEU1\n", {{"VSN77", "NEU1"}}},
        ParseCase{"TrimmedBothSides", " \tVSN77  ==>  NEU1 \t\n", {{"VSN77", "NEU1"}}},
        ParseCase{"CommentInFirstColumn", ";VSN77==>NEU1\n", {}},
        ParseCase{"BlankThenSemicolonIsAnEntry", "  ;A==>B\n", {{";A", "B"}}},
        ParseCase{"SecondArrowBelongsToNewId", "A==>B==>C\n", {{"A", "B==>C"}}},
        ParseCase{"EmptyNewId", "A==>\n", {{"A", ""}}},
        ParseCase{"OnlyTheArrow", "==>\n", {{"", ""}}},
        ParseCase{"LinesWithoutArrowIgnored", "\n\nVSN77 NEU1\n=>\n==\n", {}},
        ParseCase{"LaterLineFirst", "A==>1\nB==>2\nA==>3\n", {{"A", "3"}, {"B", "2"}, {"A", "1"}}},
        ParseCase{"CrLfLineEnds", "A==>1\r\nB==>2\r\n", {{"B", "2"}, {"A", "1"}}},
        ParseCase{"NoFinalLineEnd", "A==>1\nB==>2", {{"B", "2"}, {"A", "1"}}},
        ParseCase{"ByteOrderMarkDropped", "\xEF\xBB\xBF;comment\nA==>1", {{"A", "1"}}},
        ParseCase{"Windows1252BecomesUtf8", "\xC4" "B77==>\xC4" "B81\n", {{"ÄB77", "ÄB81"}}},
        ParseCase{"Utf8StaysAsItIs", "ÄB77==>ÄB81\n", {{"ÄB77", "ÄB81"}}},
        ParseCase{"NulBytesAreText", std::string("A\0B==>C\n", 8), {{std::string("A\0B", 3), "C"}}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(TableLines, VeryLongLinesAreWholeIds) {
    const std::string longId(200000, 'X');
    EXPECT_EQ(Parsed(longId + "==>" + longId), (Entries{{longId, longId}}));
}

TEST(TableLines, ManyLinesDoNotExhaustTheStack) {
    std::string text;
    for (int i = 0; i < 200000; ++i) text += "K" + std::to_string(i) + "==>N\n";
    auto entries = ConvertTable::Parse(text);
    EXPECT_EQ(entries.front().oldId, "K199999");
}

// --- Lookup and loading -----------------------------------------------------

class TableFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testsupport::NewMandate(temp, "Table AG");
        other = testsupport::NewMandate(temp, "Other AG");
    }
    static std::string Lookup(const ConvertTable& table, std::string id) {
        return table.Convert(id) ? id : "<none>";
    }

    TempDir temp;
    std::string dir, other;
};

TEST_F(TableFile, LaterLineWinsAndLookupIsExact) {
    WriteTable(dir, "VSN77==>EINS\nVSN77==>ZWEI\n");
    const ConvertTable table(dir);
    EXPECT_EQ(Lookup(table, "VSN77"), "ZWEI");
    EXPECT_EQ(Lookup(table, "vsn77"), "<none>");
    EXPECT_EQ(Lookup(table, "VSN7"), "<none>");
}

TEST_F(TableFile, LoadedOncePerDirectory) {
    WriteTable(dir, "A==>1\n");
    ConvertTable table;
    table.LoadList(dir);
    EXPECT_EQ(Lookup(table, "A"), "1");
    WriteTable(dir, "A==>2\n");
    EXPECT_EQ(Lookup(table, "A"), "1") << "not re-read while the directory stays";
    table.LoadList(dir);
    EXPECT_EQ(Lookup(table, "A"), "1") << "the same mandate again keeps the list";
    table.LoadList(other);
    EXPECT_EQ(Lookup(table, "A"), "<none>") << "another directory has no table";
    table.LoadList(dir);
    EXPECT_EQ(Lookup(table, "A"), "2") << "coming back reloads";
}

TEST_F(TableFile, EachMandateHasItsOwnTable) {
    WriteTable(dir, "A==>1\n");
    WriteTable(other, "A==>2\n");
    const ConvertTable first(dir), second(other);
    EXPECT_EQ(Lookup(first, "A"), "1");
    EXPECT_EQ(Lookup(second, "A"), "2");
    EXPECT_EQ(Lookup(ConvertTable(), "A"), "<none>") << "no table: no entries";
}

TEST_F(TableFile, MissingFileIsAnEmptyTableAndIsNotRetried) {
    ConvertTable table;
    table.LoadList(dir);
    EXPECT_EQ(Lookup(table, "A"), "<none>");
    WriteTable(dir, "A==>1\n");
    table.LoadList(dir);
    EXPECT_EQ(Lookup(table, "A"), "<none>");
}

TEST_F(TableFile, DeleteListEmptiesTheTable) {
    WriteTable(dir, "A==>1\n");
    ConvertTable table;
    table.LoadList(dir);
    table.DeleteList();
    table.LoadList(dir);  // same path: stays empty
    EXPECT_EQ(Lookup(table, "A"), "<none>");
}

// --- What is under the table's name ----------------------------------------

// UTF-16 text as a Windows editor saves it, with or without its byte order mark.
std::string Utf16(const std::u16string& text, bool bigEndian, bool mark) {
    std::string bytes;
    for (char16_t unit : (mark ? u"\uFEFF" : u"") + text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

using Why = ConvertTable::Problem::Why;

struct FileCase {
    const char* name;
    std::function<void(const std::string& path)> make;
    std::optional<Why> why;  // nullopt: a table (or none) that is read
    Entries entries;
};

class TableFiles : public TableFile, public ::testing::WithParamInterface<FileCase> {};

// A file that is there but is no text gives no entries and says why; a FIFO
// is one of them, and the load goes on at once instead of waiting on it.
TEST_P(TableFiles, AreReadAsTextOrSayWhyNot) {
    const std::string path = dir + "/" + ConvertTable::kFileName;
    GetParam().make(path);
    std::optional<ConvertTable> table;
    ASSERT_TRUE(testsupport::FinishesWithoutWaitingOn(path, [&] { table.emplace(dir); }));
    Entries entries;
    for (const std::string id : {"A77", "B25"})
        if (std::string found = id; table->Convert(found)) entries.emplace_back(id, found);
    EXPECT_EQ(entries, GetParam().entries);
    ASSERT_EQ(table->Unreadable().has_value(), GetParam().why.has_value());
    if (GetParam().why) {
        EXPECT_EQ(table->Unreadable()->why, *GetParam().why);
    }
    EXPECT_EQ(table->FileName(), path);
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TableFiles,
    ::testing::Values(
        FileCase{"Missing", [](const std::string&) {}, std::nullopt, {}},
        FileCase{"Utf8", [](const std::string& p) { Write(p, "A77==>NEÜ1\r\nB25==>B26\r\n"); },
                 std::nullopt, {{"A77", "NEÜ1"}, {"B25", "B26"}}},
        FileCase{"Utf16LittleEndianWithMark",
                 [](const std::string& p) {
                     Write(p, Utf16(u"A77==>NE\u00DC1\r\nB25==>B26\r\n", false, true));
                 },
                 std::nullopt, {{"A77", "NEÜ1"}, {"B25", "B26"}}},
        FileCase{"Utf16BigEndianWithMark",
                 [](const std::string& p) {
                     Write(p, Utf16(u";\U0001F600\nA77==>NE\u00DC1\n", true, true));
                 },
                 std::nullopt, {{"A77", "NEÜ1"}}},
        FileCase{"Utf16WithoutMark",
                 [](const std::string& p) { Write(p, Utf16(u"A77==>NEU1\r\n", false, false)); },
                 Why::kUtf16WithoutBom, {}},
        FileCase{"Utf16WithALoneSurrogate",
                 [](const std::string& p) {
                     Write(p, Utf16(u"A77==>NEU1\r\n", false, true) + std::string("\x00\xD8", 2));
                 },
                 Why::kNotText, {}},
        FileCase{"Binary",
                 [](const std::string& p) {
                     Write(p, std::string("PK\x03\x04\x14\x00\x06\x00", 8) + "A77==>X");
                 },
                 Why::kNotText, {}},
        FileCase{"Folder", [](const std::string& p) { std::filesystem::create_directory(p); },
                 Why::kFolder, {}},
        FileCase{"Fifo", [](const std::string& p) { ASSERT_TRUE(testsupport::MakeFifo(p)); },
                 Why::kNotRegularFile, {}}),
    [](const auto& param) { return std::string(param.param.name); });
