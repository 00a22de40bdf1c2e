// Worksheet parts of binary workbooks: the cell table between its begin and end records is read
// into the engine's cell model and written from it; every other record is kept as read.

#include "Xlsb.h"
#include "XlsbRecords.h"

#include <algorithm>
#include <cstring>

namespace workbookfile {

namespace {

// A row's properties after its index, as kept: ixfe, miyRw and three bytes of flags.
constexpr std::size_t kRowFields = 9;
constexpr std::size_t kRowHeaderFixed = 4 + kRowFields;
// A new row: default format and height (15 points in twips), no flags.
const char kDefaultRow[kRowFields] = {0, 0, 0, 0, 0x2C, 0x01, 0, 0, 0};

constexpr std::uint32_t kShortFirst = 12, kShortLast = 18; // cells that take the previous column + 1
constexpr std::uint32_t kShortToLong = 11;

bool isCellRecord(std::uint32_t type) {
    return (type >= rt::CellBlank && type <= rt::FmlaError) || type == rt::CellRString ||
           (type >= kShortFirst && type <= kShortLast);
}

[[noreturn]] void malformed(const std::string& part, const std::string& what) {
    throw Error(ErrorKind::Damaged, "The worksheet part \"" + part + "\" is malformed: " + what + ".");
}

// A cell record of a type and size below 128, so that each takes one byte: written straight into
// the part, as millions of them are.
class ShortCell {
public:
    ShortCell(std::uint8_t type, std::uint16_t column, std::uint32_t style) : _type(type) {
        put32(column);
        put32(style & 0xFFFFFF); // style in the low 24 bits, no phonetic flag
    }
    void put8(std::uint8_t v) { _bytes[_size++] = static_cast<char>(v); }
    void put32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            put8(std::uint8_t(v >> (8 * i)));
    }
    void put64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        put32(std::uint32_t(bits));
        put32(std::uint32_t(bits >> 32));
    }
    void appendTo(std::string& out) const {
        const char header[2] = {static_cast<char>(_type), static_cast<char>(_size)};
        out.append(header, 2);
        out.append(_bytes, _size);
    }

private:
    std::uint8_t _type;
    std::uint8_t _size = 0;
    char _bytes[16];
};

void appendCell(std::string& out, const SheetModel& model, const Cell& cell) {
    switch (cell.kind) {
    case CellKind::Empty:
        ShortCell(rt::CellBlank, cell.column, cell.style).appendTo(out);
        return;
    case CellKind::Number: {
        std::uint32_t rk;
        if (rkNumber(cell.number, rk)) {
            ShortCell record(rt::CellRk, cell.column, cell.style);
            record.put32(rk);
            record.appendTo(out);
        } else {
            ShortCell record(rt::CellReal, cell.column, cell.style);
            record.put64(cell.number);
            record.appendTo(out);
        }
        return;
    }
    case CellKind::Text: {
        ShortCell record(rt::CellIsst, cell.column, cell.style);
        record.put32(cell.index);
        record.appendTo(out);
        return;
    }
    case CellKind::Boolean: {
        ShortCell record(rt::CellBool, cell.column, cell.style);
        record.put8(cell.index ? 1 : 0);
        record.appendTo(out);
        return;
    }
    case CellKind::Raw: {
        // The records as read, with the cell's format as it is now.
        std::string records = model.raws[cell.index].inner;
        RecordReader reader(records, "cell");
        Record first;
        if (reader.next(first) && first.body.size() >= 8) {
            const std::size_t at = std::size_t(first.body.data() - records.data()) + 4;
            const auto keep = static_cast<unsigned char>(records[at + 3]);
            patchU32(records, at, (cell.style & 0xFFFFFF) | (std::uint32_t(keep) << 24));
        }
        out += records;
        return;
    }
    }
}

void appendRowHeader(std::string& out, std::size_t index, const Row& row, const SheetModel& model) {
    std::string body;
    putU32(body, std::uint32_t(index));
    std::string_view extra;
    if (row.attrs >= 0) {
        const std::string& kept = model.rowAttrs[std::size_t(row.attrs)];
        body.append(kept, 0, kRowFields);
        extra = std::string_view(kept).substr(kRowFields);
    } else {
        body.append(kDefaultRow, kRowFields);
    }
    // The column spans of the row's cells, one per block of 1024 columns holding any.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
    for (const Cell& c : row.cells) {
        if (!spans.empty() && spans.back().first / 1024 == c.column / 1024u)
            spans.back().second = c.column;
        else
            spans.emplace_back(c.column, c.column);
    }
    putU32(body, std::uint32_t(spans.size()));
    for (const auto& [first, last] : spans) {
        putU32(body, first);
        putU32(body, last);
    }
    appendRecord(out, rt::RowHdr, body);
    out.append(extra);
}

// The used area as the dimension record states it (0-based, inclusive).
std::string dimensionBody(const SheetModel& model) {
    std::uint32_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
    bool any = false;
    for (std::size_t r = 0; r < model.rows.size(); ++r) {
        const Row& row = model.rows[r];
        if (row.cells.empty())
            continue;
        if (!any) {
            firstRow = std::uint32_t(r);
            firstColumn = row.cells.front().column;
            any = true;
        }
        lastRow = std::uint32_t(r);
        firstColumn = std::min<std::uint32_t>(firstColumn, row.cells.front().column);
        lastColumn = std::max<std::uint32_t>(lastColumn, row.cells.back().column);
    }
    std::string body;
    putU32(body, firstRow);
    putU32(body, lastRow);
    putU32(body, firstColumn);
    putU32(body, lastColumn);
    return body;
}

} // namespace

std::string newXlsbSheetHead(const SheetLayout& layout) {
    std::string out, body;
    appendRecord(out, rt::BeginSheet, {});
    appendRecord(out, rt::WsDim, std::string(16, '\0'));
    // One sheet view, as in a new XML worksheet: grid, headings, zeros and outline symbols shown.
    appendRecord(out, rt::BeginWsViews, {});
    putU16(body, 0x031C);
    putU32(body, 0); // normal view
    putU32(body, 0); // top row
    putU32(body, 0); // left column
    putU8(body, 64); // heading colour: automatic
    putU8(body, 0);
    putU16(body, 0);
    putU16(body, 100); // zoom
    putU16(body, 0);
    putU16(body, 0);
    putU16(body, 0);
    putU32(body, 0); // workbook view
    appendRecord(out, rt::BeginWsView, body);
    if (layout.frozen()) {
        body.clear();
        putF64(body, layout.frozenColumns);
        putF64(body, layout.frozenRows);
        putU32(body, std::uint32_t(layout.frozenRows));
        putU32(body, std::uint32_t(layout.frozenColumns));
        // The active pane scrolls both ways: bottom right, or bottom left / top right.
        putU32(body, layout.frozenRows && layout.frozenColumns ? 0 : layout.frozenRows ? 2 : 1);
        putU8(body, 0x03); // frozen, without a split
        appendRecord(out, rt::Pane, body);
        // The cell selected in the active pane: its first cell.
        body.clear();
        putU32(body, layout.frozenRows && layout.frozenColumns ? 0 : layout.frozenRows ? 2 : 1);
        for (std::uint32_t v : {std::uint32_t(layout.frozenRows), std::uint32_t(layout.frozenColumns), 0u, 1u,
                                std::uint32_t(layout.frozenRows), std::uint32_t(layout.frozenRows),
                                std::uint32_t(layout.frozenColumns), std::uint32_t(layout.frozenColumns)})
            putU32(body, v);
        appendRecord(out, rt::Sel, body);
    }
    appendRecord(out, rt::EndWsView, {});
    appendRecord(out, rt::EndWsViews, {});
    const std::vector<WidthRun> runs = widthRuns(layout);
    if (!runs.empty()) {
        appendRecord(out, rt::BeginColInfos, {});
        for (const WidthRun& run : runs) {
            body.clear();
            putU32(body, std::uint32_t(run.first - 1));
            putU32(body, std::uint32_t(run.last - 1));
            putU32(body, std::uint32_t(run.width * 256));
            putU32(body, 0);      // cell format
            putU16(body, 0x0002); // width set by the user
            appendRecord(out, rt::ColInfo, body);
        }
        appendRecord(out, rt::EndColInfos, {});
    }
    appendRecord(out, rt::BeginSheetData, {});
    return out;
}

std::string newXlsbSheetTail() {
    std::string out;
    appendRecord(out, rt::EndSheetData, {});
    std::string margins; // left, right, top, bottom, header, footer in inches, as the spreadsheet's own
    for (double inches : {0.7, 0.7, 0.75, 0.75, 0.3, 0.3})
        putF64(margins, inches);
    appendRecord(out, rt::PageMargins, margins);
    appendRecord(out, rt::EndSheet, {});
    return out;
}

std::string xlsbSheetRecords(const SheetModel& model, const std::string& head, const std::string& tail,
                             const std::string& part) {
    std::size_t cells = 0;
    for (const Row& r : model.rows)
        cells += r.cells.size();
    std::string out;
    out.reserve(head.size() + tail.size() + cells * 18 + model.rows.size() * 30);
    RecordReader reader(head, part);
    Record r;
    std::size_t copied = 0;
    while (reader.next(r))
        if (r.type == rt::WsDim) {
            out.append(head, copied, r.begin - copied);
            appendRecord(out, rt::WsDim, dimensionBody(model));
            copied = r.end;
        }
    out.append(head, copied, std::string::npos);
    for (std::size_t i = 0; i < model.rows.size(); ++i) {
        const Row& row = model.rows[i];
        if (row.cells.empty() && row.attrs < 0)
            continue;
        appendRowHeader(out, i, row, model);
        for (const Cell& c : row.cells)
            appendCell(out, model, c);
    }
    out += tail;
    return out;
}

void parseXlsbSheet(std::string_view data, const std::string& part, SheetModel& model, std::string& head,
                    std::string& tail) {
    model.kept = KeptAs::Records;
    RecordReader reader(data, part);
    Record r;
    std::size_t headEnd = std::string_view::npos; // past the last record kept before the cells
    bool inCells = false, ended = false, rowSeen = false;
    long long currentRow = -1;
    long lastColumn = -1;
    // The cell last read, in its long form, while trailing records may still join it.
    std::string lastCellRecord;
    while (reader.next(r)) {
        if (!inCells) {
            if (r.type == rt::BeginSheetData) {
                inCells = true;
                headEnd = r.end;
            }
            continue;
        }
        if (r.type == rt::EndSheetData) {
            tail = std::string(data.substr(r.begin));
            ended = true;
            break;
        }
        if (r.type == rt::RowHdr) {
            BodyReader body(r.body, part);
            const std::uint32_t index = body.u32();
            if (index >= std::uint32_t(kMaxRows) || (long long)index <= currentRow)
                malformed(part, "its rows are out of order or beyond the last row");
            if (r.body.size() < kRowHeaderFixed)
                malformed(part, "a row record is too short");
            currentRow = index;
            lastColumn = -1;
            lastCellRecord.clear();
            Row& row = model.row(int(index + 1));
            row.attrs = std::int32_t(model.rowAttrs.size());
            model.rowAttrs.emplace_back(r.body.substr(4, kRowFields));
            rowSeen = true;
            continue;
        }
        if (isCellRecord(r.type)) {
            if (currentRow < 0)
                malformed(part, "a cell comes before any row");
            const bool isShort = r.type >= kShortFirst && r.type <= kShortLast;
            BodyReader body(r.body, part);
            const long column = isShort ? lastColumn + 1 : long(body.u32());
            if (column >= kMaxColumns || column <= lastColumn)
                malformed(part, "its cells are out of order or beyond the last column");
            const std::uint32_t styleAndFlags = body.u32();
            const std::uint32_t type = isShort ? r.type - kShortToLong : r.type;
            std::string longBody;
            putU32(longBody, std::uint32_t(column));
            longBody.append(r.body.substr(isShort ? 0 : 4));
            lastCellRecord.clear();
            appendRecord(lastCellRecord, type, longBody);
            lastColumn = column;

            Cell cell;
            cell.column = std::uint16_t(column);
            cell.style = styleAndFlags & 0xFFFFFF;
            const bool plain = (styleAndFlags >> 24) == 0;
            const std::size_t rest = body.remaining();
            if (plain && type == rt::CellBlank && rest == 0) {
                cell.kind = CellKind::Empty;
                cell.index = 0;
            } else if (plain && type == rt::CellRk && rest == 4) {
                cell.kind = CellKind::Number;
                cell.number = rkValue(body.u32());
            } else if (plain && type == rt::CellReal && rest == 8) {
                cell.kind = CellKind::Number;
                cell.number = body.f64();
            } else if (plain && type == rt::CellIsst && rest == 4) {
                cell.kind = CellKind::Text;
                cell.index = body.u32();
            } else if (plain && type == rt::CellBool && rest == 1 && r.body.back() <= 1) {
                cell.kind = CellKind::Boolean;
                cell.index = body.u8();
            } else {
                cell.kind = CellKind::Raw;
                cell.index = std::uint32_t(model.raws.size());
                model.raws.push_back({std::string(), lastCellRecord});
            }
            model.rows[std::size_t(currentRow)].cells.push_back(cell);
            continue;
        }
        // Any other record (shared formulas, cell metadata, future records) stays with what it
        // follows: the last cell, the row, or the records before the first row.
        const std::string_view bytes = data.substr(r.begin, r.end - r.begin);
        if (!rowSeen) {
            headEnd = r.end;
        } else if (lastColumn < 0) {
            model.rowAttrs.back().append(bytes);
        } else {
            Cell& cell = model.rows[std::size_t(currentRow)].cells.back();
            if (cell.kind != CellKind::Raw) {
                cell.kind = CellKind::Raw;
                cell.index = std::uint32_t(model.raws.size());
                model.raws.push_back({std::string(), lastCellRecord});
            }
            model.raws[cell.index].inner.append(bytes);
        }
    }
    if (!inCells)
        throw Error(ErrorKind::Damaged, "The worksheet part \"" + part + "\" has no cell data.");
    if (!ended)
        malformed(part, "its cell data has no end");
    head = std::string(data.substr(0, headEnd));
}

bool xlsbStringIndices(std::string_view records, std::vector<std::uint32_t>& indices) {
    try {
        RecordReader reader(records, "cells");
        Record r;
        while (reader.next(r)) {
            // The position follows the column (not in a short cell) and the format.
            const std::size_t at = r.type == rt::CellIsst ? 8 : r.type == kShortLast ? 4 : 0;
            if (at == 0)
                continue;
            if (r.body.size() < at + 4)
                return false;
            indices.push_back(readU32(r.body, at));
        }
        return true;
    } catch (const Error&) {
        return false;
    }
}

void describeXlsbCell(const RawCell& raw, CellInfo& info) {
    RecordReader reader(raw.inner, "cell");
    Record r;
    if (!reader.next(r))
        return;
    BodyReader body(r.body, "cell");
    body.skip(8); // column and format
    switch (r.type) {
    case rt::FmlaString:
    case rt::FmlaNum:
    case rt::FmlaBool:
    case rt::FmlaError:
        info.type = CellType::Formula;
        break;
    case rt::CellError:
        info.type = CellType::Error;
        info.text = errorText(body.u8());
        break;
    case rt::CellSt:
        info.type = CellType::Text;
        info.text = readWideString(body);
        break;
    case rt::CellRString:
        body.skip(1); // whether runs and phonetic text follow
        info.type = CellType::Text;
        info.text = readWideString(body);
        break;
    case rt::CellRk:
        info.type = CellType::Number;
        info.number = rkValue(body.u32());
        break;
    case rt::CellReal:
        info.type = CellType::Number;
        info.number = body.f64();
        break;
    case rt::CellBool:
        info.type = CellType::Boolean;
        info.boolean = body.u8() != 0;
        break;
    default:
        break;
    }
}

bool xlsbSheetHasStringCells(std::string_view data, const std::string& part) {
    RecordReader reader(data, part);
    Record r;
    while (reader.next(r))
        if (r.type == rt::CellIsst || r.type == kShortLast)
            return true;
    return false;
}

} // namespace workbookfile
