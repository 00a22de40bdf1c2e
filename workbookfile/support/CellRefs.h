#pragma once

// Cell references such as "AB12" (column names are Workbook.h's columnName).

#include "Workbook.h"

#include <string_view>

namespace workbookfile {

// Reads a cell reference such as "AB12"; false when it is none or lies outside the sheet.
bool parseCellRef(std::string_view ref, int& row, int& column);

} // namespace workbookfile
