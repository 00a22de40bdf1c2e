#pragma once

// Reading and writing the <sheetData> element of a worksheet part.

#include "CellRefs.h"
#include "SheetModel.h"

#include <string>
#include <string_view>
#include <vector>

namespace workbookfile {

// Appends <sheetData>...</sheetData> for the model; prefix is the element prefix of the part
// (e.g. "x:"), usually empty.
void appendSheetData(std::string& out, const SheetModel& model, const std::string& prefix);

// The same in pieces: the rows with index [firstRow, endRow) (0-based), without the enclosing
// element, for worksheets too large to hold as one text.
void appendRows(std::string& out, const SheetModel& model, const std::string& prefix, std::size_t firstRow,
                std::size_t endRow);

// Reads the text of a <sheetData> element into an empty model. Cells the model does not interpret
// (formulas, errors, inline strings, extra attributes) are kept as raw cells.
void parseSheetData(std::string_view xml, SheetModel& model, std::string_view partName);

// Counts the cells of a worksheet part's text that refer to the shared string table, without
// building a model of them.
std::size_t countSharedStringCells(std::string_view xml);
// The positions of the shared strings those cells name; false when one does not name a position.
bool sharedStringIndices(std::string_view xml, std::vector<std::uint32_t>& indices);
// The same for a cell kept as read.
bool keptXmlCellStrings(const RawCell& raw, std::vector<std::uint32_t>& indices);

// "A1" or "A1:C3" for the used area of the model ("A1" when empty).
std::string dimensionRef(const SheetModel& model);

} // namespace workbookfile
