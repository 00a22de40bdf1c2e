#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace workbookfile {

// Appends the UTF-8 form of the code point c.
void appendUtf8(std::string& out, std::uint32_t c);

// s with the ASCII capital letters made small; part names and content types compare so.
std::string lowerAscii(std::string_view s);

} // namespace workbookfile
