#pragma once
#include <string_view>

// Namespaces, relationship and content types and part names of the packages we
// write. Our own view part uses a type of ours so other programs skip it.
namespace ooxml {

inline constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr std::string_view kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr std::string_view kContentTypesNs = "http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr std::string_view kViewNs = "urn:mwst-konvertierung:view:2024";

inline constexpr std::string_view kRelOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr std::string_view kRelWorksheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
inline constexpr std::string_view kRelStyles =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr std::string_view kRelView = "urn:mwst-konvertierung:relationships:view";

// Readers match relationship types by their last segment, so the strict OOXML
// namespaces (purl.oclc.org) are understood as well.
inline constexpr std::string_view kRelSuffixOfficeDocument = "/officeDocument";
inline constexpr std::string_view kRelSuffixWorksheet = "/worksheet";
inline constexpr std::string_view kRelSuffixSharedStrings = "/sharedStrings";

inline constexpr std::string_view kTypeRels = "application/vnd.openxmlformats-package.relationships+xml";
inline constexpr std::string_view kTypeWorkbook =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
inline constexpr std::string_view kTypeWorksheet =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
inline constexpr std::string_view kTypeStyles =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
inline constexpr std::string_view kTypeView = "application/vnd.mwst-konvertierung.view+xml";

inline constexpr std::string_view kPartContentTypes = "[Content_Types].xml";
inline constexpr std::string_view kPartRootRels = "_rels/.rels";
inline constexpr std::string_view kPartWorkbook = "xl/workbook.xml";
inline constexpr std::string_view kPartWorkbookRels = "xl/_rels/workbook.xml.rels";
inline constexpr std::string_view kPartStyles = "xl/styles.xml";
inline constexpr std::string_view kPartView = "xl/mwstView.xml";

}  // namespace ooxml
