// Formatting rectangles of cells: bold and number formats. Each cell gets the cell format that
// copies its own with the one property changed; cells that do not exist take their row's or
// column's format first, so that formatting an empty area keeps what the row or column gave it.

#include "Utf.h"
#include "WorkbookState.h"

#include <algorithm>
#include <unordered_map>

namespace workbookfile {

namespace {

// Formatting a rectangle gives each of its cells a record; refuse areas that would exhaust memory.
constexpr long long kMaxFormattedCells = 64ll * 1024 * 1024;

template <typename StyleMap>
void restyleCells(Worksheet::Impl& sheet, int firstRow, int firstColumn, int lastRow, int lastColumn,
                  StyleMap& map) {
    SheetModel& model = sheet.model;
    std::unordered_map<std::uint32_t, std::uint32_t> memo;
    auto mapped = [&](std::uint32_t style) {
        auto it = memo.find(style);
        if (it != memo.end())
            return it->second;
        std::uint32_t s = map(style);
        memo.emplace(style, s);
        return s;
    };
    mapped(0); // may throw before anything changed
    model.row(lastRow);
    const auto first = std::uint16_t(firstColumn - 1);
    const auto last = std::uint16_t(lastColumn - 1);
    std::vector<Cell> segment;
    for (int r = firstRow; r <= lastRow; ++r) {
        std::uint32_t rowStyle = 0;
        const bool rowFormatted = rowFormat(model, r, rowStyle);
        std::vector<Cell>& cells = model.rows[std::size_t(r - 1)].cells;
        auto from = lowerColumn(cells, first);
        auto to = lowerColumn(cells, std::uint16_t(last + 1));
        auto existing = from;
        segment.clear();
        for (std::uint32_t col = first; col <= last; ++col) {
            if (existing != to && existing->column == col) {
                Cell cell = *existing++;
                cell.style = mapped(cell.style);
                segment.push_back(cell);
            } else {
                // A cell that does not exist has the format of its row or column.
                const std::uint32_t style =
                    rowFormatted ? rowStyle : columnStyle(sheet.columnFormats, int(col) + 1);
                Cell cell;
                cell.column = std::uint16_t(col);
                cell.kind = CellKind::Empty;
                cell.index = 0;
                cell.style = mapped(style);
                if (cell.style != style)
                    segment.push_back(cell);
            }
        }
        replaceSegment(cells, from, to, segment);
    }
}

template <typename StyleMap>
void restyle(Workbook::Impl& wb, Worksheet::Impl& sheet, int firstRow, int firstColumn, int lastRow,
             int lastColumn, StyleMap&& map) {
    checkRectangle(wb, firstRow, firstColumn, lastRow, lastColumn);
    if ((long long)(lastRow - firstRow + 1) * (lastColumn - firstColumn + 1) > kMaxFormattedCells)
        throw Error(ErrorKind::LimitExceeded, "The range to format is too large: format at most " +
                                                  std::to_string(kMaxFormattedCells) + " cells at once.");
    CellChange area{firstRow, firstColumn, lastRow, lastColumn};
    area.formatsOnly = true;
    wb.changeCells(sheet, area,
                   [&] { restyleCells(sheet, firstRow, firstColumn, lastRow, lastColumn, map); });
}

} // namespace

void Worksheet::setBold(int firstRow, int firstColumn, int lastRow, int lastColumn, bool bold) {
    Workbook::Impl& wb = d->workbook->impl();
    restyle(wb, *d, firstRow, firstColumn, lastRow, lastColumn,
            [&](std::uint32_t style) { return wb.styles.withBold(style, bold); });
}

void Worksheet::setNumberFormat(int firstRow, int firstColumn, int lastRow, int lastColumn,
                                std::string_view formatCode) {
    if (formatCode.empty())
        throw Error(ErrorKind::InvalidArgument, "A number format cannot be empty.");
    if (utf16Length(formatCode) < 0)
        throw Error(ErrorKind::InvalidArgument, "The number format is not valid UTF-8.");
    if (utf16Length(formatCode) > 255)
        throw Error(ErrorKind::LimitExceeded, "A number format has at most 255 characters.");
    // XML cannot hold control characters in an attribute: the style sheet would not read.
    if (std::any_of(formatCode.begin(), formatCode.end(), [](char c) { return std::uint8_t(c) < 0x20; }))
        throw Error(ErrorKind::InvalidArgument, "A number format cannot hold control characters.");
    Workbook::Impl& wb = d->workbook->impl();
    restyle(wb, *d, firstRow, firstColumn, lastRow, lastColumn,
            [&](std::uint32_t style) { return wb.styles.withNumberFormat(style, formatCode); });
}

} // namespace workbookfile
