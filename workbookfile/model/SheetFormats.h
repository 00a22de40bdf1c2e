#pragma once

// Formats that cells take when they have none of their own, and the worksheet's protection: the
// spreadsheet gives a new cell the format of its row (when the row is formatted) or else of its
// column, and it is that format which says whether the cell is locked.

#include "SheetModel.h"

#include <pugixml.hpp>

#include <cstdint>
#include <string_view>
#include <vector>

namespace workbookfile {

// The format of whole columns first..last (1-based), from a <col> element.
struct ColumnFormat {
    int first = 0, last = 0;
    std::uint32_t style = 0;
};

// The protection a worksheet part declares.
struct SheetProtection {
    bool cells = false;  // <sheetProtection sheet="1">: locked cells are not written
    bool formats = true; // formatting them is refused too (unless formatCells="0")
};

// An xsd:boolean attribute: "1" or "true"; fallback when absent.
bool booleanAttribute(const pugi::xml_node& node, const char* name, bool fallback);

// Reads the column formats and the protection from the worksheet's root element.
std::vector<ColumnFormat> readColumnFormats(const pugi::xml_node& worksheet);
SheetProtection readSheetProtection(const pugi::xml_node& worksheet);

// The style of a formatted row (s with customFormat); false when the row has none.
bool rowFormat(const SheetModel& model, int row, std::uint32_t& style);
// The style of a column's cells that have none of their own, 0 when the column has none.
std::uint32_t columnStyle(const std::vector<ColumnFormat>& columns, int column);

} // namespace workbookfile
