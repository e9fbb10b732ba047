// The workbook reader at XML level: the input is the XML of the parts, put
// into an otherwise valid package, so the fuzzer spends its time in the
// parser and the cell reader rather than in zip checksums. Parts in the input
// are separated by a line "--part--", in this order: sheet, shared strings,
// workbook, our view part; a part left out gets a plain default.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/CException.h"
#include "workbook/OoxmlReader.h"
#include "workbook/OoxmlWriter.h"
#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"

namespace {

constexpr std::string_view kSeparator = "\n--part--\n";

const char* const kRels =
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>)"
    R"(</Relationships>)";
const char* const kWorkbookRels =
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
    R"(<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>)"
    R"(<Relationship Id="rId4" Type="urn:mwst-konvertierung:relationships:view" Target="mwstView.xml"/>)"
    R"(</Relationships>)";
const char* const kDefaults[] = {
    R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData/></worksheet>)",
    R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"/>)",
    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<sheets><sheet name="Tabelle1" sheetId="1" r:id="rId2"/></sheets></workbook>)",
    R"(<mwstView xmlns="urn:mwst-konvertierung:view:2024"/>)",
};
const char* const kNames[] = {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/workbook.xml", "xl/mwstView.xml"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    while (parts.size() < 4) {
        std::size_t end = input.find(kSeparator);
        parts.emplace_back(input.substr(0, end));
        if (end == std::string_view::npos) break;
        input.remove_prefix(end + kSeparator.size());
    }
    try {
        ZipWriter zip;
        zip.Add("_rels/.rels", kRels);
        zip.Add("xl/_rels/workbook.xml.rels", kWorkbookRels);
        for (std::size_t i = 0; i < 4; ++i)
            zip.Add(kNames[i], i < parts.size() && !parts[i].empty() ? parts[i] : kDefaults[i]);
        Workbook book = ooxml::ReadPackage(zip.Finish(), "fuzz.vts");
        ooxml::ReadPackage(ooxml::WritePackage(book), "fuzz-again.vts");
    } catch (const CException&) {
    }
    return 0;
}
