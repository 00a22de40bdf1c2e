// Table parts (<table>) of XML worksheets: their area, header row and column names.

#include "Xml.h"

#include "CellRefs.h"
#include "XmlDom.h"
#include "XmlText.h"

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
    table.columns.clear();
    for (pugi::xml_node c : tableColumns(root))
        table.columns.push_back(decodeCellText(c.attribute("name").value()));
    return true;
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
