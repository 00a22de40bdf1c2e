// Worksheet substreams of 97-2003 workbooks: the cell table (ROW records, cells and the DBCELL
// record closing each block of 32 rows) is read into the engine's cell model and written from it;
// the records before and after it are kept as read, and the INDEX record that points at the
// blocks is made anew whenever the substream is written or moved.

#include "SharedTokens.h"
#include "Xls.h"
#include "XlsRecords.h"

#include "Utf.h"

#include <algorithm>
#include <map>

namespace workbookfile {

namespace {

constexpr std::size_t kRowBody = 16;
constexpr std::size_t kRowRecord = 4 + kRowBody;
constexpr std::uint16_t kDefaultRowHeight = 0x00FF; // 12.75 points in twips
constexpr std::uint16_t kRowReservedBit = 0x0100;   // set in every ROW record's flags
constexpr int kRowsPerBlock = 32;
constexpr std::size_t kIndexFixed = 16; // reserved, rwMic, rwMac, ibXF

[[noreturn]] void malformed(const std::string& what) {
    throw Error(ErrorKind::Damaged, "A worksheet of the 97-2003 workbook is malformed: " + what + ".");
}

bool isCellTableRecord(std::uint16_t type) {
    switch (type) {
    case biff::Row:
    case biff::DbCell:
    case biff::Blank:
    case biff::MulBlank:
    case biff::Number:
    case biff::Rk:
    case biff::MulRk:
    case biff::LabelSst:
    case biff::Label:
    case biff::RString:
    case biff::BoolErr:
    case biff::Formula:
    case biff::String:
    case biff::ShrFmla:
    case biff::Array:
    case biff::Table:
        return true;
    default:
        return false;
    }
}

// Records that belong to the formula before them.
bool followsFormula(std::uint16_t type) {
    return type == biff::String || type == biff::ShrFmla || type == biff::Array || type == biff::Table ||
           type == biff::Continue;
}

void putCellHeader(std::string& out, std::uint16_t type, std::uint16_t size, std::uint32_t row,
                   std::uint16_t column, std::uint16_t xf) {
    putU16(out, type);
    putU16(out, size);
    putU16(out, std::uint16_t(row));
    putU16(out, column);
    putU16(out, xf);
}

void appendCell(std::string& out, const SheetModel& model, std::uint32_t row, const Cell& cell,
                const XfMap& map) {
    const std::uint16_t xf = map.xf(cell.style);
    switch (cell.kind) {
    case CellKind::Empty:
        putCellHeader(out, biff::Blank, 6, row, cell.column, xf);
        return;
    case CellKind::Number: {
        std::uint32_t rk;
        if (rkNumber(cell.number, rk)) {
            putCellHeader(out, biff::Rk, 10, row, cell.column, xf);
            putU32(out, rk);
        } else {
            putCellHeader(out, biff::Number, 14, row, cell.column, xf);
            putF64(out, cell.number);
        }
        return;
    }
    case CellKind::Text:
        putCellHeader(out, biff::LabelSst, 10, row, cell.column, xf);
        putU32(out, cell.index);
        return;
    case CellKind::Boolean:
        putCellHeader(out, biff::BoolErr, 8, row, cell.column, xf);
        putU8(out, cell.index ? 1 : 0);
        putU8(out, 0);
        return;
    case CellKind::Raw: {
        // The records as read, with the cell's format as it is now.
        std::string records = model.raws[cell.index].inner;
        patchU16(records, 8, xf);
        out += records;
        return;
    }
    }
}

// The bytes a cell's records take; a number's at most (18) unless exact is asked for, which finds
// out whether it is written in the shorter RK form.
std::size_t cellSize(const SheetModel& model, const Cell& cell, bool exact) {
    switch (cell.kind) {
    case CellKind::Empty:
        return 10;
    case CellKind::Number: {
        std::uint32_t rk;
        return exact && rkNumber(cell.number, rk) ? 14 : 18;
    }
    case CellKind::Text:
        return 14;
    case CellKind::Boolean:
        return 12;
    case CellKind::Raw:
        return model.raws[cell.index].inner.size();
    }
    return 0;
}

bool rowPresent(const Row& row) {
    return !row.cells.empty() || row.attrs >= 0;
}

void appendRow(std::string& out, const SheetModel& model, std::size_t index, const XfMap& map) {
    const Row& row = model.rows[index];
    std::string body;
    if (row.attrs >= 0) {
        body = model.rowAttrs[std::size_t(row.attrs)];
    } else {
        putU16(body, 0);
        putU16(body, 0);
        putU16(body, 0);
        putU16(body, kDefaultRowHeight);
        putU32(body, 0);
        putU16(body, kRowReservedBit);
        putU16(body, map.xf(0));
    }
    patchU16(body, 0, std::uint16_t(index));
    const std::uint16_t first = row.cells.empty() ? 0 : row.cells.front().column;
    const std::uint16_t last = row.cells.empty() ? 0 : std::uint16_t(row.cells.back().column + 1);
    patchU16(body, 2, first);
    patchU16(body, 4, last);
    appendBiff(out, biff::Row, body);
}

// The position of the DEFCOLWIDTH record in records, or 0.
std::uint32_t defColWidthAt(std::string_view records) {
    BiffReader reader(records);
    BiffRecord r;
    while (reader.next(r))
        if (r.type == biff::DefColWidth)
            return std::uint32_t(r.begin);
    return 0;
}

std::string dimensionsBody(const SheetModel& model) {
    std::string body;
    std::uint32_t firstRow = 0, lastRow = 0;
    std::uint16_t firstColumn = 0, lastColumn = 0;
    bool any = false;
    for (std::size_t r = 0; r < model.rows.size(); ++r) {
        const Row& row = model.rows[r];
        if (row.cells.empty())
            continue;
        if (!any)
            firstRow = std::uint32_t(r), firstColumn = row.cells.front().column;
        any = true;
        lastRow = std::uint32_t(r + 1);
        firstColumn = std::min(firstColumn, row.cells.front().column);
        lastColumn = std::max<std::uint16_t>(lastColumn, std::uint16_t(row.cells.back().column + 1));
    }
    putU32(body, firstRow);
    putU32(body, lastRow);
    putU16(body, firstColumn);
    putU16(body, lastColumn);
    putU16(body, 0);
    return body;
}

// A cell read into the model while the table is read; rows and columns come in any order.
struct CellReader {
    const XfMap& map;
    std::size_t stringCount;
    SheetModel& model;
    std::map<std::uint32_t, std::map<std::uint16_t, Cell>> cells;

    Cell& add(std::uint32_t row, std::uint16_t column, std::uint16_t xf, CellKind kind) {
        if (row >= std::uint32_t(kXlsMaxRows) || column >= kXlsMaxColumns)
            malformed("a cell lies beyond row 65,536 or column 256");
        Cell& cell = cells[row][column];
        cell = Cell{};
        cell.column = column;
        cell.kind = kind;
        cell.style = map.style(xf);
        cell.number = 0;
        return cell;
    }

    void raw(std::uint32_t row, std::uint16_t column, std::uint16_t xf, std::string records) {
        Cell& cell = add(row, column, xf, CellKind::Raw);
        cell.index = std::uint32_t(model.raws.size());
        model.raws.push_back(RawCell{{}, std::move(records)});
    }
};

void readCell(CellReader& into, const BiffRecord& r, std::string_view records, BiffReader& reader) {
    BodyReader body(r.body, kWorkbookStream);
    const std::uint16_t row = body.u16();
    if (r.type == biff::MulRk || r.type == biff::MulBlank) {
        const std::uint16_t first = body.u16();
        const std::size_t unit = r.type == biff::MulRk ? 6 : 2;
        if (r.body.size() < 6 || (r.body.size() - 6) % unit != 0)
            malformed("a record of several cells has a wrong size");
        const std::size_t count = (r.body.size() - 6) / unit;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t xf = body.u16();
            if (r.type == biff::MulRk)
                into.add(row, std::uint16_t(first + i), xf, CellKind::Number).number = rkValue(body.u32());
            else
                into.add(row, std::uint16_t(first + i), xf, CellKind::Empty);
        }
        if (body.u16() != first + count - 1)
            malformed("a record of several cells names the wrong last column");
        return;
    }
    const std::uint16_t column = body.u16(), xf = body.u16();
    switch (r.type) {
    case biff::Blank:
        into.add(row, column, xf, CellKind::Empty);
        return;
    case biff::Number:
        into.add(row, column, xf, CellKind::Number).number = body.f64();
        return;
    case biff::Rk:
        into.add(row, column, xf, CellKind::Number).number = rkValue(body.u32());
        return;
    case biff::LabelSst: {
        const std::uint32_t index = body.u32();
        if (index >= into.stringCount)
            malformed("a cell refers to a shared string that does not exist");
        into.add(row, column, xf, CellKind::Text).index = index;
        return;
    }
    case biff::BoolErr: {
        const std::uint8_t value = body.u8(), isError = body.u8();
        if (!isError) {
            into.add(row, column, xf, CellKind::Boolean).index = value ? 1 : 0;
            return;
        }
        break;
    }
    default:
        break;
    }
    // Kept as read: formulas with the records that belong to them, errors, inline texts.
    std::string kept(records.substr(r.begin, r.end - r.begin));
    if (r.type == biff::Formula) {
        BiffReader look = reader;
        BiffRecord next;
        while (look.next(next) && followsFormula(next.type)) {
            kept.append(records.substr(next.begin, next.end - next.begin));
            reader = look;
        }
    }
    into.raw(row, column, xf, std::move(kept));
}

// A worksheet without a cell table gets one where it belongs: after its DIMENSIONS record, or
// else before the window and the end.
void splitEmptySheet(std::string& head, std::string& tail) {
    BiffReader reader(head);
    BiffRecord r;
    std::size_t at = std::string::npos, beforeWindow = std::string::npos;
    int depth = 0;
    while (reader.next(r)) {
        if (r.type == biff::Bof)
            ++depth;
        if (depth == 1 && r.type == biff::Dimensions)
            at = r.end;
        if (depth == 1 && beforeWindow == std::string::npos &&
            (r.type == biff::Window2 || r.type == biff::Eof))
            beforeWindow = r.begin;
        if (r.type == biff::Eof)
            --depth;
    }
    if (at == std::string::npos)
        at = beforeWindow == std::string::npos ? head.size() : beforeWindow;
    tail = head.substr(at) + tail;
    head.resize(at);
}

} // namespace

std::uint16_t XfMap::xf(std::uint32_t style) const {
    if (offset)
        return std::uint16_t(style + offset);
    return std::uint16_t(style == 0 ? swapped : style == swapped ? 0 : style);
}

std::uint32_t XfMap::style(std::uint16_t xf) const {
    if (offset)
        return xf >= offset ? xf - offset : 0;
    return xf == 0 ? swapped : xf == swapped ? 0 : xf;
}

std::string newXlsSheetHead(const SheetLayout& layout, std::uint16_t defaultXf) {
    std::string out, body;
    putU16(body, biff::Biff8);
    putU16(body, biff::Sheet);
    putU16(body, 0x0DBB); // build and year of the 97 format
    putU16(body, 0x07CC);
    putU32(body, 0);
    putU32(body, 0x06);
    appendBiff(out, biff::Bof, body);
    body.clear();
    putU16(body, 0);
    putU16(body, kDefaultRowHeight);
    appendBiff(out, biff::DefRowHeight, body);
    body.clear();
    putU16(body, 0x04C1); // outline symbols shown, automatic page breaks
    appendBiff(out, biff::WsBool, body);
    body.clear();
    putU16(body, 8);
    appendBiff(out, biff::DefColWidth, body);
    for (const WidthRun& run : widthRuns(layout)) {
        if (run.first > kXlsMaxColumns)
            break;
        body.clear();
        putU16(body, std::uint16_t(run.first - 1));
        putU16(body, std::uint16_t(std::min(run.last, kXlsMaxColumns) - 1));
        putU16(body, std::uint16_t(std::min(run.width * 256, 65535.0)));
        putU16(body, defaultXf);
        putU16(body, 0x0002); // width set by the user
        putU16(body, 0);
        appendBiff(out, biff::ColInfo, body);
    }
    appendBiff(out, biff::Dimensions, std::string(14, '\0'));
    return out;
}

std::string newXlsSheetTail(bool firstSheet, const SheetLayout& layout) {
    std::string out, body;
    // Gridlines, headings, zeros, default grid colour, outline symbols; the first sheet is the
    // selected and active one; panes frozen without a split.
    std::uint16_t flags = firstSheet ? 0x06B6 : 0x00B6;
    if (layout.frozen())
        flags |= 0x0108;
    putU16(body, flags);
    putU16(body, 0);
    putU16(body, 0);
    putU16(body, 64);
    putU16(body, 0);
    putU16(body, 0);
    putU16(body, 0);
    putU32(body, 0);
    appendBiff(out, biff::Window2, body);
    if (layout.frozen()) {
        body.clear();
        putU16(body, std::uint16_t(layout.frozenColumns));
        putU16(body, std::uint16_t(layout.frozenRows));
        putU16(body, std::uint16_t(layout.frozenRows));
        putU16(body, std::uint16_t(layout.frozenColumns));
        // The active pane scrolls both ways: bottom right, or bottom left / top right.
        putU8(body, layout.frozenRows && layout.frozenColumns ? 0 : layout.frozenRows ? 2 : 1);
        putU8(body, 0);
        appendBiff(out, biff::Pane, body);
    }
    appendBiff(out, biff::Eof, {});
    return out;
}

void parseXlsSheet(std::string_view records, const XfMap& xfMap, std::size_t stringCount, SheetModel& model,
                   std::string& head, std::string& tail) {
    model.kept = KeptAs::Records;
    CellReader cells{xfMap, stringCount, model, {}};
    std::map<std::uint32_t, std::string> rowAttrs;
    enum { Head, Table, Tail } where = Head;
    BiffReader reader(records);
    BiffRecord r;
    int depth = 0;
    while (reader.next(r)) {
        const bool inTable = depth == 1 && isCellTableRecord(r.type);
        if (r.type == biff::Bof)
            ++depth;
        if (inTable) {
            if (where == Tail)
                malformed("cells follow the records after the cell table");
            where = Table;
            if (r.type == biff::Row) {
                if (r.body.size() < kRowBody)
                    malformed("a ROW record is too short");
                BodyReader body(r.body, kWorkbookStream);
                rowAttrs[body.u16()] = std::string(r.body.substr(0, kRowBody));
            } else if (r.type != biff::DbCell) {
                if (followsFormula(r.type))
                    malformed("a record that belongs to a formula follows no formula");
                readCell(cells, r, records, reader);
            }
        } else if (depth == 1 && r.type == biff::Index && where == Head) {
            // made anew when written
        } else if (depth == 1 && r.type == biff::Dimensions && where == Head) {
            appendBiff(head, biff::Dimensions, std::string(14, '\0')); // brought up to date when written
        } else {
            if (where == Table)
                where = Tail;
            (where == Head ? head : tail).append(records.substr(r.begin, r.end - r.begin));
        }
        if (r.type == biff::Eof && --depth == 0)
            break;
    }
    if (depth != 0)
        malformed("the worksheet does not end");
    if (where == Head)
        splitEmptySheet(head, tail);
    for (auto& [row, attrs] : rowAttrs) {
        Row& target = model.row(int(row) + 1);
        target.attrs = std::int32_t(model.rowAttrs.size());
        model.rowAttrs.push_back(std::move(attrs));
    }
    for (auto& [row, columns] : cells.cells) {
        Row& target = model.row(int(row) + 1);
        target.cells.reserve(columns.size());
        for (auto& entry : columns)
            target.cells.push_back(entry.second);
    }
}

namespace {

// The blocks of 32 rows that hold a row, where the rows begin and end, and the bytes the cell
// table takes: ROW records, cells and a DBCELL record closing each block (exactly, or at most).
struct CellTable {
    std::vector<std::size_t> blocks;
    std::size_t firstRow = 0, lastRow = 0, bytes = 0;

    CellTable(const SheetModel& model, bool exact) {
        std::size_t rowsInBlock = 0;
        for (std::size_t r = 0; r < model.rows.size(); ++r) {
            if (!rowPresent(model.rows[r]))
                continue;
            if (blocks.empty() || blocks.back() != r / kRowsPerBlock) {
                if (!blocks.empty())
                    bytes += 8 + 2 * rowsInBlock;
                blocks.push_back(r / kRowsPerBlock);
                rowsInBlock = 0;
            }
            if (lastRow == 0)
                firstRow = r;
            lastRow = r + 1;
            ++rowsInBlock;
            bytes += kRowRecord;
            for (const Cell& cell : model.rows[r].cells)
                bytes += cellSize(model, cell, exact);
        }
        if (!blocks.empty())
            bytes += 8 + 2 * rowsInBlock;
    }
    std::size_t indexBytes() const { return 4 + kIndexFixed + 4 * blocks.size(); }
};

} // namespace

std::size_t xlsSheetStreamSize(const SheetModel& model, const std::string& head, const std::string& tail) {
    const CellTable table(model, true);
    return head.size() + table.indexBytes() + table.bytes + tail.size();
}

std::string xlsSheetStream(const SheetModel& model, const std::string& head, const std::string& tail,
                           const XfMap& xfMap) {
    const CellTable table(model, false); // room enough; the size is found while writing
    const std::vector<std::size_t>& blocks = table.blocks;
    const std::size_t firstRow = table.firstRow, lastRow = table.lastRow;
    std::string out;
    out.reserve(head.size() + table.indexBytes() + table.bytes + tail.size());

    // BOF, the INDEX, then the rest of the head with its dimensions brought up to date.
    BiffReader reader(head);
    BiffRecord r;
    std::size_t indexAt = std::string::npos;
    while (reader.next(r)) {
        if (r.type == biff::Dimensions) {
            appendBiff(out, biff::Dimensions, dimensionsBody(model));
        } else {
            out.append(head, r.begin, r.end - r.begin);
        }
        if (r.type == biff::Bof && indexAt == std::string::npos) {
            indexAt = out.size();
            std::string body;
            putU32(body, 0);
            putU32(body, std::uint32_t(firstRow));
            putU32(body, std::uint32_t(lastRow));
            putU32(body, 0); // DEFCOLWIDTH's position, set below
            for (std::size_t i = 0; i < blocks.size(); ++i)
                putU32(body, 0);
            appendBiff(out, biff::Index, body);
        }
    }
    if (indexAt == std::string::npos)
        malformed("the worksheet does not begin with a BOF record");

    std::size_t block = 0;
    for (std::size_t b : blocks) {
        const std::size_t from = b * kRowsPerBlock, to = std::min(model.rows.size(), from + kRowsPerBlock);
        const std::size_t rowsAt = out.size();
        std::vector<std::size_t> rowsWithRecords;
        for (std::size_t r = from; r < to; ++r)
            if (rowPresent(model.rows[r])) {
                appendRow(out, model, r, xfMap);
                rowsWithRecords.push_back(r);
            }
        std::string offsets;
        std::size_t previousCells = rowsAt + kRowRecord;
        for (std::size_t r : rowsWithRecords) {
            const std::size_t cellsAt = out.size();
            if (cellsAt - previousCells > 0xFFFF)
                throw Error(ErrorKind::LimitExceeded,
                            "A row of a 97-2003 worksheet holds more than 65,535 bytes of cell records.");
            putU16(offsets, std::uint16_t(cellsAt - previousCells));
            previousCells = cellsAt;
            for (const Cell& cell : model.rows[r].cells)
                appendCell(out, model, std::uint32_t(r), cell, xfMap);
        }
        std::string body;
        putU32(body, std::uint32_t(out.size() - rowsAt));
        body += offsets;
        patchU32(out, indexAt + 4 + kIndexFixed + 4 * block++, std::uint32_t(out.size()));
        appendBiff(out, biff::DbCell, body);
    }
    out += tail;
    patchU32(out, indexAt + 4 + 12, defColWidthAt(out));
    return out;
}

void relocateXlsSheet(std::string& records, long long delta) {
    if (delta == 0)
        return;
    BiffReader reader(records);
    BiffRecord r;
    int depth = 0;
    while (reader.next(r)) {
        if (r.type == biff::Bof)
            ++depth;
        if (depth == 1 && r.type == biff::Index && r.body.size() >= kIndexFixed) {
            const std::size_t at = r.begin + 4;
            const std::size_t count = (r.body.size() - kIndexFixed) / 4;
            auto move = [&](std::size_t field) {
                const std::uint32_t value = readU32(records, field);
                if (value)
                    patchU32(records, field, std::uint32_t((long long)value + delta));
            };
            move(at + 12);
            for (std::size_t i = 0; i < count; ++i)
                move(at + kIndexFixed + 4 * i);
        }
        if (r.type == biff::Eof && --depth == 0)
            break;
    }
}

bool xlsStringIndices(std::string_view records, std::vector<std::uint32_t>& indices) {
    try {
        BiffReader reader(records);
        BiffRecord r;
        while (reader.next(r)) {
            if (r.type != biff::LabelSst)
                continue;
            if (r.body.size() < 10)
                return false;
            indices.push_back(readU32(r.body, 6)); // after the row, the column and the format
        }
        return true;
    } catch (const Error&) {
        return false;
    }
}

void describeXlsCell(const RawCell& raw, CellInfo& info) {
    BiffReader reader(raw.inner);
    BiffRecord r;
    if (!reader.next(r) || r.body.size() < 6)
        return;
    BodyReader body(r.body, kWorkbookStream);
    body.skip(6);
    switch (r.type) {
    case biff::Formula:
        info.type = CellType::Formula;
        return;
    case biff::BoolErr: {
        const std::uint8_t code = body.u8();
        if (!body.u8()) // a boolean: read into the cell model, not kept as records
            return;
        info.type = CellType::Error;
        info.text = errorText(code);
        return;
    }
    case biff::Label:
    case biff::RString:
        info.type = CellType::Text;
        info.text = readXlString(body);
        return;
    default:
        return;
    }
}

std::string xlsFormulaGroupOf(const RawCell& raw) {
    BiffReader reader(raw.inner);
    BiffRecord first, next;
    if (!reader.next(first) || first.type != biff::Formula || first.body.size() < 4)
        return {};
    while (reader.next(next))
        if (next.type == biff::ShrFmla || next.type == biff::Array || next.type == biff::Table)
            return std::to_string(readU16(first.body, 0)) + "," + std::to_string(readU16(first.body, 2));
    return {};
}

namespace {
// The tokens of the shared formula a kept leading cell's SHRFMLA record holds; empty when it has
// none, or data after them.
std::string sharedFormulaTokens(const RawCell& lead) {
    constexpr std::size_t kLength = 8, kTokens = 10;
    BiffReader reader(lead.inner);
    BiffRecord record;
    while (reader.next(record))
        if (record.type == biff::ShrFmla && record.body.size() >= kTokens &&
            record.body.size() == kTokens + readU16(record.body, kLength))
            return std::string(record.body.substr(kTokens));
    return {};
}
} // namespace

void dropOrphanedXlsFormulas(SheetModel& model, const FormulaGroupLeads& groups) {
    constexpr std::size_t kValue = 6, kFlags = 14, kFormulaLength = 20, kFormula = 22;
    constexpr std::uint8_t kPtgExp = 0x01, kPtgTbl = 0x02;
    constexpr std::uint16_t kSharedFlag = 0x0008;
    std::map<std::string, std::string> sharedTokens;
    for (const auto& group : groups)
        sharedTokens[group.first] = sharedFormulaTokens(group.second.cell);
    for (std::size_t r = 0; r < model.rows.size(); ++r)
        for (Cell& cell : model.rows[r].cells) {
            if (cell.kind != CellKind::Raw)
                continue;
            const std::string& records = model.raws[cell.index].inner;
            BiffReader reader(records);
            BiffRecord formula;
            if (!reader.next(formula) || formula.type != biff::Formula ||
                formula.body.size() < kFormula + 5 || readU16(formula.body, kFormulaLength) < 5)
                continue;
            const auto ptg = static_cast<std::uint8_t>(formula.body[kFormula]);
            const auto group = sharedTokens.find(std::to_string(readU16(formula.body, kFormula + 1)) + "," +
                                                 std::to_string(readU16(formula.body, kFormula + 3)));
            if ((ptg != kPtgExp && ptg != kPtgTbl) || group == sharedTokens.end())
                continue;
            // A cell of a shared formula: the formula becomes its own.
            std::string tokens;
            if (ptg == kPtgExp && !group->second.empty() &&
                sharedTokensAt(group->second, std::uint32_t(r), cell.column, tokens) &&
                tokens.size() <= 0xFFFF) {
                std::string body(formula.body.substr(0, kFormulaLength));
                patchU16(body, kFlags, std::uint16_t(readU16(body, kFlags) & ~kSharedFlag));
                putU16(body, std::uint16_t(tokens.size()));
                body += tokens;
                std::string replacement;
                appendBiff(replacement, biff::Formula, body);
                replacement.append(records, formula.end, std::string::npos);
                model.raws[cell.index].inner = std::move(replacement);
                continue;
            }
            // The value the formula showed: a number, or a flagged text, boolean, error or empty text.
            const std::string_view value = formula.body.substr(kValue, 8);
            std::string kept(formula.body.substr(0, kValue));
            if (readU16(value, 6) != 0xFFFF) {
                BodyReader number(value, kWorkbookStream);
                cell.kind = CellKind::Number;
                cell.number = number.f64();
                continue;
            }
            const auto type = static_cast<std::uint8_t>(value[0]);
            if (type == 1) {
                cell.kind = CellKind::Boolean;
                cell.index = value[2] ? 1 : 0;
                continue;
            }
            std::string replacement;
            if (type == 2) {
                kept += value.substr(2, 1);
                kept += '\x01';
                appendBiff(replacement, biff::BoolErr, kept);
            } else {
                BiffRecord text;
                std::u16string shown;
                if (type == 0 && reader.next(text) && text.type == biff::String) {
                    BodyReader body(text.body, kWorkbookStream);
                    shown = toUtf16(readXlString(body));
                }
                putXlString(kept, shown);
                appendBiff(replacement, biff::Label, kept);
            }
            model.raws[cell.index].inner = std::move(replacement);
        }
}

void clearXlsSheetExtras(Worksheet::Impl& sheet, const XfMap& xfMap) {
    // The head begins with the worksheet's BOF; the tail lies inside the worksheet already.
    auto keep = [&](const std::string& records, int depth) {
        std::string out;
        BiffReader reader(records);
        BiffRecord r;
        bool dropContinue = false;
        while (reader.next(r)) {
            if (r.type == biff::Bof)
                ++depth;
            const bool drop =
                depth == 1 &&
                (r.type == biff::MergeCells || r.type == biff::CondFmt || r.type == biff::Cf ||
                 r.type == biff::CondFmt12 || r.type == biff::Cf12 || r.type == biff::CfEx ||
                 r.type == biff::DVal || r.type == biff::Dv || r.type == biff::HLink ||
                 r.type == biff::HLinkTooltip || r.type == biff::AutoFilterInfo ||
                 r.type == biff::AutoFilter || r.type == biff::AutoFilter12 || r.type == biff::FilterMode);
            if (drop || (dropContinue && r.type == biff::Continue)) {
                dropContinue = true;
            } else {
                dropContinue = false;
                std::string record(records.substr(r.begin, r.end - r.begin));
                // Whole columns keep their widths and lose their formats.
                if (depth == 1 && r.type == biff::ColInfo && record.size() >= 4 + 8)
                    patchU16(record, 4 + 6, xfMap.xf(0));
                out += record;
            }
            if (r.type == biff::Eof)
                --depth;
        }
        return out;
    };
    sheet.head = keep(sheet.head, 0);
    sheet.tail = keep(sheet.tail, 1);
    sheet.columnFormats.clear();
}

} // namespace workbookfile
