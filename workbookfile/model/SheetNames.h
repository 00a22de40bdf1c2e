#pragma once

// The spreadsheet's rules for sheet names.

#include <string>
#include <string_view>

namespace workbookfile {

// Throws Error with the reason when the name is not allowed as a sheet name (uniqueness aside).
void checkSheetName(std::string_view name);

// A key under which names that the spreadsheet considers equal (letters compared without regard
// to case) are equal.
std::string foldSheetName(std::string_view name);

} // namespace workbookfile
