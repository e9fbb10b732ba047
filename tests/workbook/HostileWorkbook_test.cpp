// Workbooks built to exhaust memory, time or the stack: each is refused early
// with a message naming the file, in the user's language, and a workbook
// exactly at a limit still reads.
#include <gtest/gtest.h>

#include <chrono>

#include "base/CException.h"
#include "core/Strings.h"
#include "workbook/CVCF1.h"
#include "workbook/OoxmlReader.h"
#include "workbook/OoxmlWriter.h"
#include "workbook/Workbook.h"
#include "workbook/WorkbookLimit.h"
#include "workbook/ZipArchive.h"
#include "res/Resource.h"
#include "tests/workbook/WorkbookFiles.h"

namespace {

using namespace workbooktest;

// `sheetCount` sheets, each on its own part unless `onePart`; `sheet1` is the
// first sheet's data; `strings` the shared strings part (none when empty).
Parts Package(int sheetCount, bool onePart = false, const std::string& sheet1 = "", const std::string& strings = "") {
    Parts parts;
    parts["_rels/.rels"] = Rels(Rel("rId1", "officeDocument", "xl/workbook.xml"));
    std::string sheets, rels;
    for (int i = 1; i <= sheetCount; ++i) {
        std::string n = std::to_string(i);
        std::string part = "worksheets/sheet" + (onePart ? std::string("1") : n) + ".xml";
        sheets += "<sheet name=\"S" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += Rel("rId" + n, "worksheet", part);
        parts["xl/" + part] = Worksheet(i == 1 ? sheet1 : "");
    }
    if (!strings.empty()) {
        rels += Rel("rIdS", "sharedStrings", "sharedStrings.xml");
        parts["xl/sharedStrings.xml"] = strings;
    }
    parts["xl/workbook.xml"] = std::string("<workbook ") + kMain + "><sheets>" + sheets + "</sheets></workbook>";
    parts["xl/_rels/workbook.xml.rels"] = Rels(rels);
    return parts;
}

std::string SharedStrings(size_t count) {
    std::string xml = R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)";
    for (size_t i = 0; i < count; ++i) xml += "<si/>";
    return xml + "</sst>";
}

// `rows` rows of `perRow` numeric cells without references.
std::string Cells(int rows, int perRow) {
    std::string xml;
    for (int r = 0; r < rows; ++r) {
        xml += "<row>";
        for (int c = 0; c < perRow; ++c) xml += "<c><v>1</v></c>";
        xml += "</row>";
    }
    return xml;
}

// Reads through CVCF1 from a file, as the program does; the message must name
// the file and say, in the user's language (German unless a test sets
// another), which limit was passed.
void ExpectRefused(const std::string& bytes, int textId, const std::string& expected) {
    TempDir dir;
    std::string path = dir.File("hostile.vts");
    WriteBytes(path, bytes);
    CVCF1 vcf;
    auto start = std::chrono::steady_clock::now();
    try {
        Load(vcf, path);
        ADD_FAILURE() << "read without complaint; expected: " << expected;
    } catch (const CWorkbookLimitException& e) {
        std::string message = e.what();
        EXPECT_EQ(e.TextId(), textId) << message;
        EXPECT_EQ(message.rfind(path, 0), 0u) << message;
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

size_t SheetCount(const std::string& bytes) {
    TempDir dir;
    WriteBytes(dir.File("ok.vts"), bytes);
    CVCF1 vcf;
    Load(vcf, dir.File("ok.vts"));
    return static_cast<size_t>(vcf.GetWorkbook().SheetCount());
}

TEST(HostileWorkbook, OneSheetPartNamedByManySheetsIsParsedOnceAndRefused) {
    // 1,024 sheets on one part of 20,000 cells: the old reader unpacked and
    // parsed that part once per sheet.
    TempDir dir;
    WriteBytes(dir.File("hostile.vts"), Zip(Package(1024, true, Cells(20, 1000))));
    CVCF1 vcf;
    const std::string message = ThrownMessage<CFileException>([&] { Load(vcf, dir.File("hostile.vts")); });
    EXPECT_NE(message.find("xl/worksheets/sheet1.xml"), std::string::npos) << message;
    EXPECT_NE(message.find("the part is referenced more than once"), std::string::npos) << message;
}

TEST(HostileWorkbook, SheetCountAtTheLimitReadsOneMoreIsRefused) {
    const size_t limit = ooxml::ReadLimits().sheets;
    EXPECT_EQ(SheetCount(Zip(Package(static_cast<int>(limit)))), limit);
    ExpectRefused(Zip(Package(static_cast<int>(limit) + 1)), IDS_WORKBOOK_TOO_MANY_SHEETS,
                  "mehr als 256 Tabellenblätter; die Datei ist kein MWST-Formular");
}

TEST(HostileWorkbook, SharedStringsAtTheLimitReadOneMoreIsRefused) {
    const size_t limit = ooxml::ReadLimits().sharedStrings;
    EXPECT_EQ(SheetCount(Zip(Package(1, false, "", SharedStrings(limit)))), 1u);
    ExpectRefused(Zip(Package(1, false, "", SharedStrings(limit + 1))), IDS_WORKBOOK_TOO_MANY_STRINGS,
                  "mehr als " + std::to_string(limit) + " gemeinsame Texte");
}

TEST(HostileWorkbook, CellsAreCountedOverAllSheets) {
    const size_t limit = ooxml::ReadLimits().cells;
    ExpectRefused(Zip(Package(1, false, Cells(static_cast<int>(limit / 1000) + 1, 1000))), IDS_WORKBOOK_TOO_MANY_CELLS,
                  "mehr als " + std::to_string(limit) + " Zellen (überschritten in xl/worksheets/sheet1.xml)");
    ooxml::ReadLimits limits;
    limits.cells = 2000;
    Parts parts = Package(2, false, Cells(2, 1000));
    EXPECT_EQ(ooxml::ReadPackage(Zip(parts), "at-limit.vts", limits).SheetCount(), 2);
    parts["xl/worksheets/sheet2.xml"] = Worksheet(Cells(1, 1));
    EXPECT_EQ(ThrownMessage<CFileException>([&] { ooxml::ReadPackage(Zip(parts), "over.vts", limits); }),
              "over.vts: mehr als 2000 Zellen (überschritten in xl/worksheets/sheet2.xml); die Datei ist kein "
              "MWST-Formular");
}

TEST(HostileWorkbook, APartThatUnpacksTooFarIsRefusedWhileUnpacking) {
    Parts parts = Package(1);
    parts["xl/media/zeros.bin"] = std::string(ooxml::ReadLimits().partBytes + 1, '\0');  // compresses to a few KiB
    ExpectRefused(Zip(parts), IDS_WORKBOOK_PART_TOO_LARGE, "der Teil xl/media/zeros.bin ergibt entpackt mehr als 8 MiB");
    parts["xl/media/zeros.bin"].pop_back();
    EXPECT_EQ(SheetCount(Zip(parts)), 1u);
}

TEST(HostileWorkbook, PartsTogetherAreLimited) {
    Parts parts = Package(1);
    ooxml::ReadLimits limits;
    size_t used = 0;
    for (const auto& [name, content] : parts) used += content.size();
    limits.packageBytes = used + 100;
    parts["xl/media/a.bin"] = std::string(100, 'a');
    EXPECT_EQ(ooxml::ReadPackage(Zip(parts), "at-limit.vts", limits).SheetCount(), 1);
    parts["xl/media/b.bin"] = "b";
    EXPECT_EQ(ThrownMessage<CFileException>([&] { ooxml::ReadPackage(Zip(parts), "over.vts", limits); }),
              "over.vts: die Teile ergeben entpackt mehr als " + std::to_string(used + 100) +
                  " B; die Datei ist kein MWST-Formular");
    // Three parts of 7 MiB each pass the part limit but not the package limit.
    Parts big = Package(1);
    for (const char* name : {"xl/media/1.bin", "xl/media/2.bin", "xl/media/3.bin"}) big[name] = std::string(7u << 20, 'x');
    ExpectRefused(Zip(big), IDS_WORKBOOK_TOO_LARGE, "die Teile ergeben entpackt mehr als 16 MiB");
}

TEST(HostileWorkbook, TooManyPartsAreRefusedBeforeAnyIsUnpacked) {
    Parts parts = Package(1);
    for (int i = 0; parts.size() <= ooxml::ReadLimits().parts; ++i) parts["xl/media/p" + std::to_string(i)] = "";
    ExpectRefused(Zip(parts), IDS_WORKBOOK_TOO_MANY_PARTS, "mehr als 4096 Teile");
    parts.erase("xl/media/p0");
    EXPECT_EQ(SheetCount(Zip(parts)), 1u);
}

// Elements nested `depth` deep.
std::string Nested(size_t depth) {
    std::string xml;
    xml.reserve(depth * 7);
    for (size_t i = 0; i < depth; ++i) xml += "<x>";
    for (size_t i = 0; i < depth; ++i) xml += "</x>";
    return xml;
}

// 200,000 levels: a file of a few KiB. Writing back such a sheet freed the
// old cell data level by level and overflowed the stack (SIGSEGV).
constexpr size_t kDeep = 200000;

struct DeepPart {
    const char* name;
    const char* part;
    void (*nest)(Parts&);
};

const DeepPart kDeepParts[] = {
    {"InARow", "xl/worksheets/sheet1.xml",
     [](Parts& p) { p["xl/worksheets/sheet1.xml"] = Worksheet("<row r=\"1\">" + Nested(kDeep) + "</row>"); }},
    {"InADefinedName", "xl/workbook.xml",
     [](Parts& p) {
         p["xl/workbook.xml"] = std::string("<workbook ") + kMain +
                                R"(><sheets><sheet name="S1" sheetId="1" r:id="rId1"/></sheets><definedNames>)"
                                R"(<definedName name="VERSION">)" +
                                Nested(kDeep) + "</definedName></definedNames></workbook>";
     }},
    {"InTheContentTypes", "[Content_Types].xml",
     [](Parts& p) {
         p["[Content_Types].xml"] = R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)" +
                                    Nested(kDeep) + "</Types>";
     }},
    {"InASharedString", "xl/sharedStrings.xml",
     [](Parts& p) {
         p["xl/sharedStrings.xml"] =
             R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><si>)" + Nested(kDeep) + "</si></sst>";
     }},
    {"InTheRelationships", "xl/_rels/workbook.xml.rels",
     [](Parts& p) {
         p["xl/_rels/workbook.xml.rels"] = Rels(Rel("rId1", "worksheet", "worksheets/sheet1.xml") +
                                               Rel("rIdS", "sharedStrings", "sharedStrings.xml") + Nested(kDeep));
     }},
};

class DeepNesting : public ::testing::TestWithParam<DeepPart> {};

TEST_P(DeepNesting, IsRefusedBeforeItIsParsed) {
    Parts parts = Package(1, false, "", SharedStrings(1));
    GetParam().nest(parts);
    const std::string bytes = Zip(parts);
    EXPECT_LT(bytes.size(), 16u << 10) << "a small file";
    ExpectRefused(bytes, IDS_WORKBOOK_TOO_DEEP,
                  std::string("Im Teil ") + GetParam().part + " sind Elemente tiefer als 64 Ebenen verschachtelt");
}

INSTANTIATE_TEST_SUITE_P(Parts, DeepNesting, ::testing::ValuesIn(kDeepParts),
                         [](const auto& param) { return std::string(param.param.name); });

// worksheet, sheetData and row are three levels.
TEST(HostileWorkbook, NestingAtTheDepthLimitReadsAndWritesBackOneMoreIsRefused) {
    const size_t limit = ooxml::ReadLimits().xmlDepth;
    Parts parts = Package(1, false, "<row r=\"1\">" + Nested(limit - 3) + "</row>");
    Workbook book = ooxml::ReadPackage(Zip(parts), "at-limit.vts");
    EXPECT_EQ(ooxml::ReadPackage(ooxml::WritePackage(book), "again.vts").SheetCount(), 1);
    parts = Package(1, false, "<row r=\"1\">" + Nested(limit - 2) + "</row>");
    ExpectRefused(Zip(parts), IDS_WORKBOOK_TOO_DEEP, "tiefer als " + std::to_string(limit) + " Ebenen");
}

TEST(HostileWorkbook, TheReasonComesInTheUsersLanguage) {
    Parts parts = Package(1, false, "<row r=\"1\">" + Nested(kDeep) + "</row>");
    SetProcessPreferredUILanguages("fr-CH");
    ExpectRefused(Zip(parts), IDS_WORKBOOK_TOO_DEEP,
                  "dans la partie xl/worksheets/sheet1.xml, des éléments sont imbriqués sur plus de 64 niveaux ; "
                  "le fichier n'est pas un formulaire TVA");
    SetProcessPreferredUILanguages("de-CH");
}

// Thousands of "<x/>" cost more as a tree than as text; the nodes of all parts
// count together, and the part that passes the limit is named.
TEST(HostileWorkbook, XmlNodesAreCountedOverAllParts) {
    ooxml::ReadLimits limits;
    limits.xmlNodes = 4000;
    std::string many;
    for (int i = 0; i < 1500; ++i) many += "<x/>";
    Parts parts = Package(2);
    parts["xl/worksheets/sheet1.xml"] = Worksheet("") + "<!-- " + many + many + " -->";
    parts["xl/worksheets/sheet2.xml"] = std::string("<worksheet ") + kMain + "><sheetData/><extLst>" + many + "</extLst></worksheet>";
    EXPECT_EQ(ooxml::ReadPackage(Zip(parts), "within.vts", limits).SheetCount(), 2) << "a comment builds no nodes";
    parts["xl/worksheets/sheet1.xml"] = std::string("<worksheet ") + kMain + "><sheetData/><extLst>" + many + many + "</extLst></worksheet>";
    try {
        ooxml::ReadPackage(Zip(parts), "over.vts", limits);
        ADD_FAILURE() << "read past the node limit";
    } catch (const CWorkbookLimitException& e) {
        EXPECT_EQ(e.TextId(), IDS_WORKBOOK_TOO_MANY_NODES);
        EXPECT_STREQ(e.what(), "over.vts: mehr als 4000 XML-Knoten (Elemente, Attribute und Texte; überschritten in "
                               "xl/worksheets/sheet2.xml); die Datei ist kein MWST-Formular");
    }
}

}  // namespace
