#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace workbookfile {

// The tokens of a shared formula (a SHRFMLA record's, whose references are offsets from the cell
// that uses them) as the tokens of an ordinary formula in the cell at row and column (0-based):
// relative references become the cells they reach from there. False where the tokens hold
// something that needs data after them (arrays), a kind this does not walk, or a reference that
// would leave the sheet.
bool sharedTokensAt(std::string_view shared, std::uint32_t row, std::uint32_t column, std::string& out);

} // namespace workbookfile
