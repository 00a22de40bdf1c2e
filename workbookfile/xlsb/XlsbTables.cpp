// Table parts of binary worksheets (a BrtBeginList, its filter, its columns): their area, header
// row and column names, which are the captions of the column records.

#include "Xlsb.h"
#include "XlsbRecords.h"

#include <algorithm>

namespace workbookfile {

namespace {

constexpr std::size_t kHeaderRows = 24; // BrtBeginList: crwHeader, after the area, lt and idList
constexpr std::size_t kColumnName = 24; // BrtBeginListCol: stName after six numbers; stCaption next

} // namespace

bool xlsbSheetListsTables(const Worksheet::Impl& sheet) {
    try {
        RecordReader reader(sheet.tail, sheet.part);
        Record r;
        while (reader.next(r))
            if (r.type == rt::BeginListParts)
                return true;
    } catch (const Error&) {
    }
    return false;
}

bool readXlsbTable(const std::string& data, const std::string& part, TableInfo& table) {
    RecordReader reader(data, part);
    Record r;
    bool found = false;
    table.columns.clear();
    while (reader.next(r)) {
        if (r.type == rt::BeginList && !found) {
            BodyReader body(r.body, part);
            const std::uint32_t firstRow = body.u32(), lastRow = body.u32(), firstColumn = body.u32(),
                                lastColumn = body.u32();
            body.skip(8);
            table.headerRow = body.u32() != 0;
            if (firstRow > lastRow || firstColumn > lastColumn || lastRow >= std::uint32_t(kMaxRows) ||
                lastColumn >= std::uint32_t(kMaxColumns))
                return false;
            table.firstRow = int(firstRow) + 1;
            table.lastRow = int(lastRow) + 1;
            table.firstColumn = int(firstColumn) + 1;
            table.lastColumn = int(lastColumn) + 1;
            found = true;
        } else if (r.type == rt::BeginListCol && found) {
            BodyReader body(r.body, part);
            body.skip(kColumnName);
            readNullableWideString(body);
            table.columns.push_back(readNullableWideString(body));
        }
    }
    return found;
}

bool rewriteXlsbTable(std::string& data, const std::string& part, const TableInfo& table) {
    std::string out;
    out.reserve(data.size() + 64);
    RecordReader reader(data, part);
    Record r;
    std::size_t column = 0;
    int droppedDepth = 0; // inside the filter, which goes with the header row
    bool changed = false;
    while (reader.next(r)) {
        if (droppedDepth > 0) {
            droppedDepth += r.type == rt::BeginAFilter ? 1 : r.type == rt::EndAFilter ? -1 : 0;
            continue;
        }
        if (!table.headerRow && r.type == rt::BeginAFilter) {
            droppedDepth = 1;
            changed = true;
            continue;
        }
        if (!table.headerRow && r.type == rt::BeginList && r.body.size() >= kHeaderRows + 4) {
            std::string body(r.body);
            std::fill(body.begin() + kHeaderRows, body.begin() + kHeaderRows + 4, '\0');
            changed = changed || body != r.body;
            appendRecord(out, r.type, body);
            continue;
        }
        if (r.type == rt::BeginListCol && column < table.columns.size()) {
            BodyReader body(r.body, part);
            body.skip(kColumnName);
            readNullableWideString(body);
            const std::size_t captionAt = body.offset();
            const std::string caption = readNullableWideString(body);
            if (caption != table.columns[column++]) {
                std::string renamed(r.body.substr(0, captionAt));
                putWideString(renamed, table.columns[column - 1]);
                renamed += r.body.substr(body.offset());
                appendRecord(out, r.type, renamed);
                changed = true;
                continue;
            }
        }
        out.append(data, r.begin, r.end - r.begin);
    }
    if (changed)
        data = std::move(out);
    return changed;
}

} // namespace workbookfile
