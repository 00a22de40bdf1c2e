#pragma once

#include <cstdint>
#include <string>

namespace xlsx {

// Appends the UTF-8 form of the code point c.
void appendUtf8(std::string& out, std::uint32_t c);

} // namespace xlsx
