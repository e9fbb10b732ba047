// mwst-vts: shows a .VTS workbook as text and builds workbooks from such text,
// so the VAT form templates can be written and reviewed as plain files.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/CException.h"
#include "base/RegularFile.h"
#include "cli/CommandLine.h"
#include "workbook/tools/WorkbookText.h"
#include "workbook/CVCF1.h"
#include "workbook/FileIo.h"
#include "workbook/Workbook.h"

namespace {

constexpr const char* kProgram = "mwst-vts";

const char* const kUsageText =
    "usage: mwst-vts dump FILE          print the workbook FILE as text\n"
    "       mwst-vts build FILE [TEXT]  write the workbook FILE from TEXT (default or \"-\": standard input)\n"
    "       mwst-vts --help | --version\n";

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

int UsageError(const std::string& message) {
    std::cerr << kProgram << ": " << message << "\n" << kUsageText;
    return mwstcli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    const mwstcli::StandardOptions standard;
    QCommandLineParser parser;
    standard.AddTo(parser);
    if (!parser.parse(mwstcli::Arguments(kProgram, std::vector<std::string>(argv + 1, argv + argc))))
        return UsageError(mwstcli::Bytes(parser.errorText()));
    if (parser.isSet(standard.help)) {
        std::cout << kUsageText;
        return 0;
    }
    if (parser.isSet(standard.version)) {
        std::cout << mwstcli::VersionLine(kProgram);
        return 0;
    }
    std::vector<std::string> args;
    for (const QString& arg : parser.positionalArguments()) args.push_back(mwstcli::Bytes(arg));
    const std::string command = args.empty() ? std::string() : args[0];
    const bool dump = command == "dump" && args.size() == 2;
    const bool build = command == "build" && (args.size() == 2 || args.size() == 3);
    if (!dump && !build) {
        if (command.empty()) return UsageError("no command given");
        if (command != "dump" && command != "build") return UsageError("unknown command '" + command + "'");
        return UsageError("wrong number of arguments for " + command);
    }
    try {
        return dump ? Dump(args[1]) : Build(args[1], args.size() == 3 ? args[2] : "-");
    } catch (const CException& e) {
        std::cerr << kProgram << ": " << e.what() << "\n";
        return mwstcli::kExitFailed;
    } catch (const std::exception& e) {
        std::cerr << kProgram << ": unexpected failure: " << e.what() << "\n";
        return mwstcli::kExitFailed;
    }
}
