// Tables keep the names of their columns in their own part, and the spreadsheet repairs a file
// whose names differ from the texts in the table's header row. Writing into a header row
// therefore renames the columns below the cells written to their texts; where those cannot be
// names (a cell that holds no text, or a text another column of the table has, without regard to
// case), the table gives up its header row instead, so that nothing disagrees.

#include "WorkbookState.h"

#include "CellRefs.h"
#include "PartNames.h"
#include "SheetNames.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <algorithm>
#include <set>

namespace workbookfile {

namespace {

bool parseRange(std::string_view ref, int& firstRow, int& firstColumn, int& lastRow, int& lastColumn) {
    std::size_t colon = ref.find(':');
    if (!parseCellRef(ref.substr(0, colon), firstRow, firstColumn))
        return false;
    if (colon == std::string_view::npos) {
        lastRow = firstRow;
        lastColumn = firstColumn;
        return true;
    }
    return parseCellRef(ref.substr(colon + 1), lastRow, lastColumn) && firstRow <= lastRow &&
           firstColumn <= lastColumn;
}

// The tables of the worksheet that have a header row. A table part that cannot be read is left
// alone: it is kept as it was, as every part the engine does not understand.
std::vector<TableHeader> readTables(Workbook::Impl& wb, const Worksheet::Impl& sheet) {
    std::vector<TableHeader> tables;
    try {
        pugi::xml_document rels;
        if (!wb.readRelationships(sheet.part, rels))
            return tables;
        for (pugi::xml_node r = rootElement(rels).first_child(); r; r = r.next_sibling()) {
            if (!endsWith(r.attribute("Type").value(), "/table") ||
                std::string_view(r.attribute("TargetMode").value()) == "External")
                continue;
            TableHeader table;
            table.part = resolveTarget(partFolder(sheet.part), r.attribute("Target").value());
            if (!wb.hasPart(table.part))
                continue;
            pugi::xml_document doc;
            try {
                parsePart(doc, wb.readPart(table.part), table.part);
            } catch (const Error&) {
                continue;
            }
            pugi::xml_node root = rootElement(doc);
            int lastRow = 0;
            if (localName(root) != "table" || root.attribute("headerRowCount").as_int(1) == 0 ||
                !parseRange(root.attribute("ref").value(), table.row, table.firstColumn, lastRow,
                            table.lastColumn))
                continue;
            table.written.assign(std::size_t(table.lastColumn - table.firstColumn + 1), false);
            tables.push_back(std::move(table));
        }
    } catch (const Error&) {
        // Unreadable relationships: no table is known to follow.
    }
    return tables;
}

} // namespace

void Workbook::Impl::noteCellWrites(Worksheet::Impl& sheet, int firstRow, int firstColumn, int lastRow,
                                    int lastColumn) {
    if (!sheet.tablesKnown) {
        sheet.tablesKnown = true;
        if (sheet.tail.find("tablePart") != std::string::npos ||
            sheet.head.find("tablePart") != std::string::npos)
            sheet.tables = readTables(*this, sheet);
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
            pugi::xml_document doc;
            parsePart(doc, readPart(table.part), table.part);
            pugi::xml_node root = rootElement(doc);
            if (root.attribute("headerRowCount").as_int(1) == 0)
                continue; // given up by an earlier save
            std::vector<pugi::xml_node> columns;
            for (pugi::xml_node c = childByLocalName(root, "tableColumns").first_child(); c;
                 c = c.next_sibling())
                if (c.type() == pugi::node_element && localName(c) == "tableColumn")
                    columns.push_back(c);
            auto written = [&](std::size_t i) { return i < table.written.size() && table.written[i]; };
            // Names of columns whose header was not written stay.
            std::set<std::string> taken;
            for (std::size_t i = 0; i < columns.size(); ++i)
                if (!written(i))
                    taken.insert(foldSheetName(columns[i].attribute("name").value()));
            // The written cells give the names, if they can: texts, none empty, none twice.
            std::vector<std::string> names(columns.size());
            bool named = true;
            for (std::size_t i = 0; named && i < columns.size(); ++i) {
                if (!written(i))
                    continue;
                CellInfo header = worksheet->cell(table.row, table.firstColumn + int(i));
                named = header.type == CellType::Text && !header.text.empty() &&
                        taken.insert(foldSheetName(header.text)).second;
                if (named)
                    names[i] = encodeAttributeText(header.text);
            }
            bool changed = false;
            if (named) {
                for (std::size_t i = 0; i < columns.size(); ++i) {
                    if (!written(i))
                        continue;
                    pugi::xml_attribute attr = columns[i].attribute("name");
                    if (!attr)
                        attr = columns[i].append_attribute("name");
                    if (names[i] != attr.value()) {
                        attr.set_value(names[i].c_str());
                        changed = true;
                    }
                }
            } else {
                // The row no longer names the columns: the table keeps its area and its column
                // names, and its first row becomes a row of data. Filter buttons need a header row.
                pugi::xml_attribute count = root.attribute("headerRowCount");
                if (!count)
                    count = root.append_attribute("headerRowCount");
                count.set_value("0");
                if (pugi::xml_node filter = childByLocalName(root, "autoFilter"))
                    root.remove_child(filter);
                changed = true;
            }
            if (changed)
                setPart(table.part, serializePart(doc));
        }
    }
}

} // namespace workbookfile
