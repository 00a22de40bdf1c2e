#pragma once

#include <string>

namespace workbookfile {

// Appends the shortest decimal text that reads back as the same double, as std::to_chars
// writes it.
void appendNumber(std::string& out, double value);

} // namespace workbookfile
