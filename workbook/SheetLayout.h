#pragma once
#include <map>
#include <string>

// Column widths and page set-up of a sheet built from text (mwst-vts): they
// become the skeleton of its worksheet part, which the writer completes with
// the sheet view and the cells, as it does with the part of a sheet read from
// a file.
struct SheetLayout {
    static constexpr int kPaperA4 = 9;  // OOXML paper size codes
    static constexpr int kPaperA3 = 8;
    static constexpr int kPaperLetter = 1;

    std::map<long, double> columnWidths;  // column -> width in characters
    int paperSize = 0;                    // 0: no page set-up
    bool landscape = false;
    bool fitToOnePage = false;

    bool Empty() const { return columnWidths.empty() && paperSize == 0; }
};

// The worksheet part holding the layout and no cells.
std::string SheetLayoutXml(const SheetLayout& layout);
