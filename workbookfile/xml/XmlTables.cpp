// Table parts (<table>) of XML worksheets: their area, header row and column names.

#include "Xml.h"

#include "CellRefs.h"
#include "Utf.h"
#include "WorkbookState.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <algorithm>
#include <cctype>

namespace workbookfile {

namespace {

std::vector<pugi::xml_node> tableColumns(pugi::xml_node table) {
    std::vector<pugi::xml_node> columns;
    for (pugi::xml_node c = childByLocalName(table, "tableColumns").first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && localName(c) == "tableColumn")
            columns.push_back(c);
    return columns;
}

} // namespace

bool xmlSheetListsTables(const Worksheet::Impl& sheet) {
    return sheet.tail.find("tablePart") != std::string::npos ||
           sheet.head.find("tablePart") != std::string::npos;
}

bool readXmlTable(const std::string& data, const std::string& part, TableInfo& table) {
    pugi::xml_document doc;
    parsePart(doc, data, part);
    pugi::xml_node root = rootElement(doc);
    if (localName(root) != "table" || !parseCellRange(root.attribute("ref").value(), table.firstRow,
                                                      table.firstColumn, table.lastRow, table.lastColumn))
        return false;
    table.headerRow = root.attribute("headerRowCount").as_int(1) != 0;
    table.name = root.attribute("displayName") ? root.attribute("displayName").value()
                                               : root.attribute("name").value();
    table.columns.clear();
    for (pugi::xml_node c : tableColumns(root))
        table.columns.push_back(decodeCellText(c.attribute("name").value()));
    return true;
}

bool xmlFormulasNameTable(Workbook::Impl& wb, const std::string& tableName, std::string& where) {
    if (tableName.empty())
        return false;
    // A structured reference is the table's name (in any case) followed by "[", in a cell's
    // formula, a conditional format's or validation's, a defined name or a table's column formula.
    const std::string wanted = lowerAscii(tableName) + "[";
    auto isNameCharacter = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '\\' ||
               static_cast<unsigned char>(c) >= 0x80;
    };
    auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == static_cast<unsigned char>(b);
    };
    // One part at a time, searched where it lies; a part that cannot be read is copied as it is
    // and names nothing here.
    auto names = [&](const std::string& part) {
        std::string text;
        try {
            if (!wb.hasPart(part))
                return false;
            text = wb.readPart(part);
        } catch (const Error&) {
            return false;
        }
        for (auto at = text.begin();
             (at = std::search(at, text.end(), wanted.begin(), wanted.end(), sameLetter)) != text.end(); ++at)
            if (at == text.begin() || !isNameCharacter(at[-1]))
                return true;
        return false;
    };
    std::vector<std::pair<std::string, std::string>> parts{{wb.workbookPart, "the workbook's names"}};
    for (const auto& sheet : wb.sheets)
        parts.emplace_back(sheet->impl().part, "the worksheet \"" + sheet->impl().name + "\"");
    if (wb.source)
        for (std::size_t i = 0; i < wb.source->count(); ++i)
            if (wb.source->name(i).find("/tables/") != std::string::npos)
                parts.emplace_back(wb.source->name(i), "a table's column formulas");
    for (const auto& [part, description] : parts) {
        if (names(part)) {
            where = description;
            return true;
        }
    }
    return false;
}

bool rewriteXmlTable(std::string& data, const std::string& part, const TableInfo& table) {
    pugi::xml_document doc;
    parsePart(doc, data, part);
    pugi::xml_node root = rootElement(doc);
    bool changed = false;
    if (!table.headerRow) {
        // Filter buttons need a header row.
        pugi::xml_attribute count = root.attribute("headerRowCount");
        if (!count)
            count = root.append_attribute("headerRowCount");
        count.set_value("0");
        if (pugi::xml_node filter = childByLocalName(root, "autoFilter"))
            root.remove_child(filter);
        changed = true;
    }
    std::vector<pugi::xml_node> columns = tableColumns(root);
    for (std::size_t i = 0; i < columns.size() && i < table.columns.size(); ++i) {
        pugi::xml_attribute name = columns[i].attribute("name");
        if (decodeCellText(name.value()) == table.columns[i])
            continue;
        if (!name)
            name = columns[i].append_attribute("name");
        name.set_value(encodeAttributeText(table.columns[i]).c_str());
        changed = true;
    }
    if (changed)
        data = serializePart(doc);
    return changed;
}

} // namespace workbookfile
