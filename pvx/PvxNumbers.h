#pragma once

#include <cstddef>

// The value of a trimmed number text exactly as QString::toDouble gives it (locale
// independent; NaN and infinities accepted; text that does not convert gives 0), without
// allocating for the plain decimal numbers that make up almost every PVX value line.
// *ok, when given, tells whether the text read as a number.
double pvxTextToDouble(const char* text, std::size_t size, bool* ok = nullptr);
