#pragma once

// Text encodings: UTF-8 read and written code point by code point, and the ASCII case folding of
// part names (toUtf8 and toUtf16 are in the public header).

#include <cstdint>
#include <string>
#include <string_view>

namespace workbookfile {

// Appends the UTF-8 form of the code point c.
void appendUtf8(std::string& out, std::uint32_t c);

// Reads the code point whose UTF-8 form begins at text[at] into c and moves at past it. Returns
// false, with at unchanged, where the bytes are not UTF-8: a stray or cut-off sequence, an overlong
// form, a surrogate or a code point beyond U+10FFFF.
bool decodeUtf8(std::string_view text, std::size_t& at, std::uint32_t& c);

// Counts the UTF-16 code units of UTF-8 text; -1 when the text is not valid UTF-8.
long utf16Length(std::string_view utf8);

// s with the ASCII capital letters made small; part names and content types compare so.
std::string lowerAscii(std::string_view s);

} // namespace workbookfile
