// Tables keep the names of their columns in their own part, and the spreadsheet repairs a file
// whose names differ from the texts in the table's header row. Writing into a header row
// therefore renames the columns below the cells written to their texts; where those cannot be
// names (a cell that holds no text, or a text another column of the table has, without regard to
// case), the table gives up its header row instead, so that nothing disagrees. What a table part
// holds is the worksheet's codec's to read and write; which cells were written is the model's.

#include "WorkbookState.h"

#include "Codec.h"
#include "PartNames.h"
#include "SheetNames.h"
#include "XmlDom.h"

#include <algorithm>
#include <set>

namespace workbookfile {

namespace {

struct FoundTable {
    std::string part;
    TableInfo info;
};

// The tables of the worksheet as their parts say. A table part that cannot be read is left
// alone: it is kept as it was, as every part the engine does not understand.
std::vector<FoundTable> findTables(Workbook::Impl& wb, const Worksheet::Impl& sheet) {
    std::vector<FoundTable> tables;
    if (!sheet.codec || !sheet.codec->listsTables(sheet))
        return tables;
    try {
        pugi::xml_document rels;
        if (!wb.readRelationships(sheet.part, rels))
            return tables;
        for (pugi::xml_node r = rootElement(rels).first_child(); r; r = r.next_sibling()) {
            if (!endsWith(r.attribute("Type").value(), "/table") ||
                std::string_view(r.attribute("TargetMode").value()) == "External")
                continue;
            FoundTable table;
            table.part = resolveTarget(partFolder(sheet.part), r.attribute("Target").value());
            if (!wb.hasPart(table.part))
                continue;
            try {
                if (sheet.codec->readTable(wb.readPart(table.part), table.part, table.info))
                    tables.push_back(std::move(table));
            } catch (const Error&) {
                continue;
            }
        }
    } catch (const Error&) {
        // Unreadable relationships: no table is known.
    }
    return tables;
}

} // namespace

std::vector<TableInfo> Worksheet::tables() const {
    Workbook::Impl& wb = d->workbook->impl();
    wb.ensureLoaded(*d);
    std::vector<TableInfo> infos;
    for (FoundTable& table : findTables(wb, *d))
        infos.push_back(std::move(table.info));
    return infos;
}

void Workbook::Impl::noteCellWrites(Worksheet::Impl& sheet, int firstRow, int firstColumn, int lastRow,
                                    int lastColumn) {
    if (!sheet.tablesKnown) {
        sheet.tablesKnown = true;
        for (const FoundTable& found : findTables(*this, sheet)) {
            if (!found.info.headerRow)
                continue;
            TableHeader table;
            table.part = found.part;
            table.codec = sheet.codec;
            table.row = found.info.firstRow;
            table.firstColumn = found.info.firstColumn;
            table.lastColumn = found.info.lastColumn;
            table.written.assign(std::size_t(table.lastColumn - table.firstColumn + 1), false);
            sheet.tables.push_back(std::move(table));
        }
    }
    for (TableHeader& table : sheet.tables) {
        if (table.row < firstRow || table.row > lastRow)
            continue;
        for (int c = std::max(firstColumn, table.firstColumn); c <= std::min(lastColumn, table.lastColumn);
             ++c) {
            table.written[std::size_t(c - table.firstColumn)] = true;
            table.anyWritten = true;
        }
    }
}

void Workbook::Impl::renameTableColumns() {
    for (const auto& worksheet : sheets) {
        for (const TableHeader& table : worksheet->impl().tables) {
            if (!table.anyWritten)
                continue;
            std::string data = readPart(table.part);
            TableInfo info;
            if (!table.codec->readTable(data, table.part, info) || !info.headerRow)
                continue; // given up by an earlier save
            auto written = [&](std::size_t i) { return i < table.written.size() && table.written[i]; };
            // Names of columns whose header was not written stay.
            std::set<std::string> taken;
            for (std::size_t i = 0; i < info.columns.size(); ++i)
                if (!written(i))
                    taken.insert(foldSheetName(info.columns[i]));
            // The written cells give the names, if they can: texts, none empty, none twice.
            TableInfo renamed = info;
            for (std::size_t i = 0; renamed.headerRow && i < info.columns.size(); ++i) {
                if (!written(i))
                    continue;
                CellInfo header = worksheet->cell(table.row, table.firstColumn + int(i));
                if (header.type == CellType::Text && !header.text.empty() &&
                    taken.insert(foldSheetName(header.text)).second)
                    renamed.columns[i] = header.text;
                else
                    renamed.headerRow = false;
            }
            // The spreadsheet renames a column in every formula that names it; the engine cannot,
            // and a formula naming a column that is gone makes the file one the spreadsheet repairs.
            bool renames = false;
            for (std::size_t i = 0; renamed.headerRow && i < info.columns.size(); ++i)
                renames = renames || foldSheetName(renamed.columns[i]) != foldSheetName(info.columns[i]);
            std::string where;
            if (renames && table.codec->namesTableColumns(*this, info.name, where))
                throw Error(ErrorKind::Unsupported,
                            "Cannot rename the columns of the table \"" + info.name +
                                "\" on the worksheet \"" + worksheet->name() +
                                "\" to the texts written into its header row: formulas (in " + where +
                                ") refer to its columns by name, and would name columns that are gone.");
            // The row no longer naming the columns, the table keeps its area and its column names,
            // and its first row becomes a row of data. The save says so: the user's table changed.
            if (!renamed.headerRow) {
                renamed.columns = info.columns;
                pendingSaveNotes.push_back(
                    "The table at " + columnName(info.firstColumn) + std::to_string(info.firstRow) + ":" +
                    columnName(info.lastColumn) + std::to_string(info.lastRow) + " of the worksheet \"" +
                    worksheet->name() +
                    "\" no longer has a header row: the cells written into that row cannot name its columns "
                    "(one is empty or not a text, or names another column of the table), so the row became "
                    "a row of the table's data.");
            }
            if (table.codec->rewriteTable(data, table.part, renamed))
                setPart(table.part, std::move(data));
        }
    }
}

} // namespace workbookfile
