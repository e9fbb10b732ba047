// The installed form templates read as forms: column widths, formatted amounts,
// bold titles, one A4 page in portrait per sheet; sheets 1 to 3 name no key,
// so a spreadsheet program shows 0.00 where it cannot compute the mapping
// sheet; the mapping sheet shows its key sums as formulas on one A4 page in
// landscape, and keeps showing them so after the program saved the workbook.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <regex>
#include <set>

#include "workbook/CVCF1.h"
#include "workbook/CellFormats.h"
#include "workbook/Workbook.h"
#include "workbook/ZipArchive.h"
#include "tests/workbook/WorkbookFiles.h"

namespace {

const char* const kTemplates[] = {"MWST2018eff", "MWST2018pau", "_MWST2018eff", "_MWST2018pau",
                                  "MWST2024eff", "MWST2024pau", "_MWST2024eff", "_MWST2024pau"};

class Template : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        workbooktest::Load(form, std::string(MWST_TEST_BIN_DIR) + "/mwst/" + GetParam() + ".vts");
    }
    const Workbook& Book() const { return form.GetWorkbook(); }

    // The key parts of the mapping sheet's formulas.
    std::set<std::string> MappingKeys() const {
        std::set<std::string> keys;
        const std::regex term("[^+]+");
        for (const auto& [pos, cell] : Book().SheetAt(4).Cells()) {
            if (cell.kind != Cell::Kind::Formula) continue;
            for (std::sregex_iterator it(cell.text.begin(), cell.text.end(), term), end; it != end; ++it)
                keys.insert(it->str().substr(0, it->str().find('_')));
        }
        return keys;
    }

    CVCF1 form;
};

TEST_P(Template, FormSheetsNameNoKeyAndReadTheMappingSheetGuarded) {
    const std::set<std::string> keys = MappingKeys();
    ASSERT_FALSE(keys.empty());
    const std::regex guarded(R"(IF\(ISERROR\(Zuordnung!([A-Z]+[0-9]+)\),0,Zuordnung!\1\))");
    const std::regex word("[A-Za-z_][A-Za-z0-9_]*");
    for (long s = 1; s <= 3; ++s) {
        for (const auto& [pos, cell] : Book().SheetAt(s).Cells()) {
            if (cell.kind != Cell::Kind::Formula) continue;
            const std::string rest = std::regex_replace(cell.text, guarded, "0");
            EXPECT_EQ(rest.find("Zuordnung!"), std::string::npos) << "sheet " << s << ": " << cell.text;
            for (std::sregex_iterator it(cell.text.begin(), cell.text.end(), word), end; it != end; ++it)
                EXPECT_EQ(keys.count(it->str()), 0u) << "sheet " << s << " names the key " << it->str();
        }
    }
}

TEST_P(Template, FormSheetsHaveWidthsFormatsAndOneA4PagePortrait) {
    for (long s = 1; s <= 3; ++s) {
        const Sheet& sheet = Book().SheetAt(s);
        ASSERT_NE(sheet.Origin(), nullptr) << s;
        const std::string& xml = sheet.Origin()->xml;
        EXPECT_NE(xml.find("<cols><col "), std::string::npos) << s;
        EXPECT_NE(xml.find(R"(<pageSetUpPr fitToPage="1"/>)"), std::string::npos) << s;
        EXPECT_NE(xml.find(R"(paperSize="9" orientation="portrait" fitToWidth="1" fitToHeight="1")"), std::string::npos)
            << s;
        // Every figure read from the mapping sheet or computed from it is an amount.
        for (const auto& [pos, cell] : sheet.Cells()) {
            if (cell.kind != Cell::Kind::Formula || cell.text.find("Zuordnung!") == std::string::npos) continue;
            const int format = sheet.Format(pos);
            EXPECT_TRUE(format == *cellformats::FromName("amount") || format == *cellformats::FromName("total"))
                << "sheet " << s << " row " << pos.row << " col " << pos.col;
        }
    }
    const Sheet& first = Book().SheetAt(1);
    EXPECT_EQ(first.Format({1, 1}), *cellformats::FromName("title"));
    int bold = 0;
    for (const auto& [pos, format] : first.Formats()) bold += format == *cellformats::FromName("bold");
    EXPECT_GE(bold, 1) << "section titles";
    const std::string styles = Book().Origin()->parts.at("xl/styles.xml");
    EXPECT_NE(styles.find(R"(formatCode="#,##0.00")"), std::string::npos);
}

// Labels and key sums are not cut, and the sheet prints on one page.
TEST_P(Template, MappingSheetHasWidthsAndOneA4PageLandscape) {
    const Sheet& mapping = Book().SheetAt(4);
    EXPECT_EQ(mapping.Name(), "Zuordnung");
    EXPECT_TRUE(mapping.Formats().empty()) << "the program writes its cells without formats";
    const std::string& xml = mapping.Origin()->xml;
    for (const char* col : {"1", "2", "3", "4"})
        EXPECT_NE(xml.find(std::string(R"(<col min=")") + col + R"(" max=")" + col + R"(" width=")"), std::string::npos)
            << "column " << col;
    EXPECT_NE(xml.find(R"(<pageSetUpPr fitToPage="1"/>)"), std::string::npos);
    EXPECT_NE(xml.find(R"(paperSize="9" orientation="landscape" fitToWidth="1" fitToHeight="1")"), std::string::npos);
    EXPECT_FALSE(form.GetDefinedName("VERSION").empty());
}

// The program loads a form locked and saves it with every sheet in the editing
// state (formulas shown, zeros hidden: forms/MwstSheet.cpp). What a spreadsheet
// program shows stays the template's: amounts of 0.00 and no formulas on the
// form sheets, the key sums as formulas on the mapping sheet.
TEST_P(Template, AfterTheProgramsSaveFormSheetsShowValuesAndZerosMappingSheetFormulas) {
    for (long s = 1; s <= 4; ++s) {
        form.SetSheet(s);
        form.SetShowFormulas(true);
        form.SetShowZeroValues(false);
    }
    form.SetSheet(1);
    TempDir dir;
    const std::string saved = dir.File("saved.vts");
    form.Write(saved, CVCF1::kFileTypeOoxml);

    workbooktest::Parts zip = workbooktest::Unzip(saved);
    for (long s = 1; s <= 4; ++s) {
        SCOPED_TRACE("sheet " + std::to_string(s));
        const std::string part = "xl/worksheets/sheet" + std::to_string(s) + ".xml";
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(zip[part].c_str())) << part;
        const pugi::xml_node view = doc.document_element().child("sheetViews").child("sheetView");
        ASSERT_TRUE(view);
        EXPECT_STREQ(view.attribute("showFormulas").value(), s == 4 ? "1" : "0");
        EXPECT_STREQ(view.attribute("showZeros").value(), "1");
    }
    CVCF1 again;
    workbooktest::Load(again, saved);
    again.SetSheet(2);
    EXPECT_EQ(again.GetViewProperty("ShowFormulas"), 1) << "the control's own state comes back";
    EXPECT_EQ(again.GetViewProperty("ShowZeroValues"), 0);
}

INSTANTIATE_TEST_SUITE_P(Installed, Template, ::testing::ValuesIn(kTemplates),
                         [](const auto& param) {
                             const std::string name = param.param;
                             return name[0] == '_' ? "Abstimmung" + name.substr(1) : name;
                         });

}  // namespace
