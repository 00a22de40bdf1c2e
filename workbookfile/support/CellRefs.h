#pragma once

// Cell references such as "AB12" (column names are Workbook.h's columnName).

#include "Workbook.h"

#include <string_view>

namespace workbookfile {

// Reads a cell reference such as "AB12"; false when it is none or lies outside the sheet.
bool parseCellRef(std::string_view ref, int& row, int& column);
// Reads a range such as "A1:C5" or a single cell; false when it is none, lies outside the sheet
// or runs backwards.
bool parseCellRange(std::string_view ref, int& firstRow, int& firstColumn, int& lastRow, int& lastColumn);

} // namespace workbookfile
