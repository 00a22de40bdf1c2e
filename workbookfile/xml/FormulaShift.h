#pragma once

#include <string>
#include <string_view>

namespace workbookfile {

// The text of a formula (as a worksheet part holds it, A1 references, no leading "=") moved by
// rows and columns, as the spreadsheet moves a formula it copies: relative references follow,
// those marked with "$" stay. False, with out undefined, when the text holds something this
// does not read (an unclosed quote or bracket) or a reference would leave the grid.
bool shiftFormula(std::string_view formula, long rowDelta, long columnDelta, std::string& out);

} // namespace workbookfile
