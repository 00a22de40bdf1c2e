#include "ValueBlockData.h"
#include "WorkbookState.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <unordered_map>

namespace workbookfile {

void checkRectangle(const Workbook::Impl& wb, int firstRow, int firstColumn, int lastRow, int lastColumn) {
    const int maxRows = wb.self->maxRows(), maxColumns = wb.self->maxColumns();
    if (firstRow < 1 || firstColumn < 1 || lastRow > maxRows || lastColumn > maxColumns ||
        firstRow > lastRow || firstColumn > lastColumn)
        throw Error(lastRow > maxRows || lastColumn > maxColumns ? ErrorKind::LimitExceeded
                                                                 : ErrorKind::InvalidArgument,
                    "The range of rows " + std::to_string(firstRow) + " to " + std::to_string(lastRow) +
                        " and columns " + std::to_string(firstColumn) + " to " + std::to_string(lastColumn) +
                        " lies outside the worksheet (rows 1 to " + std::to_string(maxRows) +
                        ", columns 1 to " + std::to_string(maxColumns) + ").");
}

namespace {

// Days from 1899-12-30, where date serials of the 1900 date system count from, to 1904-01-01.
constexpr double kDays1900To1904 = 1462.0;

// The calendar day of a serial of the 1900 date system, as YYYY-MM-DD.
std::string dateText(double serial) {
    // Days since 1970-01-01, then the civil date in the proleptic Gregorian calendar.
    long long z = (long long)std::floor(serial) - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yoe + era * 400 + (month <= 2);
    char text[80];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", year, month, day);
    return text;
}

// Notes a kept cell about to be overwritten or cleared when it leads a formula group.
void noteGroupLead(const Worksheet::Impl& sheet, const RawCell& raw, std::size_t row, std::uint16_t column,
                   FormulaGroupLeads& leads) {
    std::string group = sheet.codec->formulaGroupOf(raw);
    if (!group.empty())
        leads[group] = FormulaGroupLead{row, column, raw};
}

// Puts the block's cells into the worksheet's model, their texts into the shared strings and
// their dates into date formats.
void putCells(Workbook::Impl& wb, Worksheet::Impl& sheet, int row, int column, const ValueBlock::Data& b,
              double dateShift) {
    const long long lastRow = (long long)row + b.rows - 1, lastColumn = (long long)column + b.columns - 1;
    SheetModel& model = sheet.model;

    // Strings get their shared index once, however often the block refers to them.
    std::vector<std::uint32_t> textIndex(b.texts.size());
    std::vector<bool> used(b.texts.size(), false);
    for (const BlockCell& c : b.cells)
        if (c.kind == BlockKind::Text)
            used[c.text] = true;
    for (std::size_t i = 0; i < b.texts.size(); ++i)
        if (used[i])
            textIndex[i] = wb.strings.intern(b.texts[i]);

    std::unordered_map<std::uint32_t, std::uint32_t> dateStyle[2];
    auto dateStyleFor = [&](std::uint32_t style, bool withTime) {
        if (!wb.styles.isGeneral(style))
            return style;
        auto& memo = dateStyle[withTime];
        auto it = memo.find(style);
        if (it != memo.end())
            return it->second;
        std::uint32_t s = wb.styles.withDateFormat(style, withTime);
        memo.emplace(style, s);
        return s;
    };

    model.row(int(lastRow));
    FormulaGroupLeads orphanedGroups;
    std::vector<Cell> segment;
    segment.reserve(std::size_t(b.columns));
    const auto first = std::uint16_t(column - 1);
    const auto last = std::uint16_t(lastColumn - 1);
    for (int r = 0; r < b.rows; ++r) {
        std::uint32_t rowStyle = 0;
        const bool rowFormatted = rowFormat(model, row + r, rowStyle);
        std::vector<Cell>& cells = model.rows[std::size_t(row - 1 + r)].cells;
        auto from = cells.empty() || cells.back().column < first ? cells.end() : lowerColumn(cells, first);
        auto to = from == cells.end() ? from : lowerColumn(cells, std::uint16_t(last + 1));
        auto existing = from;
        segment.clear();
        const BlockCell* src = &b.cells[std::size_t(r) * std::size_t(b.columns)];
        for (int c = 0; c < b.columns; ++c) {
            auto col = std::uint16_t(first + c);
            std::uint32_t style = 0;
            const bool exists = existing != to && existing->column == col;
            if (!exists) {
                // A new cell takes the format of its row or column, as in the spreadsheet.
                style = rowFormatted ? rowStyle : columnStyle(sheet.columnFormats, col + 1);
            } else {
                style = existing->style;
                if (existing->kind == CellKind::Raw)
                    noteGroupLead(sheet, model.raws[existing->index], std::size_t(row - 1 + r), col,
                                  orphanedGroups);
                ++existing;
            }
            Cell cell;
            cell.column = col;
            cell.style = style;
            switch (src[c].kind) {
            case BlockKind::Empty:
                if (!exists || !style)
                    continue;
                cell.kind = CellKind::Empty;
                cell.index = 0;
                break;
            case BlockKind::Number:
                cell.kind = CellKind::Number;
                cell.number = src[c].number;
                break;
            case BlockKind::Date:
                cell.kind = CellKind::Number;
                cell.number = src[c].number - dateShift;
                cell.style = dateStyleFor(style, src[c].number != std::floor(src[c].number));
                break;
            case BlockKind::Text:
                cell.kind = CellKind::Text;
                cell.index = textIndex[src[c].text];
                break;
            case BlockKind::Boolean:
                cell.kind = CellKind::Boolean;
                cell.index = src[c].number != 0.0;
                break;
            }
            segment.push_back(cell);
        }
        replaceSegment(cells, from, to, segment);
    }
    if (!orphanedGroups.empty())
        sheet.codec->dropOrphanedFormulas(model, orphanedGroups);
}

} // namespace

Worksheet::Worksheet(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
Worksheet::~Worksheet() = default;

const std::string& Worksheet::name() const {
    return d->name;
}

void Worksheet::rename(std::string_view newName) {
    d->workbook->impl().renameSheet(*this, newName);
}

int Worksheet::position() const {
    return d->workbook->impl().positionOf(this);
}

int Worksheet::sheetPosition() const {
    return d->workbook->impl().tabPositionOf(this);
}

Workbook& Worksheet::workbook() const {
    return *d->workbook;
}

void Worksheet::putBlock(int row, int column, const ValueBlock& block) {
    const ValueBlock::Data& b = block.data();
    long long lastRow = (long long)row + b.rows - 1, lastColumn = (long long)column + b.columns - 1;
    const int maxRows = d->workbook->maxRows(), maxColumns = d->workbook->maxColumns();
    if (row < 1 || column < 1 || lastRow > maxRows || lastColumn > maxColumns)
        throw Error(row < 1 || column < 1 ? ErrorKind::InvalidArgument : ErrorKind::LimitExceeded,
                    "A block of " + std::to_string(b.rows) + " x " + std::to_string(b.columns) +
                        " values at row " + std::to_string(row) + ", column " + std::to_string(column) +
                        " does not fit in the worksheet (rows 1 to " + std::to_string(maxRows) +
                        ", columns 1 to " + std::to_string(maxColumns) + ").");
    Workbook::Impl& wb = d->workbook->impl();
    const double dateShift = wb.date1904 ? kDays1900To1904 : 0.0;
    if (wb.date1904)
        for (const BlockCell& c : b.cells)
            if (c.kind == BlockKind::Date && c.number < dateShift)
                throw Error(ErrorKind::InvalidArgument, "The date " + dateText(c.number) +
                                                            " cannot be written into the workbook \"" +
                                                            wb.path + "\": it counts dates from 1904-01-01.");
    wb.changeCells(*d, {row, column, int(lastRow), int(lastColumn)},
                   [&] { putCells(wb, *d, row, column, b, dateShift); });
}

void Worksheet::clear() {
    Workbook::Impl& wb = d->workbook->impl();
    wb.changeCells(*d, {}, [&] {
        d->codec->clearSheetExtras(wb, *d);
        d->model.clear();
        d->columnFormats.clear(); // clearing took them from the columns
    });
}

void Worksheet::clearRange(int firstRow, int firstColumn, int lastRow, int lastColumn) {
    Workbook::Impl& wb = d->workbook->impl();
    checkRectangle(wb, firstRow, firstColumn, lastRow, lastColumn);
    wb.changeCells(*d, {firstRow, firstColumn, lastRow, lastColumn}, [&] {
        auto& rows = d->model.rows;
        const auto first = std::uint16_t(firstColumn - 1);
        const auto last = std::uint16_t(lastColumn - 1);
        FormulaGroupLeads orphanedGroups;
        for (std::size_t r = std::size_t(firstRow - 1); r < rows.size() && r < std::size_t(lastRow); ++r) {
            std::vector<Cell>& cells = rows[r].cells;
            auto from = lowerColumn(cells, first), to = lowerColumn(cells, std::uint16_t(last + 1));
            for (auto it = from; it != to; ++it)
                if (it->kind == CellKind::Raw)
                    noteGroupLead(*d, d->model.raws[it->index], r, it->column, orphanedGroups);
            cells.erase(from, to);
        }
        if (!orphanedGroups.empty())
            d->codec->dropOrphanedFormulas(d->model, orphanedGroups);
    });
}

CellInfo Worksheet::cell(int row, int column) const {
    Workbook::Impl& wb = d->workbook->impl();
    checkRectangle(wb, row, column, row, column);
    wb.ensureLoaded(*d);
    CellInfo info;
    const Cell* cell = d->model.find(row, column);
    if (!cell)
        return info;
    info.bold = wb.styles.isBold(cell->style);
    info.numberFormat = wb.styles.numberFormat(cell->style);
    switch (cell->kind) {
    case CellKind::Empty:
        break;
    case CellKind::Number:
        info.type = CellType::Number;
        info.number = cell->number;
        break;
    case CellKind::Text:
        info.type = CellType::Text;
        if (cell->index < wb.strings.size())
            info.text = wb.strings.text(cell->index);
        break;
    case CellKind::Boolean:
        info.type = CellType::Boolean;
        info.boolean = cell->index != 0;
        break;
    case CellKind::Raw:
        d->codec->describeCell(d->model.raws[cell->index], info);
        break;
    }
    return info;
}

int Worksheet::lastRow() const {
    d->workbook->impl().ensureLoaded(*d);
    return d->model.lastRow();
}

int Worksheet::lastColumn() const {
    d->workbook->impl().ensureLoaded(*d);
    return d->model.lastColumn();
}

} // namespace workbookfile
