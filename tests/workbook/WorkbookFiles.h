#pragma once
// Helpers of the workbook tests: OOXML packages built part by part, a workbook
// file read into the control, the message a call throws, and a limit on the
// size of written files that stands in for a full disk.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <map>
#include <string>

#include "workbook/CVCF1.h"
#include "workbook/ZipArchive.h"
#include "tests/support/TempDir.h"

namespace workbooktest {

// Part name -> content.
using Parts = std::map<std::string, std::string>;

inline const char* const kMain = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                                 R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";

inline std::string Rels(const std::string& body) {
    return R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" + body +
           "</Relationships>";
}

inline std::string Rel(const std::string& id, const std::string& kind, const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" +
           kind + "\" Target=\"" + target + "\"/>";
}

inline std::string Worksheet(const std::string& data, const std::string& views = "") {
    return std::string("<worksheet ") + kMain + ">" + views + "<sheetData>" + data + "</sheetData></worksheet>";
}

inline std::string Zip(const Parts& parts) {
    ZipWriter zip;
    for (const auto& [name, content] : parts) zip.Add(name, content);
    return zip.Finish();
}

inline Parts Unzip(const std::string& path) {
    ZipReader zip(ReadBytes(path), path);
    Parts parts;
    for (const std::string& name : zip.Names()) parts[name] = *zip.Read(name);
    return parts;
}

// Reads the workbook file into `book` as the program does.
inline void Load(CVCF1& book, const std::string& path) {
    short type = 0;
    book.Read(path, type);
}

// The message of the E that `call` throws; a failure (and "") when it throws none.
template <typename E, typename Fn>
std::string ThrownMessage(Fn&& call) {
    try {
        call();
    } catch (const E& e) {
        return e.what();
    }
    ADD_FAILURE() << "no exception";
    return "";
}

// While it lives, no file may grow beyond `bytes`: a write fails half-way (also
// for root) with EFBIG, as on a full disk; SIGXFSZ is ignored meanwhile.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_), 0);
        struct rlimit limited = saved_;
        limited.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    void (*oldHandler_)(int);
    struct rlimit saved_ {};
};

}  // namespace workbooktest
