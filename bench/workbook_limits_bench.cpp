// Peak memory of form workbooks at the reader's limits (ooxml::ReadLimits):
// each workbook is the 2018 template grown to one limit (or to all of them at
// once), read by `mwst-vts dump` and read, changed and written back by
// `mwst-batch insert-keys` on a demo mandate. Every run is a whole process;
// its peak resident memory comes from wait4. A program, not a test: it prints
// its figures (bench/README.md).
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "workbook/OoxmlReader.h"
#include "workbook/XmlBounds.h"
#include "workbook/ZipArchive.h"

namespace fs = std::filesystem;

namespace {

using Parts = std::map<std::string, std::string>;

const ooxml::ReadLimits kLimits;
const char* const kSheet3 = "xl/worksheets/sheet3.xml";
const char* const kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

fs::path BinDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

Parts TemplateParts() {
    const fs::path path = BinDir() / "mwst" / "MWST2018eff.vts";
    ZipReader zip(ReadFile(path), path.string());
    Parts parts;
    for (const std::string& name : zip.Names()) parts[name] = zip.Read(name).value();
    return parts;
}

std::string Zip(const Parts& parts) {
    ZipWriter zip;
    for (const auto& [name, content] : parts) zip.Add(name, content);
    return zip.Finish();
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

size_t CellsOf(const Parts& parts) {
    size_t cells = 0;
    for (const auto& [name, content] : parts)
        if (name.rfind("xl/worksheets/", 0) == 0) cells += Count(content, "<c ");
    return cells;
}

// The nodes the reader counts: of every XML part it measures (the style
// sheet is kept as it is, unread).
size_t NodesOf(const Parts& parts) {
    size_t nodes = 0;
    for (const auto& [name, content] : parts) {
        const bool xml = name.size() > 4 && (name.ends_with(".xml") || name.ends_with(".rels"));
        if (xml && name != "xl/styles.xml") nodes += xmlbounds::Scan(content, {1u << 30, 1u << 30}).nodes;
    }
    return nodes;
}

// Sheet 3 holds the growth; its own cells are left out (the form does not
// need them to be converted).
std::string Worksheet(const std::string& rows, const std::string& tail = "") {
    return std::string("<worksheet xmlns=\"") + kMain + "\"><sheetData>" + rows + "</sheetData>" + tail +
           "</worksheet>";
}

// Rows of ten cells from row 100 on; `cell` gives a cell's content.
std::string Rows(size_t count, const std::function<std::string(size_t)>& cell) {
    std::string xml;
    for (size_t i = 0; i < count; ++i) {
        const size_t row = 100 + i / 10;
        if (i % 10 == 0) xml += "<row r=\"" + std::to_string(row) + "\">";
        xml += "<c r=\"" + std::string(1, static_cast<char>('A' + i % 10)) + std::to_string(row) + "\"" + cell(i) + "</c>";
        if (i % 10 == 9 || i + 1 == count) xml += "</row>";
    }
    return xml;
}

std::string InlineText(size_t i, size_t length) {
    std::string text = "Text " + std::to_string(i * 7919);
    text.resize(std::max(length, text.size()), 'x');
    return " t=\"inlineStr\"><is><t>" + text + "</t></is>";
}

void FillCells(Parts& parts, bool shared) {
    parts[kSheet3] = Worksheet("");
    const size_t count = kLimits.cells - CellsOf(parts);
    if (!shared) {
        parts[kSheet3] = Worksheet(Rows(count, [](size_t i) { return InlineText(i, 0); }));
        return;
    }
    std::string sst = std::string("<sst xmlns=\"") + kMain + "\">";
    for (size_t i = 0; i < count; ++i) sst += "<si><t>Gemeinsamer Text " + std::to_string(i * 7919) + "</t></si>";
    parts["xl/sharedStrings.xml"] = sst + "</sst>";
    std::string& rels = parts["xl/_rels/workbook.xml.rels"];
    rels.insert(rels.rfind("</Relationships>"),
                "<Relationship Id=\"rIdBench\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                "relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>");
    parts[kSheet3] = Worksheet(Rows(count, [](size_t i) { return " t=\"s\"><v>" + std::to_string(i) + "</v>"; }));
}

// Texts as long as the parts allow: the cells split between sheets 2 and 3,
// each part just below its limit.
void FillLongTexts(Parts& parts) {
    const char* const sheet2 = "xl/worksheets/sheet2.xml";
    parts[kSheet3] = parts[sheet2] = Worksheet("");
    const size_t half = (kLimits.cells - CellsOf(parts)) / 2;
    const size_t markup = Worksheet(Rows(half, [](size_t i) { return InlineText(i, 0); })).size();
    const size_t length = (kLimits.partBytes - markup) / half - 2;
    parts[sheet2] = parts[kSheet3] = Worksheet(Rows(half, [length](size_t i) { return InlineText(i, length); }));
}

// Empty elements, the most nodes per byte, after the cells of sheet 3 until
// the reader's node limit.
void FillNodes(Parts& parts) {
    const std::string& sheet = parts[kSheet3];
    const std::string rows = sheet.substr(sheet.find("<sheetData>") + 11, sheet.find("</sheetData>") - sheet.find("<sheetData>") - 11);
    parts[kSheet3] = Worksheet(rows, "<extLst></extLst>");
    std::string filler;
    for (size_t n = NodesOf(parts); n < kLimits.xmlNodes; ++n) filler += "<x/>";
    parts[kSheet3] = Worksheet(rows, "<extLst>" + filler + "</extLst>");
}

// Parts the model does not hold, up to the unpacked size of the package.
void FillBytes(Parts& parts) {
    size_t used = 0;
    for (const auto& [name, content] : parts) used += content.size();
    for (int i = 1; used < kLimits.packageBytes; ++i) {
        const size_t size = std::min(kLimits.partBytes, kLimits.packageBytes - used);
        std::string junk(size, '\0');
        uint64_t x = 88172645463325252u;  // xorshift: bytes that do not compress
        for (char& byte : junk) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            byte = static_cast<char>(x);
        }
        parts["xl/media/image" + std::to_string(i) + ".bin"] = std::move(junk);
        used += size;
    }
}

struct Run {
    double seconds = 0;
    long peakKb = 0;
    int status = 0;
};

Run Process(const std::string& program, const std::vector<std::string>& args) {
    const std::string path = (BinDir() / program).string();
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), usage.ru_maxrss,
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

struct Case {
    const char* name;
    std::function<void(Parts&)> grow;
};

struct Built {
    const char* name;
    fs::path mandate;
    size_t fileBytes, unpackedBytes, cells, nodes;
};

// The workbook as the demo bakery's form; nothing of it stays in this
// process's memory.
Built Build(const fs::path& root, const Case& c, int index) {
    Parts parts = TemplateParts();
    c.grow(parts);
    const std::string bytes = Zip(parts);
    size_t unpacked = 0;
    for (const auto& [name, content] : parts) unpacked += content.size();
    const fs::path tree = root / ("case" + std::to_string(index));
    Process("mwst-mandant", {"demo", tree.string()});
    const fs::path mandate = tree / "baeckerei-mueller";
    WriteFile(mandate / "MWSTFORM.VTS", bytes);
    return {c.name, mandate, bytes.size(), unpacked, CellsOf(parts), NodesOf(parts)};
}

void Measure(const Built& b) {
    const Run dump = Process("mwst-vts", {"dump", (b.mandate / "MWSTFORM.VTS").string()});
    const Run insert = Process("mwst-batch", {"insert-keys", "--yes", b.mandate.string()});
    std::printf("| %s | %.1f MB | %.1f MB | %zu | %zu | %.0f MB (%d) | %.0f MB, %.2f s (%d) |\n", b.name,
                static_cast<double>(b.fileBytes) / 1e6, static_cast<double>(b.unpackedBytes) / 1e6, b.cells, b.nodes,
                static_cast<double>(dump.peakKb) / 1024, dump.status, static_cast<double>(insert.peakKb) / 1024,
                insert.seconds, insert.status);
}

}  // namespace

int main() {
    const fs::path root = fs::temp_directory_path() / ("mwst-bench-limits-" + std::to_string(getpid()));
    fs::create_directories(root);
    const std::vector<Case> cases = {
        {"the 2018 template", [](Parts&) {}},
        {"text cells to the cell limit", [](Parts& p) { FillCells(p, false); }},
        {"cells on shared strings to the cell limit", [](Parts& p) { FillCells(p, true); }},
        {"long text cells to the cell limit, two parts to their size limit", [](Parts& p) { FillLongTexts(p); }},
        {"empty elements to the node limit", [](Parts& p) { FillNodes(p); }},
        {"parts the model does not hold to the size limit", [](Parts& p) { FillBytes(p); }},
        {"all at once: text cells, then nodes, then bytes",
         [](Parts& p) {
             FillCells(p, false);
             FillNodes(p);
             FillBytes(p);
         }},
        {"200,000 levels deep in a row (refused)",
         [](Parts& p) {
             std::string deep;
             for (int i = 0; i < 200000; ++i) deep += "<x>";
             for (int i = 0; i < 200000; ++i) deep += "</x>";
             p[kSheet3] = Worksheet("<row r=\"1\">" + deep + "</row>");
         }},
    };
    std::printf("Limits: %zu cells, %zu XML nodes, %zu levels, %zu MiB unpacked (%zu MiB a part)\n\n", kLimits.cells,
                kLimits.xmlNodes, kLimits.xmlDepth, kLimits.packageBytes >> 20, kLimits.partBytes >> 20);
    std::printf("| workbook | file | unpacked | cells | XML nodes | mwst-vts dump (status) | mwst-batch insert-keys (status) |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    std::vector<Built> built;
    for (size_t i = 0; i < cases.size(); ++i) built.push_back(Build(root, cases[i], static_cast<int>(i)));
    // A child's peak counts this process's memory at the fork: give it back first.
    malloc_trim(0);
    for (const Built& b : built) Measure(b);
    fs::remove_all(root);
    return 0;
}
