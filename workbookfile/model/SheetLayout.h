#pragma once

// How a worksheet the engine made is laid out beyond its cells: the widths of its columns and the
// rows and columns frozen in view. A worksheet read from a file keeps its own layout in the records
// or XML it was read with; this one is written into the heads of new worksheets only.

#include <map>
#include <string_view>
#include <vector>

namespace workbookfile {

// The width unit of column widths: characters of the default font's digits (Calibri 11 has digits
// of 7 pixels), with 5 pixels of padding, as the spreadsheet stores them.
constexpr int kDigitPixels = 7;

struct SheetLayout {
    std::map<int, double> widths; // 1-based column -> width in characters
    int frozenRows = 0;
    int frozenColumns = 0;

    bool frozen() const { return frozenRows > 0 || frozenColumns > 0; }
};

// Neighbouring columns of the same width, as one record or element each.
struct WidthRun {
    int first = 0, last = 0; // 1-based
    double width = 0;
};
std::vector<WidthRun> widthRuns(const SheetLayout& layout);

// The width a column needs to show a text in the default font, in the spreadsheet's unit: the
// characters weighed by their shape (digits 1, narrow letters less, capitals and wide letters
// more), with room for a wider substitute font, rounded as the spreadsheet rounds its widths.
double columnWidthFor(double characters);
double textCharacters(std::string_view utf8, bool bold);
// The characters a number shown in a date or time format takes at most (every field at its
// widest), or -1 when the format shows no date or time.
double dateFormatCharacters(std::string_view formatCode);

} // namespace workbookfile
