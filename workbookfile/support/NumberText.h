#pragma once

#include <cstddef>
#include <string>

namespace workbookfile {

// Appends the shortest decimal text that reads back as the same double, as std::to_chars
// writes it.
void appendNumber(std::string& out, double value);
// The same text written at out, which has room for kNumberTextRoom characters; returns its end.
inline constexpr std::size_t kNumberTextRoom = 32;
char* writeNumber(char* out, double value);

} // namespace workbookfile
