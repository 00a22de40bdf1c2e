#include "SheetXml.h"

#include "NumberText.h"
#include "Workbook.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

namespace workbookfile {

namespace {

// Column letters of every column, computed once.
struct ColumnNames {
    char text[kMaxColumns][4];
    unsigned char length[kMaxColumns];
    ColumnNames() {
        for (int c = 1; c <= kMaxColumns; ++c) {
            std::string n = columnName(c);
            std::memcpy(text[c - 1], n.data(), n.size());
            length[c - 1] = static_cast<unsigned char>(n.size());
        }
    }
};

const ColumnNames& columnNames() {
    static const ColumnNames names;
    return names;
}

constexpr std::size_t kUIntRoom = 24;

char* put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

std::string attributesExcept(const pugi::xml_node& node, std::initializer_list<std::string_view> skip) {
    std::string out;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        std::string_view name = a.name();
        if (std::find(skip.begin(), skip.end(), name) != skip.end())
            continue;
        out += ' ';
        out += name;
        out += "=\"";
        appendXmlEscaped(out, a.value());
        out += '"';
    }
    return out;
}

} // namespace

void appendSheetData(std::string& out, const SheetModel& model, const std::string& prefix) {
    out += "<" + prefix + "sheetData>";
    appendRows(out, model, prefix, 0, model.rows.size());
    out += "</" + prefix + "sheetData>";
}

void appendRows(std::string& out, const SheetModel& model, const std::string& prefix, std::size_t firstRow,
                std::size_t endRow) {
    const ColumnNames& names = columnNames();
    const std::string rowOpen = "<" + prefix + "row r=\"";
    const std::string rowClose = "</" + prefix + "row>";
    const std::string cOpen = "<" + prefix + "c r=\"";
    const std::string cClose = "</" + prefix + "c>";
    const std::string vOpen = "<" + prefix + "v>";
    const std::string vClose = "</" + prefix + "v>";
    // Room for the longest cell but a raw one: its five tags, column, row, style and number.
    std::vector<char> scratch(5 * (prefix.size() + 8) + 3 * kUIntRoom + kNumberTextRoom);
    char rowText[16];
    for (std::size_t ri = firstRow; ri < endRow && ri < model.rows.size(); ++ri) {
        const Row& row = model.rows[ri];
        if (row.cells.empty() && row.attrs < 0)
            continue;
        auto rowEnd = std::to_chars(rowText, rowText + sizeof rowText, ri + 1).ptr;
        std::size_t rowLen = std::size_t(rowEnd - rowText);
        out += rowOpen;
        out.append(rowText, rowLen);
        out += '"';
        if (row.attrs >= 0)
            out += model.rowAttrs[std::size_t(row.attrs)];
        if (row.cells.empty()) {
            out += "/>";
            continue;
        }
        out += '>';
        for (const Cell& cell : row.cells) {
            // Every cell names its place: the format lets a cell that follows its neighbour go
            // without, but some readers then drop or shift it. A cell's text is put together in
            // the scratch buffer and appended at once.
            char* p = put(scratch.data(), cOpen);
            p = put(p, std::string_view(names.text[cell.column], names.length[cell.column]));
            p = put(p, std::string_view(rowText, rowLen));
            *p++ = '"';
            if (cell.style) {
                p = put(p, " s=\"");
                p = std::to_chars(p, p + kUIntRoom, cell.style).ptr;
                *p++ = '"';
            }
            switch (cell.kind) {
            case CellKind::Empty:
                p = put(p, "/>");
                break;
            case CellKind::Number:
                *p++ = '>';
                p = put(p, vOpen);
                p = writeNumber(p, cell.number);
                p = put(p, vClose);
                p = put(p, cClose);
                break;
            case CellKind::Text:
                p = put(p, " t=\"s\">");
                p = put(p, vOpen);
                p = std::to_chars(p, p + kUIntRoom, cell.index).ptr;
                p = put(p, vClose);
                p = put(p, cClose);
                break;
            case CellKind::Boolean:
                p = put(p, " t=\"b\">");
                p = put(p, vOpen);
                *p++ = cell.index ? '1' : '0';
                p = put(p, vClose);
                p = put(p, cClose);
                break;
            case CellKind::Raw: {
                out.append(scratch.data(), std::size_t(p - scratch.data()));
                const RawCell& raw = model.raws[cell.index];
                out += raw.attrs;
                if (raw.inner.empty()) {
                    out += "/>";
                } else {
                    out += '>';
                    out += raw.inner;
                    out += cClose;
                }
                continue;
            }
            }
            out.append(scratch.data(), std::size_t(p - scratch.data()));
        }
        out += rowClose;
    }
}

void parseSheetData(std::string_view xml, SheetModel& model, std::string_view partName) {
    auto fail = [&](const std::string& why) {
        throw Error(ErrorKind::Damaged,
                    "The worksheet part \"" + std::string(partName) + "\" is malformed: " + why + ".");
    };
    pugi::xml_document doc;
    std::unique_ptr<char[]> buffer(new char[xml.size()]);
    std::memcpy(buffer.get(), xml.data(), xml.size());
    pugi::xml_parse_result res = doc.load_buffer_inplace(
        buffer.get(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata_single, pugi::encoding_utf8);
    if (!res)
        fail(std::string(res.description()) + " in the cell data");
    refuseDeepNesting(doc, partName);
    pugi::xml_node sheetData = rootElement(doc);
    int lastRow = 0;
    for (pugi::xml_node rowNode = sheetData.first_child(); rowNode; rowNode = rowNode.next_sibling()) {
        if (rowNode.type() != pugi::node_element || localName(rowNode) != "row")
            continue;
        int rowNumber = lastRow + 1;
        if (pugi::xml_attribute r = rowNode.attribute("r")) {
            rowNumber = r.as_int(0);
        }
        if (rowNumber <= lastRow || rowNumber > kMaxRows)
            fail("row " + std::string(rowNode.attribute("r").value()) + " is out of order or out of range");
        lastRow = rowNumber;
        Row& row = model.row(rowNumber);
        std::string attrs = attributesExcept(rowNode, {"r", "spans"});
        if (!attrs.empty()) {
            row.attrs = std::int32_t(model.rowAttrs.size());
            model.rowAttrs.push_back(std::move(attrs));
        }
        int lastColumn = 0;
        for (pugi::xml_node c = rowNode.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element || localName(c) != "c")
                continue;
            int cellRow = rowNumber, column = lastColumn + 1;
            if (pugi::xml_attribute r = c.attribute("r")) {
                if (!parseCellRef(r.value(), cellRow, column) || cellRow != rowNumber)
                    fail("cell reference \"" + std::string(r.value()) + "\" does not fit its row");
            }
            if (column <= lastColumn || column > kMaxColumns)
                fail("cells of row " + std::to_string(rowNumber) + " are out of order");
            lastColumn = column;
            Cell cell{};
            cell.column = std::uint16_t(column - 1);
            cell.style = std::uint32_t(c.attribute("s").as_uint(0));
            std::string_view type = c.attribute("t").value();
            int attrCount = 0;
            bool onlySimpleAttrs = true;
            for (pugi::xml_attribute a = c.first_attribute(); a; a = a.next_attribute()) {
                ++attrCount;
                std::string_view n = a.name();
                if (n != "r" && n != "s" && n != "t")
                    onlySimpleAttrs = false;
            }
            pugi::xml_node v;
            bool onlyValue = true;
            for (pugi::xml_node k = c.first_child(); k; k = k.next_sibling()) {
                if (k.type() != pugi::node_element)
                    continue;
                if (localName(k) == "v" && !v)
                    v = k;
                else
                    onlyValue = false;
            }
            bool simple = false;
            if (onlySimpleAttrs && onlyValue) {
                const char* text = v.text().get();
                std::string_view value(text);
                if (!v && type.empty()) {
                    cell.kind = CellKind::Empty;
                    simple = true;
                } else if (v && (type.empty() || type == "n")) {
                    double d = 0;
                    auto r = std::from_chars(value.data(), value.data() + value.size(), d);
                    if (r.ec == std::errc() && r.ptr == value.data() + value.size()) {
                        cell.kind = CellKind::Number;
                        cell.number = d;
                        simple = true;
                    }
                } else if (v && type == "s") {
                    std::uint32_t index = 0;
                    auto r = std::from_chars(value.data(), value.data() + value.size(), index);
                    if (r.ec == std::errc() && r.ptr == value.data() + value.size()) {
                        cell.kind = CellKind::Text;
                        cell.index = index;
                        simple = true;
                    }
                } else if (v && type == "b" && (value == "0" || value == "1")) {
                    cell.kind = CellKind::Boolean;
                    cell.index = value == "1";
                    simple = true;
                }
            }
            if (!simple) {
                RawCell raw;
                raw.attrs = attributesExcept(c, {"r", "s"});
                raw.inner = serializeChildren(c);
                cell.kind = CellKind::Raw;
                cell.index = std::uint32_t(model.raws.size());
                model.raws.push_back(std::move(raw));
            }
            row.cells.push_back(cell);
        }
    }
}

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the attributes of a cell's start tag (or those kept of a cell, whichever way they begin)
// make it refer to the shared strings (t="s").
bool refersToSharedStrings(std::string_view attributes) {
    for (std::string_view type : {"t=\"s\"", "t='s'"}) {
        const std::size_t t = attributes.find(type);
        if (t != std::string_view::npos && (t == 0 || isBlank(attributes[t - 1])))
            return true;
    }
    return false;
}

// Calls visit(name, attributes, tag end) for each cell element (<c>, with any prefix) of xml;
// stops, returning false, when visit does.
template <typename Visit> bool forEachCellTag(std::string_view xml, Visit visit) {
    for (std::size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at + 1)) {
        const std::size_t nameEnd = xml.find_first_of(" \t\r\n/>", at + 1);
        if (nameEnd == std::string_view::npos)
            break;
        const std::string_view name = xml.substr(at + 1, nameEnd - at - 1);
        if (name != "c" && (name.size() < 2 || name.substr(name.size() - 2) != ":c"))
            continue;
        const std::size_t tagEnd = xml.find('>', nameEnd);
        const std::string_view tag =
            xml.substr(nameEnd, tagEnd == std::string_view::npos ? std::string_view::npos : tagEnd - nameEnd);
        if (!visit(name, tag, tagEnd))
            return false;
    }
    return true;
}

// The shared string a cell's content (its children) names in its <v>; true with nothing added
// when it has no <v>, false when its <v> does not hold a position.
bool addValueIndex(std::string_view content, std::vector<std::uint32_t>& indices) {
    for (std::size_t at = content.find('<'); at != std::string_view::npos; at = content.find('<', at + 1)) {
        const std::size_t nameEnd = content.find_first_of(" \t\r\n/>", at + 1);
        if (nameEnd == std::string_view::npos)
            return false;
        const std::string_view name = content.substr(at + 1, nameEnd - at - 1);
        if (name != "v" && (name.size() < 2 || name.substr(name.size() - 2) != ":v"))
            continue;
        const std::size_t tagEnd = content.find('>', nameEnd);
        if (tagEnd == std::string_view::npos || content[tagEnd - 1] == '/')
            return false;
        const std::size_t valueEnd = content.find('<', tagEnd);
        std::string_view value = content.substr(
            tagEnd + 1, valueEnd == std::string_view::npos ? std::string_view::npos : valueEnd - tagEnd - 1);
        while (!value.empty() && isBlank(value.front()))
            value.remove_prefix(1);
        while (!value.empty() && isBlank(value.back()))
            value.remove_suffix(1);
        std::uint32_t index = 0;
        const auto r = std::from_chars(value.data(), value.data() + value.size(), index);
        if (r.ec != std::errc() || r.ptr != value.data() + value.size())
            return false;
        indices.push_back(index);
        return true;
    }
    return true;
}

} // namespace

std::size_t countSharedStringCells(std::string_view xml) {
    std::size_t count = 0;
    forEachCellTag(xml, [&](std::string_view, std::string_view tag, std::size_t) {
        count += refersToSharedStrings(tag) ? 1 : 0;
        return true;
    });
    return count;
}

bool sharedStringIndices(std::string_view xml, std::vector<std::uint32_t>& indices) {
    return forEachCellTag(xml, [&](std::string_view name, std::string_view tag, std::size_t tagEnd) {
        if (!refersToSharedStrings(tag))
            return true;
        if (tagEnd == std::string_view::npos)
            return false;
        if (xml[tagEnd - 1] == '/')
            return true;
        const std::string close = "</" + std::string(name) + ">";
        const std::size_t cellEnd = xml.find(close, tagEnd);
        return cellEnd != std::string_view::npos &&
               addValueIndex(xml.substr(tagEnd + 1, cellEnd - tagEnd - 1), indices);
    });
}

bool keptXmlCellStrings(const RawCell& raw, std::vector<std::uint32_t>& indices) {
    return !refersToSharedStrings(raw.attrs) || addValueIndex(raw.inner, indices);
}

std::string dimensionRef(const SheetModel& model) {
    int firstRow = 0, lastRow = 0, firstCol = kMaxColumns + 1, lastCol = 0;
    for (std::size_t i = 0; i < model.rows.size(); ++i) {
        const auto& cells = model.rows[i].cells;
        if (cells.empty())
            continue;
        if (!firstRow)
            firstRow = int(i + 1);
        lastRow = int(i + 1);
        firstCol = std::min(firstCol, int(cells.front().column) + 1);
        lastCol = std::max(lastCol, int(cells.back().column) + 1);
    }
    if (!firstRow)
        return "A1";
    std::string ref = columnName(firstCol) + std::to_string(firstRow);
    if (firstRow != lastRow || firstCol != lastCol)
        ref += ":" + columnName(lastCol) + std::to_string(lastRow);
    return ref;
}

} // namespace workbookfile
