#pragma once
#include <compare>
#include <string>

// Position of a cell on a sheet; rows and columns count from 1. Ordered by row,
// then column, so a sheet's cells iterate in the order OOXML stores them.
struct CellPos {
    long row = 0;
    long col = 0;
    auto operator<=>(const CellPos&) const = default;
};

// One cell's content. A formula keeps its text exactly as entered and may carry
// the result last stored with it (a number or a text), which is what is shown.
struct Cell {
    enum class Kind { Empty = 0, Text = 1, Number = 2, Formula = 3 };
    enum class Cached { None, Number, Text };

    Kind kind = Kind::Empty;
    std::string text;    // Text: the text; Formula: the formula text
    double number = 0;   // Number: the value; Formula with Cached::Number: the result
    Cached cached = Cached::None;
    std::string cachedText;  // Formula with Cached::Text: the result

    static Cell MakeText(std::string value) {
        Cell c;
        c.kind = Kind::Text;
        c.text = std::move(value);
        return c;
    }
    static Cell MakeNumber(double value) {
        Cell c;
        c.kind = Kind::Number;
        c.number = value;
        return c;
    }
    static Cell MakeFormula(std::string formula) {
        Cell c;
        c.kind = Kind::Formula;
        c.text = std::move(formula);
        return c;
    }
    Cell& WithCachedNumber(double value) {
        cached = Cached::Number;
        number = value;
        return *this;
    }
    Cell& WithCachedText(std::string value) {
        cached = Cached::Text;
        cachedText = std::move(value);
        return *this;
    }

    bool operator==(const Cell&) const = default;
};
