#include "ValueBlockData.h"

#include "Utf.h"
#include "XmlText.h"

#include <cmath>

namespace workbookfile {

namespace {

void checkTextLength(long units) {
    if (units > kMaxTextLength)
        throw Error(ErrorKind::LimitExceeded, "The text has " + std::to_string(units) +
                                                  " characters; a cell holds at most " +
                                                  std::to_string(kMaxTextLength) + ".");
}

} // namespace

BlockCell& ValueBlock::Data::at(int row, int column) {
    if (row < 1 || row > rows || column < 1 || column > columns)
        throw Error(ErrorKind::InvalidArgument,
                    "Position (" + std::to_string(row) + ", " + std::to_string(column) +
                        ") lies outside the value block of " + std::to_string(rows) + " x " +
                        std::to_string(columns) + ".");
    return cells[std::size_t(row - 1) * std::size_t(columns) + std::size_t(column - 1)];
}

ValueBlock::ValueBlock(int rows, int columns) : d(std::make_unique<Data>()) {
    if (rows < 1 || columns < 1 || rows > kMaxRows || columns > kMaxColumns)
        throw Error(rows < 1 || columns < 1 ? ErrorKind::InvalidArgument : ErrorKind::LimitExceeded,
                    "A value block needs 1 to " + std::to_string(kMaxRows) + " rows and 1 to " +
                        std::to_string(kMaxColumns) + " columns.");
    d->rows = rows;
    d->columns = columns;
    d->cells.resize(std::size_t(rows) * std::size_t(columns));
}

ValueBlock::~ValueBlock() = default;
ValueBlock::ValueBlock(ValueBlock&&) noexcept = default;
ValueBlock& ValueBlock::operator=(ValueBlock&&) noexcept = default;

int ValueBlock::rows() const {
    return d->rows;
}
int ValueBlock::columns() const {
    return d->columns;
}

void ValueBlock::setNumber(int row, int column, double value) {
    BlockCell& cell = d->at(row, column);
    if (!std::isfinite(value))
        throw Error(ErrorKind::InvalidArgument, "A cell cannot hold an infinite number or a NaN.");
    cell.kind = BlockKind::Number;
    // -0 is kept as 0 in every format, as the spreadsheet writes it.
    cell.number = value == 0 ? 0.0 : value;
}

void ValueBlock::setText(int row, int column, std::string_view utf8) {
    BlockCell& cell = d->at(row, column);
    long units = utf16Length(utf8);
    if (units < 0)
        throw Error(ErrorKind::InvalidArgument, "The text is not valid UTF-8.");
    checkTextLength(units);
    if (utf8.empty()) {
        cell.kind = BlockKind::Empty;
        return;
    }
    cell.kind = BlockKind::Text;
    cell.text = std::uint32_t(d->texts.size());
    d->texts.emplace_back(utf8);
}

void ValueBlock::setText(int row, int column, std::u16string_view utf16) {
    BlockCell& cell = d->at(row, column);
    checkTextLength(long(utf16.size()));
    if (utf16.empty()) {
        cell.kind = BlockKind::Empty;
        return;
    }
    std::string text = toUtf8(utf16);
    cell.kind = BlockKind::Text;
    cell.text = std::uint32_t(d->texts.size());
    d->texts.push_back(std::move(text));
}

void ValueBlock::setBoolean(int row, int column, bool value) {
    BlockCell& cell = d->at(row, column);
    cell.kind = BlockKind::Boolean;
    cell.number = value ? 1.0 : 0.0;
}

void ValueBlock::setDate(int row, int column, double serial) {
    BlockCell& cell = d->at(row, column);
    if (!std::isfinite(serial))
        throw Error(ErrorKind::InvalidArgument, "A date serial must be a finite number.");
    cell.kind = BlockKind::Date;
    cell.number = serial;
}

void ValueBlock::setEmpty(int row, int column) {
    d->at(row, column).kind = BlockKind::Empty;
}

} // namespace workbookfile
