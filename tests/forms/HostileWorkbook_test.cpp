// Workbooks built to exhaust memory or time: each is refused early with a
// message naming the file, and a workbook exactly at a limit still reads.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "base/CException.h"
#include "forms/vcf/CVCF1.h"
#include "forms/vcf/OoxmlReader.h"
#include "forms/vcf/Workbook.h"
#include "forms/vcf/ZipArchive.h"
#include "tests/forms/TempDir.h"

namespace {

using Parts = std::map<std::string, std::string>;

const char* kMain = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";

std::string Rel(const std::string& id, const std::string& kind, const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" +
           kind + "\" Target=\"" + target + "\"/>";
}

std::string Rels(const std::string& body) {
    return R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" + body +
           "</Relationships>";
}

std::string Worksheet(const std::string& data) {
    return std::string("<worksheet ") + kMain + "><sheetData>" + data + "</sheetData></worksheet>";
}

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

std::string Zip(const Parts& parts) {
    ZipWriter zip;
    for (const auto& [name, content] : parts) zip.Add(name, content);
    return zip.Finish();
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
// the file and say what was exceeded.
void ExpectRefused(const std::string& bytes, const std::string& expected) {
    TempDir dir;
    std::string path = dir.File("hostile.vts");
    WriteBytes(path, bytes);
    CVCF1 vcf;
    short type = 0;
    auto start = std::chrono::steady_clock::now();
    try {
        vcf.Read(path, type);
        ADD_FAILURE() << "read without complaint; expected: " << expected;
    } catch (const CFileException& e) {
        std::string message = e.what();
        EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

size_t SheetCount(const std::string& bytes) {
    TempDir dir;
    WriteBytes(dir.File("ok.vts"), bytes);
    CVCF1 vcf;
    short type = 0;
    vcf.Read(dir.File("ok.vts"), type);
    return static_cast<size_t>(vcf.GetWorkbook().SheetCount());
}

TEST(HostileWorkbook, OneSheetPartNamedByManySheetsIsParsedOnceAndRefused) {
    // 1,024 sheets on one part of 200,000 cells: the old reader unpacked and
    // parsed that part once per sheet.
    ExpectRefused(Zip(Package(1024, true, Cells(200, 1000))),
                  "xl/worksheets/sheet1.xml: the part is referenced more than once");
}

TEST(HostileWorkbook, SheetCountAtTheLimitReadsOneMoreIsRefused) {
    const size_t limit = ooxml::ReadLimits().sheets;
    EXPECT_EQ(SheetCount(Zip(Package(static_cast<int>(limit)))), limit);
    ExpectRefused(Zip(Package(static_cast<int>(limit) + 1)), "more than 256 sheets");
}

TEST(HostileWorkbook, SharedStringsAtTheLimitReadOneMoreIsRefused) {
    const size_t limit = ooxml::ReadLimits().sharedStrings;
    EXPECT_EQ(SheetCount(Zip(Package(1, false, "", SharedStrings(limit)))), 1u);
    ExpectRefused(Zip(Package(1, false, "", SharedStrings(limit + 1))), "more than 1000000 shared strings");
}

TEST(HostileWorkbook, CellsAreCountedOverAllSheets) {
    ExpectRefused(Zip(Package(1, false, Cells(501, 1000))), "more than 500000 cells (in xl/worksheets/sheet1.xml)");
    ooxml::ReadLimits limits;
    limits.cells = 2000;
    Parts parts = Package(2, false, Cells(2, 1000));
    EXPECT_EQ(ooxml::ReadPackage(Zip(parts), "at-limit.vts", limits).SheetCount(), 2);
    parts["xl/worksheets/sheet2.xml"] = Worksheet(Cells(1, 1));
    try {
        ooxml::ReadPackage(Zip(parts), "over.vts", limits);
        ADD_FAILURE() << "2,001 cells read";
    } catch (const CFileException& e) {
        EXPECT_STREQ(e.what(), "over.vts: more than 2000 cells (in xl/worksheets/sheet2.xml); this is no VAT form workbook");
    }
}

TEST(HostileWorkbook, APartThatUnpacksTooFarIsRefusedWhileUnpacking) {
    Parts parts = Package(1);
    parts["xl/media/zeros.bin"] = std::string((32u << 20) + 1, '\0');  // compresses to a few KiB
    ExpectRefused(Zip(parts), "entry xl/media/zeros.bin unpacks to more than 32 MiB");
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
    try {
        ooxml::ReadPackage(Zip(parts), "over.vts", limits);
        ADD_FAILURE() << "read past the package limit";
    } catch (const CFileException& e) {
        EXPECT_EQ(std::string(e.what()), "over.vts: the parts unpack to more than " + std::to_string(used + 100) + " bytes");
    }
    // Three parts of 30 MiB each pass the part limit but not the package limit.
    Parts big = Package(1);
    for (const char* name : {"xl/media/1.bin", "xl/media/2.bin", "xl/media/3.bin"}) big[name] = std::string(30u << 20, 'x');
    ExpectRefused(Zip(big), "the parts unpack to more than 64 MiB");
}

TEST(HostileWorkbook, TooManyPartsAreRefusedBeforeAnyIsUnpacked) {
    Parts parts = Package(1);
    for (int i = 0; parts.size() <= ooxml::ReadLimits().parts; ++i) parts["xl/media/p" + std::to_string(i)] = "";
    ExpectRefused(Zip(parts), "more than 4096 parts");
    parts.erase("xl/media/p0");
    EXPECT_EQ(SheetCount(Zip(parts)), 1u);
}

}  // namespace
