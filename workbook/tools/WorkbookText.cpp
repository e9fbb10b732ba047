#include "workbook/tools/WorkbookText.h"

#include <charconv>
#include <optional>
#include <set>
#include <vector>

#include "workbook/CVCF1.h"
#include "workbook/CellFormats.h"
#include "workbook/CellRef.h"
#include "workbook/NumberText.h"
#include "workbook/SheetLayout.h"
#include "workbook/TextRules.h"
#include "workbook/Workbook.h"

namespace workbooktext {
namespace {

// ---- Printing ----------------------------------------------------------------

void PrintValue(std::string& out, Cell::Cached kind, double number, const std::string& text) {
    if (kind == Cell::Cached::Number) out += "number " + numbertext::Exact(number);
    if (kind == Cell::Cached::Text) out += "text " + Quote(text);
}

void PrintCell(std::string& out, CellPos pos, const Cell& cell) {
    out += "cell " + std::to_string(pos.row) + " " + std::to_string(pos.col) + " ";
    switch (cell.kind) {
    case Cell::Kind::Text:
        out += "text " + Quote(cell.text);
        break;
    case Cell::Kind::Number:
        out += "number " + numbertext::Exact(cell.number);
        break;
    case Cell::Kind::Formula:
        out += "formula " + Quote(cell.text);
        if (cell.cached != Cell::Cached::None) {
            out += " cached ";
            PrintValue(out, cell.cached, cell.number, cell.cachedText);
        }
        break;
    case Cell::Kind::Empty:
        break;
    }
    out += '\n';
}

std::string PrintSelection(const std::string& selection) {
    return selection.find(' ') == std::string::npos ? selection : Quote(selection);
}

// ---- Parsing -------------------------------------------------------------------

struct Token {
    std::string text;
    bool quoted = false;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits a line into words and quoted strings; "#" outside a string ends it.
std::vector<Token> Tokenize(std::string_view line, int lineNo) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        Token token;
        if (line[i] != '"') {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') token.text += line[i++];
            tokens.push_back(token);
            continue;
        }
        token.quoted = true;
        ++i;
        for (;; ++i) {
            if (i >= line.size()) throw ParseError(lineNo, "string without closing quote");
            char c = line[i];
            if (c == '"') break;
            if (c != '\\') {
                token.text += c;
                continue;
            }
            if (++i >= line.size()) throw ParseError(lineNo, "string ends in a backslash");
            switch (line[i]) {
            case '\\': token.text += '\\'; break;
            case '"': token.text += '"'; break;
            case 't': token.text += '\t'; break;
            case 'n': token.text += '\n'; break;
            case 'r': token.text += '\r'; break;
            case 'x': {
                int hi = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
                int lo = i + 2 < line.size() ? HexDigit(line[i + 2]) : -1;
                if (hi < 0 || lo < 0) throw ParseError(lineNo, "\\x needs two hex digits");
                token.text += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                throw ParseError(lineNo, std::string("unknown escape \\") + line[i]);
            }
        }
        ++i;
        if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#')
            throw ParseError(lineNo, "a blank must follow a closing quote");
        tokens.push_back(token);
    }
    return tokens;
}

class Parser {
public:
    Workbook Run(std::string_view text);

private:
    [[noreturn]] void Fail(const std::string& message) const { throw ParseError(line_, message); }

    void Statement(const std::vector<Token>& t);
    void Expect(const std::vector<Token>& t, size_t min, size_t max, const char* usage) const;
    long Integer(const Token& token, long min, long max, const char* what) const;
    double Number(const Token& token) const;
    const std::string& String(const Token& token, const char* what) const;
    Sheet& Current();
    void SheetStatement(const std::vector<Token>& t);
    void NameSheets();
    void ViewStatement(const std::vector<Token>& t);
    void CellStatement(const std::vector<Token>& t);
    void FormatStatement(const std::vector<Token>& t);
    void ColumnStatement(const std::vector<Token>& t);
    void PageStatement(const std::vector<Token>& t);
    void ApplyLayouts();
    CellPos Position(const std::vector<Token>& t, size_t& next) const;
    Cell CellValue(const std::vector<Token>& t, size_t next) const;

    // Turns the model's CInvalidArgException into an error on this line.
    template <typename Fn>
    void Checked(Fn fn) {
        try {
            fn();
        } catch (const CInvalidArgException& e) {
            Fail(e.what());
        }
    }

    int line_ = 0;
    bool started_ = false;
    Workbook workbook_;
    long current_ = 0;
    long active_ = 1;
    int activeLine_ = 0;
    std::set<long> sheetsSeen_;
    std::map<long, std::pair<std::string, int>> names_;  // sheet -> name, line
    std::map<CellPos, int> cellLines_;  // of the current sheet
    std::set<std::string> namesSeen_;
    std::map<long, SheetLayout> layouts_;  // by sheet
    std::set<long> pagesSeen_;
};

// Formats of this many cells at most per statement; a form needs far fewer.
constexpr long kMaxFormatCells = 100000;
constexpr double kMaxColumnWidth = 255;

void Parser::Expect(const std::vector<Token>& t, size_t min, size_t max, const char* usage) const {
    if (t.size() < min || t.size() > max) Fail(std::string("expected: ") + usage);
}

long Parser::Integer(const Token& token, long min, long max, const char* what) const {
    long value = 0;
    const std::string& s = token.text;
    auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    if (token.quoted || s.empty() || result.ec != std::errc() || result.ptr != s.data() + s.size())
        Fail(std::string(what) + " \"" + s + "\" is not a whole number");
    if (value < min || value > max)
        Fail(std::string(what) + " " + s + " is out of range " + std::to_string(min) + ".." + std::to_string(max));
    return value;
}

double Parser::Number(const Token& token) const {
    auto value = numbertext::Parse(token.text);
    if (token.quoted || !value) Fail("\"" + token.text + "\" is not a number");
    return *value;
}

const std::string& Parser::String(const Token& token, const char* what) const {
    if (!token.quoted) Fail(std::string(what) + " must be a quoted string, got " + token.text);
    return token.text;
}

Sheet& Parser::Current() {
    if (current_ == 0) Fail("this statement belongs to a sheet; put a 'sheet' line before it");
    return workbook_.SheetAt(current_);
}

void Parser::SheetStatement(const std::vector<Token>& t) {
    Expect(t, 2, 3, "sheet NUMBER [\"NAME\"]");
    long index = Integer(t[1], 1, Workbook::kMaxSheetCount, "sheet number");
    if (!sheetsSeen_.insert(index).second) Fail("sheet " + std::to_string(index) + " appears twice");
    if (index > workbook_.SheetCount()) workbook_.SetSheetCount(index);
    current_ = index;
    cellLines_.clear();
    if (t.size() == 3) {
        const std::string& name = String(t[2], "the sheet name");
        Checked([&] { textrules::RequireSheetName(name); });
        for (const auto& [other, named] : names_)
            if (textrules::SameSheetName(named.first, name))
                Fail("sheet name \"" + name + "\" is already used by sheet " + std::to_string(other));
        names_[index] = {name, line_};
    }
}

// Names are applied at the end, so the text may swap names between sheets.
void Parser::NameSheets() {
    std::vector<std::string> names;
    for (long i = 1; i <= workbook_.SheetCount(); ++i) {
        auto named = names_.find(i);
        if (named != names_.end()) {
            names.push_back(named->second.first);
            continue;
        }
        std::string fallback = "Sheet" + std::to_string(i);
        for (const auto& [other, taken] : names_)
            if (textrules::SameSheetName(taken.first, fallback))
                throw ParseError(taken.second, "sheet " + std::to_string(other) + " takes the name \"" + fallback +
                                                   "\" that unnamed sheet " + std::to_string(i) +
                                                   " has; give sheet " + std::to_string(i) + " a name");
        names.push_back(fallback);
    }
    workbook_.RenameSheets(names);
}

void Parser::ViewStatement(const std::vector<Token>& t) {
    Expect(t, 3, 3, "view PROPERTY VALUE");
    auto prop = ViewProperties::FromName(t[1].text);
    if (!prop || t[1].quoted) Fail("unknown view property \"" + t[1].text + "\"");
    const auto& info = ViewProperties::InfoOf(*prop);
    Current().View().Set(*prop, static_cast<int>(Integer(t[2], info.minValue, info.maxValue, info.name.data())));
}

CellPos Parser::Position(const std::vector<Token>& t, size_t& next) const {
    if (!t[1].quoted && !t[1].text.empty() && t[1].text[0] >= 'A') {
        auto pos = cellref::Parse(t[1].text);
        if (!pos) Fail("\"" + t[1].text + "\" is not a cell such as B3");
        next = 2;
        return *pos;
    }
    if (t.size() < 4) Fail("expected: cell ROW COL KIND VALUE");
    CellPos pos{Integer(t[1], 1, CVCF1::kMaxRow, "row"), Integer(t[2], 1, CVCF1::kMaxCol, "column")};
    next = 3;
    return pos;
}

Cell Parser::CellValue(const std::vector<Token>& t, size_t next) const {
    const char* usage = "cell ROW COL text \"TEXT\" | number N | formula \"FORMULA\" [cached number N | cached text \"TEXT\"]";
    if (t.size() != next + 2 && t.size() != next + 5) Fail(std::string("expected: ") + usage);
    const std::string& kind = t[next].text;
    const Token& value = t[next + 1];
    bool plain = t.size() == next + 2;
    if (kind == "text" && plain) return Cell::MakeText(String(value, "the text"));
    if (kind == "number" && plain) return Cell::MakeNumber(Number(value));
    if (kind != "formula") Fail(std::string("expected: ") + usage);
    Cell cell = Cell::MakeFormula(String(value, "the formula"));
    if (plain) return cell;
    if (t[next + 2].text != "cached") Fail(std::string("expected: ") + usage);
    const std::string& cachedKind = t[next + 3].text;
    if (cachedKind == "number") return cell.WithCachedNumber(Number(t[next + 4]));
    if (cachedKind == "text") return cell.WithCachedText(String(t[next + 4], "the cached text"));
    Fail("a cached result is \"number N\" or \"text \\\"TEXT\\\"\"");
}

void Parser::CellStatement(const std::vector<Token>& t) {
    Expect(t, 4, 8, "cell ROW COL KIND VALUE");
    size_t next = 0;
    CellPos pos = Position(t, next);
    Cell cell = CellValue(t, next);
    Sheet& sheet = Current();
    if (auto seen = cellLines_.find(pos); seen != cellLines_.end())
        Fail("cell " + cellref::Format(pos) + " was already set on line " + std::to_string(seen->second));
    Checked([&] { sheet.Put(pos, std::move(cell)); });
    cellLines_[pos] = line_;
}

// format RANGE NAME: every cell of the range gets the named format.
void Parser::FormatStatement(const std::vector<Token>& t) {
    Expect(t, 3, 3, "format RANGE NAME");
    const std::string& range = t[1].text;
    const size_t colon = range.find(':');
    auto first = cellref::Parse(range.substr(0, colon));
    auto last = colon == std::string::npos ? first : cellref::Parse(range.substr(colon + 1));
    if (t[1].quoted || !first || !last || last->row < first->row || last->col < first->col)
        Fail("\"" + range + "\" is not a cell or range such as B3 or B3:D9");
    if ((last->row - first->row + 1) * (last->col - first->col + 1) > kMaxFormatCells)
        Fail("range " + range + " holds more than " + std::to_string(kMaxFormatCells) + " cells");
    auto format = cellformats::FromName(t[2].text);
    if (t[2].quoted || !format) {
        std::string names;
        for (const auto& named : cellformats::All()) names += (names.empty() ? "" : ", ") + std::string(named.name);
        Fail("unknown format \"" + t[2].text + "\"; formats are " + names);
    }
    Sheet& sheet = Current();
    for (long row = first->row; row <= last->row; ++row)
        for (long col = first->col; col <= last->col; ++col) sheet.SetFormat({row, col}, *format);
}

// column COLS width W: the width of one column or of a span ("B:D").
void Parser::ColumnStatement(const std::vector<Token>& t) {
    Expect(t, 4, 4, "column COLUMNS width WIDTH");
    Current();
    const std::string& cols = t[1].text;
    const size_t colon = cols.find(':');
    auto first = cellref::ParseColumn(cols.substr(0, colon));
    auto last = colon == std::string::npos ? first : cellref::ParseColumn(cols.substr(colon + 1));
    if (t[1].quoted || !first || !last || *last < *first) Fail("\"" + cols + "\" is not a column such as B or B:D");
    if (t[2].text != "width" || t[2].quoted) Fail("expected: column COLUMNS width WIDTH");
    const double width = Number(t[3]);
    if (!(width > 0 && width <= kMaxColumnWidth)) Fail("column width " + t[3].text + " is out of range (0, 255]");
    for (long col = *first; col <= *last; ++col) layouts_[current_].columnWidths[col] = width;
}

// page PAPER ORIENTATION [fit]: print settings; fit prints the sheet on one page.
void Parser::PageStatement(const std::vector<Token>& t) {
    const char* usage = "page A4|A3|letter portrait|landscape [fit]";
    Expect(t, 3, 4, usage);
    Current();
    if (!pagesSeen_.insert(current_).second) Fail("the sheet has a page line already");
    SheetLayout& layout = layouts_[current_];
    const std::string& paper = t[1].text;
    if (paper == "A4") layout.paperSize = SheetLayout::kPaperA4;
    else if (paper == "A3") layout.paperSize = SheetLayout::kPaperA3;
    else if (paper == "letter") layout.paperSize = SheetLayout::kPaperLetter;
    else Fail(std::string("expected: ") + usage);
    if (t[2].text != "portrait" && t[2].text != "landscape") Fail(std::string("expected: ") + usage);
    layout.landscape = t[2].text == "landscape";
    if (t.size() == 4 && t[3].text != "fit") Fail(std::string("expected: ") + usage);
    layout.fitToOnePage = t.size() == 4;
}

// The layouts become the skeletons of the sheets' parts.
void Parser::ApplyLayouts() {
    for (const auto& [index, layout] : layouts_)
        workbook_.SheetAt(index).SetOrigin(
            std::make_shared<SheetOrigin>(SheetOrigin{"", "", SheetLayoutXml(layout), {}}));
}

void Parser::Statement(const std::vector<Token>& t) {
    const std::string& keyword = t[0].text;
    if (!started_) {
        if (keyword != "workbook" || t[0].quoted || t.size() != 1) Fail("the text must begin with 'workbook'");
        started_ = true;
        return;
    }
    if (t[0].quoted) Fail("a statement begins with a keyword, not a string");
    if (keyword == "active") {
        Expect(t, 2, 2, "active SHEET");
        active_ = Integer(t[1], 1, Workbook::kMaxSheetCount, "active sheet");
        activeLine_ = line_;
    } else if (keyword == "sheet") {
        SheetStatement(t);
    } else if (keyword == "selection") {
        Expect(t, 2, 2, "selection RANGE");
        Checked([&] { Current().SetSelection(t[1].text); });
    } else if (keyword == "view") {
        ViewStatement(t);
    } else if (keyword == "cell") {
        CellStatement(t);
    } else if (keyword == "format") {
        FormatStatement(t);
    } else if (keyword == "column") {
        ColumnStatement(t);
    } else if (keyword == "page") {
        PageStatement(t);
    } else if (keyword == "protect") {
        Expect(t, 2, 2, "protect structure");
        if (t[1].text != "structure") Fail("expected: protect structure");
        Current().SetStructureProtected(true);
    } else if (keyword == "name") {
        Expect(t, 3, 3, "name NAME \"DEFINITION\"");
        if (!namesSeen_.insert(t[1].text).second) Fail("name " + t[1].text + " appears twice");
        const std::string& definition = String(t[2], "the definition");
        Checked([&] { workbook_.SetDefinedName(t[1].text, definition); });
    } else if (keyword == "workbook") {
        Fail("'workbook' may appear only once, at the beginning");
    } else {
        Fail("unknown statement \"" + keyword + "\"");
    }
}

Workbook Parser::Run(std::string_view text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        ++line_;
        auto tokens = Tokenize(text.substr(start, end - start), line_);
        if (!tokens.empty()) Checked([&] { Statement(tokens); });
        start = end + 1;
    }
    if (!started_) throw ParseError(line_ + 1, "the text is empty; it must begin with 'workbook'");
    if (active_ > workbook_.SheetCount())
        throw ParseError(activeLine_, "active sheet " + std::to_string(active_) + " does not exist");
    NameSheets();
    ApplyLayouts();
    workbook_.SetActiveSheet(active_);
    return workbook_;
}

}  // namespace

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (ch) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                const char* hex = "0123456789ABCDEF";
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

std::string Print(const Workbook& wb) {
    std::string out = "workbook\nactive " + std::to_string(wb.ActiveSheet()) + "\n";
    for (long i = 1; i <= wb.SheetCount(); ++i) {
        const Sheet& sheet = wb.SheetAt(i);
        out += "\nsheet " + std::to_string(i) + " " + Quote(sheet.Name()) + "\n";
        out += "selection " + PrintSelection(sheet.Selection()) + "\n";
        for (const auto& info : ViewProperties::All())
            out += "view " + std::string(info.name) + " " + std::to_string(sheet.View().Get(info.prop)) + "\n";
        if (sheet.StructureProtected()) out += "protect structure\n";
        for (const auto& [pos, cell] : sheet.Cells()) PrintCell(out, pos, cell);
    }
    if (!wb.DefinedNames().empty()) out += "\n";
    for (const auto& [name, definition] : wb.DefinedNames()) out += "name " + name + " " + Quote(definition) + "\n";
    return out;
}

Workbook Parse(std::string_view text) { return Parser().Run(text); }

}  // namespace workbooktext
