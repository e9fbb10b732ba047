// The flat pass that measures an XML part before it is parsed: it must never
// count fewer levels or nodes than the parser builds, whatever the markup or
// the encoding.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <string>

#include "workbook/XmlBounds.h"

namespace {

using xmlbounds::Verdict;

// UTF-16LE of an ASCII text; `odd` inserts one character U+2F3C, whose bytes
// read "</" to a scan that looks at bytes.
std::string Utf16le(const std::string& ascii, size_t oddAt = std::string::npos) {
    std::string bytes = "\xFF\xFE";
    for (size_t i = 0; i < ascii.size(); ++i) {
        if (i == oddAt) bytes += std::string("\x3C\x2F", 2);
        bytes += ascii[i];
        bytes += '\0';
    }
    return bytes;
}

struct Case {
    const char* name;
    std::string xml;
    size_t depth;  // the bound on levels
    Verdict verdict;
    size_t nodes;  // counted, when within the bounds
};

const Case kCases[] = {
    {"TwoLevels", "<a><b/></a>", 2, Verdict::Within, 2},
    {"TwoLevelsOverOne", "<a><b></b></a>", 1, Verdict::TooDeep, 0},
    {"SelfClosedOpensNoLevel", "<a><b/><c/></a>", 1, Verdict::Within, 3},
    {"AttributesAndText", R"(<a x="1" y='2'>text</a>)", 1, Verdict::Within, 4},
    {"QuotedMarkupIsNoMarkup", R"(<a x="/>" y='<b>'><c/></a>)", 1, Verdict::Within, 4},
    {"SlashInAValueDoesNotCloseTheTag", R"(<a x="/"><b></b></a>)", 1, Verdict::TooDeep, 0},
    {"CommentsBuildNothing", "<a><!-- <b><c><d> --></a>", 1, Verdict::Within, 1},
    {"CdataIsOneNode", "<a><![CDATA[<b><c>]]></a>", 1, Verdict::Within, 2},
    {"DeclarationAndInstructions", R"(<?xml version="1.0"?><a><?pi <b>?></a>)", 1, Verdict::Within, 1},
    {"DocumentType", "<!DOCTYPE a [<!ELEMENT a ANY>]><a/>", 8, Verdict::DocumentType, 0},
    {"Utf16", Utf16le("<a><b><c/></b></a>"), 2, Verdict::Within, 3},
    {"Utf16OverTheBound", Utf16le("<a><b><c/></b></a>"), 1, Verdict::TooDeep, 0},
    // A byte scan would take U+2F3C for "</" and close <b> early.
    {"Utf16CharacterWithMarkupBytes", Utf16le("<a><b>x<c></c></b></a>", 6), 2, Verdict::TooDeep, 0},
};

class Scan : public ::testing::TestWithParam<Case> {};

TEST_P(Scan, CountsLevelsAndNodes) {
    const Case& c = GetParam();
    const xmlbounds::Measure measure = xmlbounds::Scan(c.xml, {c.depth, 1000});
    EXPECT_EQ(measure.verdict, c.verdict);
    if (c.verdict == Verdict::Within) {
        EXPECT_EQ(measure.nodes, c.nodes);
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_buffer(c.xml.data(), c.xml.size(), pugi::parse_default | pugi::parse_ws_pcdata,
                                    measure.encoding))
            << "the parser reads it in the encoding the scan found";
    }
}

INSTANTIATE_TEST_SUITE_P(Markup, Scan, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ScanNodes, StopsAtTheBound) {
    std::string xml = "<a>";
    for (int i = 0; i < 100; ++i) xml += "<b/>";
    xml += "</a>";
    EXPECT_EQ(xmlbounds::Scan(xml, {4, 101}).verdict, Verdict::Within);
    EXPECT_EQ(xmlbounds::Scan(xml, {4, 100}).verdict, Verdict::TooManyNodes);
}

}  // namespace
