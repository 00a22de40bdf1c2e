// Column widths and frozen panes of worksheets the engine made: kept in the sheet's layout and
// written into the head that the sheet's codec makes for a new worksheet.

#include "WorkbookState.h"

#include "NumberText.h"

#include <unordered_map>

namespace workbookfile {

namespace {

// The spreadsheet's default column width (8.43 characters) as stored: 64 pixels.
constexpr double kDefaultStoredWidth = 9.140625;

void requireMadeHere(const Worksheet::Impl& sheet) {
    if (!sheet.madeHere)
        throw Error(ErrorKind::Unsupported, "The worksheet \"" + sheet.name +
                                                "\" was read from the file: its column widths and panes "
                                                "stay as they are.");
}

// What a cell of a style needs, in characters, for what it shows: -1 for numbers that fit any
// width (General) or show nothing measurable.
struct StyleMeasure {
    bool bold = false;
    double dateChars = -1;  // numbers shown as dates or times
    bool formatted = false; // numbers in another format than General
};

} // namespace

void Worksheet::fitColumns(int firstColumn, int lastColumn) {
    Workbook::Impl& wb = d->workbook->impl();
    checkRectangle(wb, 1, firstColumn, 1, lastColumn);
    requireMadeHere(*d);
    wb.changeSheet(*d, [&] {
        std::unordered_map<std::uint32_t, StyleMeasure> measures;
        // Cells of a column mostly share their format: the last one found is asked first.
        std::uint32_t lastStyle = 0;
        const StyleMeasure* lastMeasure = nullptr;
        auto measureOf = [&](std::uint32_t style) -> const StyleMeasure& {
            if (lastMeasure && style == lastStyle)
                return *lastMeasure;
            lastStyle = style;
            auto it = measures.find(style);
            if (it != measures.end())
                return *(lastMeasure = &it->second);
            StyleMeasure m;
            m.bold = wb.styles.isBold(style);
            const std::string format = wb.styles.numberFormat(style);
            m.dateChars = dateFormatCharacters(format);
            m.formatted = format != "General";
            return *(lastMeasure = &measures.emplace(style, m).first->second);
        };
        std::map<int, double> widest;
        std::string number;
        const auto first = std::uint16_t(firstColumn - 1), last = std::uint16_t(lastColumn - 1);
        for (Row& row : d->model.rows) {
            for (auto cell = lowerColumn(row.cells, first); cell != row.cells.end() && cell->column <= last;
                 ++cell) {
                double chars = -1;
                switch (cell->kind) {
                case CellKind::Text:
                    if (cell->index < wb.strings.size())
                        chars = textCharacters(wb.strings.text(cell->index), measureOf(cell->style).bold);
                    break;
                case CellKind::Number: {
                    const StyleMeasure& m = measureOf(cell->style);
                    if (m.dateChars >= 0) {
                        chars = m.dateChars;
                    } else if (m.formatted) {
                        number.clear();
                        appendNumber(number, cell->number);
                        chars = double(number.size()) + 2;
                    }
                    if (chars >= 0 && m.bold)
                        chars *= 1.07;
                    break;
                }
                case CellKind::Boolean:
                    chars = 5.5;
                    break;
                default:
                    break;
                }
                if (chars > 0) {
                    double& w = widest[cell->column + 1];
                    w = std::max(w, chars);
                }
            }
        }
        bool widened = false;
        for (const auto& [column, chars] : widest) {
            const double width = columnWidthFor(chars);
            auto known = d->layout.widths.find(column);
            const double now = known == d->layout.widths.end() ? kDefaultStoredWidth : known->second;
            if (width > now) {
                d->layout.widths[column] = width;
                widened = true;
            }
        }
        if (widened)
            d->codec->applyLayout(*d);
        return widened;
    });
}

void Worksheet::freezePanes(int rows, int columns) {
    Workbook::Impl& wb = d->workbook->impl();
    if (rows < 0 || columns < 0 || rows >= wb.self->maxRows() || columns >= wb.self->maxColumns())
        throw Error(ErrorKind::InvalidArgument, "Panes are frozen above a row and left of a column of the "
                                                "worksheet.");
    requireMadeHere(*d);
    wb.changeSheet(*d, [&] {
        d->layout.frozenRows = rows;
        d->layout.frozenColumns = columns;
        d->codec->applyLayout(*d);
        return true;
    });
}

} // namespace workbookfile
