#include "SheetFormats.h"

#include "XmlDom.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace workbookfile {

namespace {

// The value of attribute name in the raw attribute text of a row (` s="3" customFormat="1"`).
std::string_view rawAttribute(std::string_view attrs, std::string_view name) {
    const std::string key = " " + std::string(name) + "=\"";
    std::size_t at = attrs.find(key);
    if (at == std::string_view::npos)
        return {};
    at += key.size();
    std::size_t end = attrs.find('"', at);
    return end == std::string_view::npos ? std::string_view() : attrs.substr(at, end - at);
}

} // namespace

bool booleanAttribute(const pugi::xml_node& node, const char* name, bool fallback) {
    pugi::xml_attribute a = node.attribute(name);
    if (!a)
        return fallback;
    std::string_view v = a.value();
    return v == "1" || v == "true";
}

std::vector<ColumnFormat> readColumnFormats(const pugi::xml_node& worksheet) {
    std::vector<ColumnFormat> columns;
    for (pugi::xml_node cols = worksheet.first_child(); cols; cols = cols.next_sibling()) {
        if (cols.type() != pugi::node_element || localName(cols) != "cols")
            continue;
        for (pugi::xml_node col = cols.first_child(); col; col = col.next_sibling()) {
            if (col.type() != pugi::node_element || localName(col) != "col" || !col.attribute("style"))
                continue;
            ColumnFormat f{col.attribute("min").as_int(0), col.attribute("max").as_int(0),
                           std::uint32_t(col.attribute("style").as_uint(0))};
            if (f.first >= 1 && f.first <= f.last)
                columns.push_back(f);
        }
    }
    std::sort(columns.begin(), columns.end(),
              [](const ColumnFormat& a, const ColumnFormat& b) { return a.first < b.first; });
    return columns;
}

SheetProtection readSheetProtection(const pugi::xml_node& worksheet) {
    SheetProtection protection;
    if (pugi::xml_node p = childByLocalName(worksheet, "sheetProtection")) {
        protection.cells = booleanAttribute(p, "sheet", false);
        protection.formats = booleanAttribute(p, "formatCells", true);
    }
    return protection;
}

bool rowFormat(const SheetModel& model, int row, std::uint32_t& style) {
    if (row < 1 || std::size_t(row) > model.rows.size())
        return false;
    const std::string_view text = model.xmlRowAttributes(model.rows[std::size_t(row - 1)]);
    if (text.empty())
        return false;
    std::string_view custom = rawAttribute(text, "customFormat");
    if (custom != "1" && custom != "true")
        return false;
    std::string_view s = rawAttribute(text, "s");
    style = 0;
    std::from_chars(s.data(), s.data() + s.size(), style);
    return true;
}

std::uint32_t columnStyle(const std::vector<ColumnFormat>& columns, int column) {
    auto it = std::upper_bound(columns.begin(), columns.end(), column,
                               [](int c, const ColumnFormat& f) { return c < f.first; });
    if (it == columns.begin())
        return 0;
    --it;
    return column <= it->last ? it->style : 0;
}

} // namespace workbookfile
