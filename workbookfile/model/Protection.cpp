// The spreadsheet refuses to change locked cells of a protected worksheet and to add or rename
// sheets of a workbook whose structure is protected; so does the engine, before anything changes.
// A cell is locked unless its format says otherwise; a cell that does not exist yet has the format
// of its row or column.

#include "WorkbookState.h"

#include <algorithm>

namespace workbookfile {

namespace {

// The first column of first..last (0-based) not among the row's cells, or -1 when all are there.
int firstGap(const std::vector<Cell>& cells, int first, int last) {
    auto it = std::lower_bound(cells.begin(), cells.end(), first,
                               [](const Cell& c, int column) { return int(c.column) < column; });
    int expected = first;
    for (; it != cells.end() && int(it->column) <= last; ++it, ++expected)
        if (int(it->column) != expected)
            return expected;
    return expected <= last ? expected : -1;
}

} // namespace

void Workbook::Impl::checkCellsWritable(const Worksheet::Impl& sheet, int firstRow, int firstColumn,
                                        int lastRow, int lastColumn, bool formatting) const {
    if (!sheet.protection.cells || (formatting && !sheet.protection.formats))
        return;
    auto refuse = [&](int row, int column) {
        throw Error(ErrorKind::Protected, "Cannot change the cell " + columnName(column) +
                                              std::to_string(row) + " of the worksheet \"" + sheet.name +
                                              "\": the worksheet is protected and the cell is locked.");
    };
    // Columns (0-based ranges) whose cells are locked where they do not exist yet.
    std::vector<std::pair<int, int>> lockedColumns;
    const auto& formats = sheet.columnFormats; // sorted, not overlapping
    for (int c = firstColumn; c <= lastColumn;) {
        auto next = std::lower_bound(formats.begin(), formats.end(), c,
                                     [](const ColumnFormat& f, int column) { return f.last < column; });
        std::uint32_t style = 0;
        int end = next == formats.end() ? lastColumn : next->first - 1;
        if (next != formats.end() && next->first <= c) {
            style = next->style;
            end = next->last;
        }
        end = std::min(end, lastColumn);
        if (styles.isLocked(style)) {
            if (!lockedColumns.empty() && lockedColumns.back().second == c - 2)
                lockedColumns.back().second = end - 1;
            else
                lockedColumns.emplace_back(c - 1, end - 1);
        }
        c = end + 1;
    }
    const SheetModel& model = sheet.model;
    const int modelRows = int(model.rows.size());
    for (int r = firstRow; r <= std::min(lastRow, modelRows); ++r) {
        const std::vector<Cell>& cells = model.rows[std::size_t(r - 1)].cells;
        auto from = std::lower_bound(cells.begin(), cells.end(), firstColumn - 1,
                                     [](const Cell& c, int column) { return int(c.column) < column; });
        for (auto it = from; it != cells.end() && int(it->column) < lastColumn; ++it)
            if (styles.isLocked(it->style))
                refuse(r, it->column + 1);
        std::uint32_t style = 0;
        if (rowFormat(model, r, style)) {
            if (!styles.isLocked(style))
                continue;
            if (int gap = firstGap(cells, firstColumn - 1, lastColumn - 1); gap >= 0)
                refuse(r, gap + 1);
            continue;
        }
        for (const auto& [first, last] : lockedColumns)
            if (int gap = firstGap(cells, first, last); gap >= 0)
                refuse(r, gap + 1);
    }
    if (lastRow > modelRows && !lockedColumns.empty())
        refuse(std::max(firstRow, modelRows + 1), lockedColumns.front().first + 1);
}

void Workbook::Impl::checkStructureUnlocked(const std::string& refused) const {
    if (structureLocked)
        throw Error(ErrorKind::Protected,
                    "Cannot " + refused + ": the structure of the workbook \"" + path + "\" is protected.");
}

} // namespace workbookfile
