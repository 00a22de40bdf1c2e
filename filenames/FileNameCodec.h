#pragma once

// File names on this system are bytes; the program holds them as UTF-16 text. Bytes that are not
// UTF-8 are kept as the lone surrogates U+DC80..U+DCFF, one per byte, so that every name the
// system gives converts to text and back to the very same bytes.

#include <string>
#include <string_view>

// The text of a file name given as bytes.
std::u16string fileNameText(std::string_view bytes);

// The bytes of a file name given as text: the inverse of fileNameText. A lone surrogate that no
// byte was kept in becomes U+FFFD.
std::string fileNameBytes(std::u16string_view text);

// Whether the text holds a byte kept from a name that is not UTF-8.
bool holdsKeptBytes(std::u16string_view text);
