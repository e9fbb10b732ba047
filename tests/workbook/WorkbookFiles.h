#pragma once
// Helpers of the workbook tests: OOXML packages built part by part, a workbook
// file read into the control, the locked cells of a sheet, the message a call
// throws, and a limit on the size of written files that stands in for a full
// disk.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <pugixml.hpp>

#include <csignal>
#include <map>
#include <string>
#include <vector>

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

// The cells of a worksheet part that a protected sheet keeps from input, by
// reference: those whose format (cellXfs of the style sheet part) is locked,
// and those without a format, which LibreOffice gives its locked default style.
// Both the values we write ("0") and those LibreOffice writes ("false") count.
inline std::vector<std::string> LockedCells(const std::string& sheetXml, const std::string& stylesXml) {
    pugi::xml_document sheet, styles;
    EXPECT_TRUE(sheet.load_string(sheetXml.c_str()));
    EXPECT_TRUE(styles.load_string(stylesXml.c_str()));
    std::vector<bool> unlocked;
    for (pugi::xml_node xf : styles.document_element().child("cellXfs").children("xf")) {
        const std::string_view locked = xf.child("protection").attribute("locked").value();
        unlocked.push_back(locked == "0" || locked == "false");
    }
    std::vector<std::string> cells;
    for (pugi::xml_node row : sheet.document_element().child("sheetData").children("row"))
        for (pugi::xml_node c : row.children("c")) {
            const pugi::xml_attribute s = c.attribute("s");
            if (!s || s.as_uint() >= unlocked.size() || !unlocked[s.as_uint()]) cells.push_back(c.attribute("r").value());
        }
    return cells;
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
