// mwst-vts: shows a .VTS workbook as text and builds workbooks from such text,
// so the VAT form templates can be written and reviewed as plain files.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "base/CException.h"
#include "base/RegularFile.h"
#include "forms/tools/WorkbookText.h"
#include "forms/vcf/CVCF1.h"
#include "forms/vcf/FileIo.h"
#include "forms/vcf/Workbook.h"

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "usage: mwst-vts dump FILE          print the workbook FILE as text\n"
    "       mwst-vts build FILE [TEXT]  write the workbook FILE from TEXT (default: standard input)\n";

int Dump(const std::string& path) {
    CVCF1 vcf;
    short type = 0;
    vcf.Read(path, type);
    std::cout << workbooktext::Print(vcf.GetWorkbook()) << std::flush;
    if (!std::cout) throw CFileException("cannot write to standard output");
    return 0;
}

std::string ReadText(const std::string& source) {
    if (source == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::string text, error;
    if (!regularfile::ReadWhole(source, text, error, fileio::kMaxFileSize)) throw CFileException(error);
    return text;
}

int Build(const std::string& path, const std::string& source) {
    std::string text = ReadText(source);
    CVCF1 vcf;
    try {
        vcf.GetWorkbook() = workbooktext::Parse(text);
    } catch (const workbooktext::ParseError& e) {
        throw CFileException((source == "-" ? "<stdin>" : source) + ":" + std::to_string(e.Line()) + ": " +
                             e.Reason() + "; nothing written");
    }
    vcf.Write(path, CVCF1::kFileTypeOoxml);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        std::cout << kUsageText;
        return 0;
    }
    bool dump = command == "dump" && argc == 3;
    bool build = command == "build" && (argc == 3 || argc == 4);
    if (!dump && !build) {
        std::cerr << kUsageText;
        return kUsage;
    }
    try {
        return dump ? Dump(argv[2]) : Build(argv[2], argc == 4 ? argv[3] : "-");
    } catch (const CException& e) {
        std::cerr << "mwst-vts: " << e.what() << "\n";
        return kFailure;
    } catch (const std::exception& e) {
        std::cerr << "mwst-vts: unexpected failure: " << e.what() << "\n";
        return kFailure;
    }
}
